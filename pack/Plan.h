// Where every block of a volume goes. The disc is cut into one region per copy: region k holds
// copy k of the label, of the root and of every entry stored more than k times, so the copies of
// any block lie a region apart and one scratch costs at most one of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "opera/Entry.h"
#include "pack/Node.h"

namespace brindle::pack {

// One directory laid out: its blocks, encoded, and the first block of each copy.
struct PlannedDirectory {
  std::string path;                               // "" for the root
  std::vector<std::uint32_t> copies;              // first block of each copy
  std::vector<std::vector<std::uint8_t>> blocks;  // 2048 bytes each
};

// One file laid out: where its bytes come from and the first block of each copy.
struct PlannedFile {
  const Node* node = nullptr;
  std::string path;
  std::vector<std::uint32_t> copies;
};

struct Plan {
  opera::VolumeLabel label;
  std::vector<std::uint32_t> labelCopies;     // block 0 and the label's further copies
  std::vector<PlannedDirectory> directories;  // the root first
  std::vector<PlannedFile> files;
  std::uint64_t fileBytes = 0;  // every copy counted
};

// Lays root out (the root's copies come from label.copies, every other entry's from its node).
// Fills problems with one line (UTF-8) per thing that cannot be stored (a directory too long, a
// volume too large) and returns an empty plan then.
Plan MakePlan(const Node& root, const LabelOptions& label, std::vector<std::string>& problems);

}  // namespace brindle::pack
