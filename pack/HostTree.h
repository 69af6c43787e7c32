// A host folder read into the tree of a volume: names checked against what the disc can store,
// entries sorted by name (or placed as a layout says), types and copies chosen per entry.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pack/Layout.h"
#include "pack/Node.h"

namespace brindle::pack {

struct HostOptions {
  int copies = 1;  // of every entry, 1 to 8
  // Copies of the entry at a path (UTF-8, '/'-joined from the folder) and of everything below
  // it; the nearest path wins.
  std::map<std::string, int> copiesByPath;
  // Types by lower-case file name extension (without the dot); these win over the built-in map.
  std::map<std::string, std::array<std::uint8_t, 4>> types;
  const Layout* layout = nullptr;  // wins over the types, and over copies where it says
};

// The built-in types by extension.
const std::map<std::string, std::array<std::uint8_t, 4>>& DefaultTypes();

// The tree below folder; nothing when something in it cannot be stored, with one line per such
// entry in problems (a name too long or not Latin-1, a link to a folder, a special file).
std::optional<Node> ScanHostTree(const std::string& folder, const HostOptions& options,
                                 std::vector<std::string>& problems);

}  // namespace brindle::pack
