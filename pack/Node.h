// A volume to be built, as a tree: each entry's name, type, id and flags as they will be stored,
// how many copies it gets, and where a file's bytes come from (a host file or another disc).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "opera/Entry.h"

namespace brindle::pack {

struct Node {
  std::string name;  // Latin-1 bytes as stored, at most 31
  bool directory = false;
  std::array<std::uint8_t, 4> type{};  // files; directories are always "*dir"
  std::optional<std::uint32_t> id;     // nothing: numbered in disc order
  std::uint32_t kind = 0;  // the flags but the last-in-block/directory bits; low byte 0: usual
  std::uint64_t size = 0;  // files: bytes
  int copies = 1;
  std::string hostPath;                   // a file read from the host (UTF-8)
  std::optional<opera::Entry> discEntry;  // a file read from a disc
  std::vector<Node> children;             // directories: in the order they are stored
};

// The volume label's own fields.
struct LabelOptions {
  std::string volumeName = "CD-ROM";  // Latin-1, at most 31 bytes
  std::string comment;                // Latin-1, at most 31 bytes
  std::optional<std::uint32_t> uniqueId;
  std::optional<std::uint32_t> rootId;
  int copies = 1;  // of the label and of the root directory: 1 to 8
};

// The four-byte type a text of 1 to 4 Latin-1 characters stands for (filled with spaces);
// nothing when it is longer or empty.
std::optional<std::array<std::uint8_t, 4>> TypeFromText(const std::string& text);

}  // namespace brindle::pack
