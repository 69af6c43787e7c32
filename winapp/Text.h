// Text between the reader and the system's wide-character controls.
#pragma once

#include <string>

namespace brindle::winapp {

// Text from the reader (titles, messages, paths): UTF-8 when it is valid UTF-8, otherwise one
// Latin-1 character per byte (names read off a disc are 8-bit text).
std::wstring DecodeText(const std::string& text);
// Entry lines, history entries and drive labels: one Latin-1 character per byte, both ways. A
// character beyond Latin-1 (none is ever put there) comes back as '?'.
std::wstring FromBytes(const std::string& bytes);
std::string ToBytes(const std::wstring& text);
// UTF-8 of a path or caption the system gives.
std::string ToUtf8(const std::wstring& text);

}  // namespace brindle::winapp
