// Entry names on the host: the Latin-1 text of a disc's names as UTF-8 and back, and which names
// may become a file name inside a chosen folder.
#pragma once

#include <optional>
#include <string>

namespace brindle::output {

// Disc names are Latin-1: each byte one character. Host paths and terminals take UTF-8.
std::string Latin1ToUtf8(const std::string& latin1);
// Nothing when the text is not valid UTF-8 or holds a character above U+00FF.
std::optional<std::string> Utf8ToLatin1(const std::string& utf8);

// True when an entry name (Latin-1) may become a file name inside a chosen folder: not empty,
// not "." or "..", free of '/' and NUL; on Windows also free of '\\' and ':', not ending in a dot
// or space, and not a device name such as CON or COM1.
bool IsSafeFileName(const std::string& name);

// True for a character that separates folders in a host path: '/', and on Windows also '\\'.
bool IsPathSeparator(char c);

}  // namespace brindle::output
