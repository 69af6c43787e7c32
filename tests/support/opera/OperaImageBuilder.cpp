#include "OperaImageBuilder.h"

#include <algorithm>
#include <fstream>
#include <utility>

namespace brindle::testing {
namespace {

constexpr std::size_t kDirectoryHeader = 20;
constexpr std::size_t kEntryBase = 72;

void PutBigEndian32(std::vector<std::uint8_t>& out, std::size_t offset, std::uint32_t value) {
  if (offset + 4 > out.size()) return;
  out[offset] = static_cast<std::uint8_t>(value >> 24);
  out[offset + 1] = static_cast<std::uint8_t>(value >> 16);
  out[offset + 2] = static_cast<std::uint8_t>(value >> 8);
  out[offset + 3] = static_cast<std::uint8_t>(value);
}

std::uint32_t BlocksFor(std::size_t bytes) {
  return static_cast<std::uint32_t>((bytes + kOperaBlockSize - 1) / kOperaBlockSize);
}

std::size_t EntryLength(const OperaEntry& e) {
  return kEntryBase + 4 * static_cast<std::size_t>(std::max(e.copies, 1) - 1);
}

// Splits a directory's entries into blocks: the indices of the children of each block.
std::vector<std::vector<std::size_t>> LayOut(const OperaEntry& dir) {
  std::vector<std::vector<std::size_t>> blocks(1);
  std::size_t used = kDirectoryHeader;
  for (std::size_t i = 0; i < dir.children.size(); ++i) {
    const std::size_t length = EntryLength(dir.children[i]);
    const bool full = dir.entriesPerBlock > 0 &&
                      blocks.back().size() >= static_cast<std::size_t>(dir.entriesPerBlock);
    if (full || used + length > kOperaBlockSize) {
      blocks.emplace_back();
      used = kDirectoryHeader;
    }
    blocks.back().push_back(i);
    used += length;
  }
  return blocks;
}

std::uint32_t DirectoryBlocks(const OperaEntry& dir) {
  if (dir.rawBlocks) return static_cast<std::uint32_t>(dir.rawBlocks->size());
  return static_cast<std::uint32_t>(LayOut(dir).size());
}

std::string Join(const std::string& parent, const std::string& name) {
  if (name.empty()) return parent + "/";
  return parent.empty() ? name : parent + "/" + name;
}

class Writer {
 public:
  Writer(OperaImage& image, std::uint32_t fileAlignment)
      : image_(image), fileAlignment_(std::max<std::uint32_t>(fileAlignment, 1)) {}

  // Reserves blocks for dir and everything below it; fills placements.
  void allocate(const OperaEntry& dir, const std::string& path) {
    image_.directories.insert(path);
    OperaPlacement& self = image_.placements[path];
    self.blockCount = DirectoryBlocks(dir);
    self.firstBlock = take(self.blockCount);
    self.byteCount = self.blockCount * static_cast<std::uint32_t>(kOperaBlockSize);
    if (dir.rawBlocks) return;
    for (const OperaEntry& child : dir.children) {
      const std::string childPath = Join(path, child.name);
      if (child.kind == OperaEntry::Kind::Directory) {
        allocate(child, childPath);
        // Further copies of a directory point at fresh copies of its blocks.
        copyBlocks_[childPath] = take(image_.placements[childPath].blockCount *
                                      static_cast<std::uint32_t>(std::max(child.copies, 1) - 1));
      } else {
        OperaPlacement& p = image_.placements[childPath];
        p.byteCount = static_cast<std::uint32_t>(child.data.size());
        p.blockCount = BlocksFor(child.data.size());
        next_ = (next_ + fileAlignment_ - 1) / fileAlignment_ * fileAlignment_;
        p.firstBlock = take(p.blockCount * static_cast<std::uint32_t>(std::max(child.copies, 1)));
      }
    }
  }

  void write(const OperaEntry& dir, const std::string& path) {
    const OperaPlacement& self = image_.placements[path];
    std::vector<std::vector<std::uint8_t>> blocks;
    if (dir.rawBlocks) {
      blocks = *dir.rawBlocks;
    } else {
      for (const auto& indices : LayOut(dir)) {
        std::vector<std::vector<std::uint8_t>> entries;
        for (std::size_t i : indices) entries.push_back(entryBytes(dir.children[i], path));
        blocks.push_back(OperaDirectoryBlock(entries));
      }
    }
    for (std::size_t b = 0; b < blocks.size(); ++b) {
      std::vector<std::uint8_t>& block = blocks[b];
      block.resize(kOperaBlockSize, 0);
      if (!dir.rawBlocks) {
        // Header links as a real volume has them; the reader does not follow them.
        PutBigEndian32(block, 0,
                       b + 1 < blocks.size() ? static_cast<std::uint32_t>(b + 1) : 0xFFFFFFFFu);
        PutBigEndian32(block, 4, b > 0 ? static_cast<std::uint32_t>(b - 1) : 0xFFFFFFFFu);
        PutBigEndian32(block, 16, kDirectoryHeader);
      }
      auto used = dir.usedEnds.find(static_cast<int>(b));
      if (used != dir.usedEnds.end()) PutBigEndian32(block, 12, used->second);
    }
    std::vector<std::uint8_t> all;
    for (const auto& block : blocks) all.insert(all.end(), block.begin(), block.end());
    put(self.firstBlock, all);
    image_.contents[path] = all;
    if (dir.rawBlocks) return;

    for (const OperaEntry& child : dir.children) {
      const std::string childPath = Join(path, child.name);
      const OperaPlacement& p = image_.placements[childPath];
      if (child.kind == OperaEntry::Kind::Directory) {
        write(child, childPath);
        const auto& own = image_.contents[childPath];
        for (int c = 1; c < child.copies; ++c)
          put(copyBlocks_[childPath] + (c - 1) * p.blockCount, own);
      } else {
        for (int c = 0; c < std::max(child.copies, 1); ++c)
          put(p.firstBlock + c * p.blockCount, child.data);
        image_.contents[childPath] = child.data;
      }
    }
  }

  std::uint32_t used() const { return next_; }

 private:
  std::uint32_t take(std::uint32_t blocks) {
    const std::uint32_t first = next_;
    next_ += blocks;
    return first;
  }

  void put(std::uint32_t block, const std::vector<std::uint8_t>& bytes) {
    const std::size_t offset = static_cast<std::size_t>(block) * kOperaBlockSize;
    if (image_.bytes.size() < offset + bytes.size()) image_.bytes.resize(offset + bytes.size());
    std::copy(bytes.begin(), bytes.end(), image_.bytes.begin() + static_cast<long>(offset));
  }

  std::vector<std::uint8_t> entryBytes(const OperaEntry& e, const std::string& parent) {
    const std::string path = Join(parent, e.name);
    const OperaPlacement& p = image_.placements[path];
    const std::uint32_t copies = static_cast<std::uint32_t>(std::max(e.copies, 1));
    std::vector<std::uint8_t> bytes =
        OperaEntryBytes(e.name, e.type, e.sizeField.value_or(p.byteCount),
                        e.firstBlockField.value_or(p.firstBlock), copies - 1, e.present);
    if (e.kind == OperaEntry::Kind::Directory) {
      bytes[3] = e.present ? 7 : 0;
      for (std::uint32_t c = 1; c < copies; ++c)
        PutBigEndian32(bytes, 68 + 4 * c, copyBlocks_[path] + (c - 1) * p.blockCount);
    } else {
      for (std::uint32_t c = 1; c < copies; ++c)
        PutBigEndian32(bytes, 68 + 4 * c, p.firstBlock + c * p.blockCount);
    }
    if (e.rawNameField) {
      std::string raw = *e.rawNameField;
      raw.resize(32, '\0');
      std::copy(raw.begin(), raw.end(), bytes.begin() + 32);
    }
    if (e.lastCopyIndexField) PutBigEndian32(bytes, 64, *e.lastCopyIndexField);
    return bytes;
  }

  OperaImage& image_;
  std::uint32_t fileAlignment_;
  std::uint32_t next_ = 1;  // block 0 is the volume header
  std::map<std::string, std::uint32_t> copyBlocks_;
};

}  // namespace

OperaEntry OperaEntry::File(std::string name, std::vector<std::uint8_t> bytes) {
  OperaEntry e;
  e.kind = Kind::File;
  e.name = std::move(name);
  e.type = "    ";
  e.data = std::move(bytes);
  return e;
}

OperaEntry OperaEntry::File(std::string name, std::size_t size) {
  std::vector<std::uint8_t> bytes = PatternBytes(name, size);
  return File(std::move(name), std::move(bytes));
}

OperaEntry OperaEntry::Dir(std::string name, std::vector<OperaEntry> children) {
  OperaEntry e;
  e.kind = Kind::Directory;
  e.name = std::move(name);
  e.type = "*dir";
  e.children = std::move(children);
  return e;
}

OperaEntry OperaEntry::Absent(std::string name, std::size_t size) {
  OperaEntry e = File(std::move(name), size);
  e.present = false;
  return e;
}

OperaEntry& OperaEntry::withType(std::string fourBytes) {
  fourBytes.resize(4, '\0');
  type = std::move(fourBytes);
  return *this;
}
OperaEntry& OperaEntry::withCopies(int count) {
  copies = std::max(count, 1);
  return *this;
}
OperaEntry& OperaEntry::withSizeField(std::uint32_t size) {
  sizeField = size;
  return *this;
}
OperaEntry& OperaEntry::withFirstBlockField(std::uint32_t block) {
  firstBlockField = block;
  return *this;
}
OperaEntry& OperaEntry::withLastCopyIndexField(std::uint32_t index) {
  lastCopyIndexField = index;
  return *this;
}
OperaEntry& OperaEntry::withRawNameField(std::string thirtyTwoBytes) {
  rawNameField = std::move(thirtyTwoBytes);
  return *this;
}
OperaEntry& OperaEntry::withEntriesPerBlock(int n) {
  entriesPerBlock = n;
  return *this;
}
OperaEntry& OperaEntry::withUsedEnd(int blockIndex, std::uint32_t usedEnd) {
  usedEnds[blockIndex] = usedEnd;
  return *this;
}
OperaEntry& OperaEntry::withRawBlocks(std::vector<std::vector<std::uint8_t>> blocks) {
  rawBlocks = std::move(blocks);
  return *this;
}

bool OperaImage::writeTo(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

OperaImageBuilder& OperaImageBuilder::root(std::vector<OperaEntry> entries) {
  root_.children = std::move(entries);
  return *this;
}
OperaImageBuilder& OperaImageBuilder::rootDirectory(OperaEntry directory) {
  root_ = std::move(directory);
  root_.name.clear();
  return *this;
}
OperaImageBuilder& OperaImageBuilder::syncBytes(std::string fiveBytes) {
  fiveBytes.resize(5, '\0');
  sync_ = std::move(fiveBytes);
  return *this;
}
OperaImageBuilder& OperaImageBuilder::volumeBlocksField(std::uint32_t blocks) {
  volumeBlocks_ = blocks;
  return *this;
}
OperaImageBuilder& OperaImageBuilder::rootBlockCountField(std::uint32_t blocks) {
  rootBlocks_ = blocks;
  return *this;
}
OperaImageBuilder& OperaImageBuilder::rootFirstBlockField(std::uint32_t block) {
  rootFirst_ = block;
  return *this;
}
OperaImageBuilder& OperaImageBuilder::fileAlignment(std::uint32_t blocks) {
  fileAlignment_ = blocks;
  return *this;
}
OperaImageBuilder& OperaImageBuilder::resizeTo(std::size_t bytes) {
  resize_ = bytes;
  return *this;
}

OperaImage OperaImageBuilder::build() const {
  OperaImage image;
  image.bytes.assign(kOperaBlockSize, 0);
  Writer writer(image, fileAlignment_);
  writer.allocate(root_, "");
  writer.write(root_, "");
  image.bytes.resize(static_cast<std::size_t>(writer.used()) * kOperaBlockSize, 0);

  const OperaPlacement root = image.placements[""];
  std::vector<std::uint8_t>& h = image.bytes;
  h[0] = 1;  // record type
  std::copy(sync_.begin(), sync_.end(), h.begin() + 1);
  h[6] = 1;  // structure version
  const std::string label = "BRINDLE TEST";
  std::copy(label.begin(), label.end(), h.begin() + 40);
  PutBigEndian32(h, 76, kOperaBlockSize);
  PutBigEndian32(h, 80, volumeBlocks_.value_or(writer.used()));
  PutBigEndian32(h, 84, 1);  // root directory id
  PutBigEndian32(h, 88, rootBlocks_.value_or(root.blockCount));
  PutBigEndian32(h, 92, kOperaBlockSize);
  PutBigEndian32(h, 96, 0);  // last root copy index
  PutBigEndian32(h, 100, rootFirst_.value_or(root.firstBlock));
  if (resize_) image.bytes.resize(*resize_, 0);
  return image;
}

std::vector<std::uint8_t> OperaEntryBytes(const std::string& name, const std::string& type,
                                          std::uint32_t size, std::uint32_t firstBlock,
                                          std::uint32_t lastCopyIndex, bool present) {
  std::vector<std::uint8_t> e(kEntryBase + 4 * static_cast<std::size_t>(lastCopyIndex), 0);
  e[3] = present ? 2 : 0;
  for (std::size_t i = 0; i < 4 && i < type.size(); ++i)
    e[8 + i] = static_cast<std::uint8_t>(type[i]);
  PutBigEndian32(e, 12, kOperaBlockSize);
  PutBigEndian32(e, 16, size);
  PutBigEndian32(e, 20, BlocksFor(size));
  for (std::size_t i = 0; i < 31 && i < name.size(); ++i)
    e[32 + i] = static_cast<std::uint8_t>(name[i]);
  PutBigEndian32(e, 64, lastCopyIndex);
  for (std::uint32_t c = 0; c <= lastCopyIndex; ++c) PutBigEndian32(e, 68 + 4 * c, firstBlock + c);
  return e;
}

std::vector<std::uint8_t> OperaDirectoryBlock(const std::vector<std::vector<std::uint8_t>>& entries,
                                              std::optional<std::uint32_t> usedEnd) {
  std::vector<std::uint8_t> block(kOperaBlockSize, 0);
  std::size_t p = kDirectoryHeader;
  for (const auto& e : entries) {
    for (std::size_t i = 0; i < e.size() && p + i < block.size(); ++i) block[p + i] = e[i];
    p += e.size();
  }
  PutBigEndian32(block, 0, 0xFFFFFFFFu);
  PutBigEndian32(block, 4, 0xFFFFFFFFu);
  PutBigEndian32(block, 12, usedEnd.value_or(static_cast<std::uint32_t>(p)));
  PutBigEndian32(block, 16, kDirectoryHeader);
  return block;
}

OperaImage TwoCopyDirectoryWithScratchedRuns() {
  OperaImage image = OperaImageBuilder()
                         .root({OperaEntry::Dir("Two", {})
                                    .withRawBlocks(std::vector(90, OperaDirectoryBlock({})))
                                    .withCopies(2)})
                         .build();
  const std::uint32_t two = image.placements.at("Two").firstBlock;
  for (std::uint32_t b = 0; b < 88; ++b)
    if (b % 4 == 1 || b % 4 == 2) image.bytes[(two + b) * 2048 + 13] = 0xFF;  // used end
  return image;
}

std::vector<std::uint8_t> ToRawSectors(const std::vector<std::uint8_t>& image) {
  std::vector<std::uint8_t> raw;
  const std::size_t sectors = BlocksFor(image.size());
  raw.reserve(sectors * 2352);
  for (std::size_t s = 0; s < sectors; ++s) {
    raw.push_back(0);
    raw.insert(raw.end(), 10, 0xFF);
    raw.push_back(0);
    const std::size_t frames = s + 150;  // two seconds of lead-in
    auto bcd = [](std::size_t v) { return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10)); };
    raw.push_back(bcd(frames / 75 / 60));
    raw.push_back(bcd(frames / 75 % 60));
    raw.push_back(bcd(frames % 75));
    raw.push_back(1);  // mode 1
    for (std::size_t i = 0; i < kOperaBlockSize; ++i) {
      const std::size_t at = s * kOperaBlockSize + i;
      raw.push_back(at < image.size() ? image[at] : 0);
    }
    raw.insert(raw.end(), 288, 0);
  }
  return raw;
}

std::vector<std::uint8_t> PatternBytes(const std::string& seed, std::size_t size) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : seed) h = (h ^ c) * 16777619u;
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    h = h * 1103515245u + 12345u;
    bytes[i] = static_cast<std::uint8_t>(h >> 16);
  }
  return bytes;
}

}  // namespace brindle::testing
