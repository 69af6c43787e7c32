#include "pack/Plan.h"

#include <algorithm>
#include <unordered_map>

#include "media/BlockDevice.h"
#include "opera/Encode.h"
#include "opera/Format.h"
#include "output/Names.h"

namespace brindle::pack {
namespace {

// Every block number and byte count is a 31-bit field.
constexpr std::uint64_t kFieldLimit = 0x7FFFFFFF;

std::size_t EntryLength(int copies) {
  return opera::kEntryLength + 4 * static_cast<std::size_t>(std::max(copies, 1) - 1);
}

// How many blocks a directory of these entries takes: entries packed in order, a new block
// where the next one does not fit; one block when there are none.
std::uint64_t DirectoryBlocks(const Node& dir) {
  std::uint64_t blocks = 1;
  std::size_t used = opera::kFirstEntryOffset;
  for (const Node& child : dir.children) {
    const std::size_t length = EntryLength(child.copies);
    if (used + length > media::kBlockSize) {
      ++blocks;
      used = opera::kFirstEntryOffset;
    }
    used += length;
  }
  return blocks;
}

struct Item {
  const Node* node;
  std::string path;
  std::uint64_t blocks;
  int copies;
};

void Collect(const Node& dir, const std::string& path, std::vector<Item>& dirs,
             std::vector<Item>& files, std::vector<std::string>& problems) {
  for (const Node& child : dir.children) {
    const std::string childPath = path.empty() ? child.name : path + "/" + child.name;
    if (child.directory) {
      dirs.push_back({&child, childPath, DirectoryBlocks(child), child.copies});
      Collect(child, childPath, dirs, files, problems);
    } else {
      if (child.size > kFieldLimit)
        problems.push_back(output::Latin1ToUtf8(childPath) + ": " + std::to_string(child.size) +
                           " bytes, more than a file on this disc can hold (2 GiB - 1)");
      files.push_back({&child, childPath, (child.size + media::kBlockSize - 1) / media::kBlockSize,
                       child.copies});
    }
  }
}

// A stable number for a volume from what it holds, so the same tree gets the same id.
std::uint32_t Fingerprint(const std::vector<Item>& dirs, const std::vector<Item>& files,
                          const LabelOptions& label) {
  std::uint32_t h = 2166136261u;
  const auto mix = [&h](const std::string& text) {
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    h = (h ^ 0xFF) * 16777619u;
  };
  mix(label.volumeName);
  mix(label.comment);
  for (const Item& d : dirs) mix(d.path);
  for (const Item& f : files) mix(f.path + "\n" + std::to_string(f.node->size));
  return h & 0x7FFFFFFF;
}

}  // namespace

std::optional<std::array<std::uint8_t, 4>> TypeFromText(const std::string& text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  std::array<std::uint8_t, 4> type{' ', ' ', ' ', ' '};
  std::copy(text.begin(), text.end(), type.begin());
  return type;
}

Plan MakePlan(const Node& root, const LabelOptions& labelOptions,
              std::vector<std::string>& problems) {
  const std::size_t problemsBefore = problems.size();
  std::vector<Item> dirs{{&root, "", DirectoryBlocks(root), labelOptions.copies}};
  std::vector<Item> files;
  Collect(root, "", dirs, files, problems);
  for (const Item& d : dirs)
    if (d.blocks > static_cast<std::uint64_t>(opera::kDirectoryLimit))
      problems.push_back((d.path.empty() ? "the root" : output::Latin1ToUtf8(d.path)) + ": " +
                         std::to_string(d.node->children.size()) +
                         " entries, more than a directory can hold");

  // Region by region: copy k of the label, then of every directory, then of every file.
  int regions = labelOptions.copies;
  for (const Item& d : dirs) regions = std::max(regions, d.copies);
  for (const Item& f : files) regions = std::max(regions, f.copies);
  std::unordered_map<const Node*, std::vector<std::uint32_t>> where;
  Plan plan;
  std::uint64_t next = 0;
  for (int k = 0; k < regions; ++k) {
    if (k < labelOptions.copies) plan.labelCopies.push_back(static_cast<std::uint32_t>(next++));
    for (const auto* items : {&dirs, &files}) {
      for (const Item& item : *items) {
        if (k >= item.copies) continue;
        where[item.node].push_back(static_cast<std::uint32_t>(std::min(next, kFieldLimit)));
        next += item.blocks;
      }
    }
  }
  if (next > kFieldLimit)
    problems.push_back("the volume would need " + std::to_string(next) +
                       " blocks, more than its fields can number");
  if (problems.size() != problemsBefore) return {};

  // Entry ids in the order the directories list them, after the root's own.
  const std::uint32_t rootId = labelOptions.rootId.value_or(1);
  std::uint32_t nextId = rootId + 1;
  std::unordered_map<const Node*, std::uint32_t> ids;
  for (const Item& d : dirs)
    for (const Node& child : d.node->children) ids[&child] = child.id.value_or(nextId++);

  for (const Item& d : dirs) {
    PlannedDirectory planned;
    planned.path = d.path;
    planned.copies = where[d.node];
    std::vector<std::vector<std::uint8_t>>& blocks = planned.blocks;
    blocks.emplace_back(media::kBlockSize, 0);
    std::size_t used = opera::kFirstEntryOffset;
    std::size_t lastAt = 0;  // where the block's last entry starts
    std::uint32_t lastFlags = 0;
    const auto finishBlock = [&](bool lastBlock) {
      auto& block = blocks.back();
      const auto index = static_cast<std::int32_t>(blocks.size() - 1);
      opera::DirectoryBlockHeader header;
      header.next = lastBlock ? -1 : index + 1;
      header.previous = index - 1;
      header.usedEnd = static_cast<std::uint32_t>(used);
      opera::EncodeDirectoryBlockHeader(header, block);
      if (used > opera::kFirstEntryOffset) {
        const std::uint32_t flag = lastBlock ? opera::kLastInBlockFlag | opera::kLastInDirectoryFlag
                                             : opera::kLastInBlockFlag;
        opera::WriteBigEndian32(block, lastAt + opera::kFlagsOffset, lastFlags | flag);
      }
    };
    for (const Node& child : d.node->children) {
      opera::Entry e;
      e.copies = where[&child];
      const std::size_t length = opera::EncodedEntryLength(e);
      if (used + length > media::kBlockSize) {
        finishBlock(false);
        blocks.emplace_back(media::kBlockSize, 0);
        used = opera::kFirstEntryOffset;
      }
      // The low byte is what makes an entry present: never stored as 0.
      const std::uint32_t usual = child.directory ? opera::kDirectoryKind : opera::kFileKind;
      e.flags = child.kind & 0x3FFFFF00u;
      e.flags |= (child.kind & 0xFFu) != 0 ? child.kind & 0xFFu : usual;
      e.id = ids[&child];
      if (child.directory) {
        std::copy_n(opera::kDirectoryType, 4, e.type.begin());
        e.blockCount = static_cast<std::uint32_t>(DirectoryBlocks(child));
        e.byteCount = static_cast<std::uint32_t>(e.blockCount * media::kBlockSize);
      } else {
        e.type = child.type;
        e.byteCount = static_cast<std::uint32_t>(child.size);
        e.blockCount =
            static_cast<std::uint32_t>((child.size + media::kBlockSize - 1) / media::kBlockSize);
      }
      e.blockSize = static_cast<std::uint32_t>(media::kBlockSize);
      e.name = child.name;
      opera::EncodeEntry(e, std::span(blocks.back()).subspan(used, length));
      lastAt = used;
      lastFlags = e.flags;
      used += length;
    }
    finishBlock(true);
    plan.directories.push_back(std::move(planned));
  }
  for (const Item& f : files) {
    plan.files.push_back({f.node, f.path, where[f.node]});
    plan.fileBytes += f.node->size * static_cast<std::uint64_t>(f.copies);
  }

  opera::VolumeLabel& label = plan.label;
  label.recordType = opera::kLabelRecordType;
  label.version = opera::kLabelVersion;
  label.comment = labelOptions.comment;
  label.label = labelOptions.volumeName;
  label.id = labelOptions.uniqueId.value_or(Fingerprint(dirs, files, labelOptions));
  label.blockSize = static_cast<std::uint32_t>(media::kBlockSize);
  label.blockCount = static_cast<std::uint32_t>(next);
  label.rootId = rootId;
  label.rootBlockCount = static_cast<std::uint32_t>(dirs.front().blocks);
  label.rootBlockSize = static_cast<std::uint32_t>(media::kBlockSize);
  label.rootCopies = where[&root];
  label.rootLastCopyIndex = static_cast<std::uint32_t>(label.rootCopies.size() - 1);
  return plan;
}

}  // namespace brindle::pack
