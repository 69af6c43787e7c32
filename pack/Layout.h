// The layout of a volume as a small JSON file: for each entry, its place in its directory, its
// type, id, flags and copies, and the label's fields, so that a tree extracted from a disc packs
// back into a disc whose listing is the original's.
//
// { "volume": { "name": "...", "comment": "...", "id": N, "rootId": N, "copies": N },
//   "entries": [ { "path": "Dir/File", "order": N, "type": "IMAG", "id": N, "flags": N,
//                  "copies": N }, ... ] }
// Paths and texts are UTF-8 of the disc's Latin-1 bytes; a type is exactly four characters
// (zero bytes as \u0000).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "opera/Walker.h"
#include "pack/Node.h"

namespace brindle::pack {

struct LayoutEntry {
  std::optional<std::uint64_t> order;
  std::optional<std::array<std::uint8_t, 4>> type;
  std::optional<std::uint32_t> id;
  std::optional<std::uint32_t> flags;
  std::optional<int> copies;
};

struct Layout {
  std::optional<std::string> volumeName;  // Latin-1
  std::optional<std::string> comment;     // Latin-1
  std::optional<std::uint32_t> id;
  std::optional<std::uint32_t> rootId;
  std::optional<int> copies;
  std::map<std::string, LayoutEntry> entries;  // by Latin-1 path from the root
};

// The layout file at path; nothing (with a reason in error) when it cannot be read or parsed.
std::optional<Layout> ReadLayout(const std::string& path, std::string& error);

// The layout of a walked tree and its volume's label as JSON text.
std::string LayoutJson(const opera::VolumeLabel& label, const opera::Tree& tree);

// Writes the layout of the tree below start to path (replaced once complete); false with a reason
// in error when it cannot be written.
bool WriteLayoutFile(const opera::Volume& volume, const opera::DirectoryRef& start,
                     const std::string& path, std::string& error);

}  // namespace brindle::pack
