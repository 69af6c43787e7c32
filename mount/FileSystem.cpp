#include "mount/FileSystem.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <map>
#include <ostream>

#include "mount/Messages.h"
#include "output/Names.h"

namespace brindle::mount {
namespace {

// The size a program should read in: many blocks, as one request to the file system.
constexpr blksize_t kPreferredReadSize = 128 * 1024;

constexpr std::array<const char*, 4> kAttributeNames{"user.opera.type", "user.opera.id",
                                                     "user.opera.flags", "user.opera.copies"};

std::string Hex32(std::uint32_t value) {
  std::array<char, 11> text{};
  std::snprintf(text.data(), text.size(), "0x%08X", value);
  return text.data();
}

// The root has no entry of its own; the label describes it in the same terms.
opera::Entry RootEntry(const opera::VolumeLabel& label) {
  opera::Entry root;
  root.id = label.rootId;
  root.type = {'*', 'd', 'i', 'r'};
  root.blockSize = label.rootBlockSize;
  root.blockCount = label.rootBlockCount;
  root.lastCopyIndex = label.rootLastCopyIndex;
  root.copies = label.rootCopies;
  return root;
}

}  // namespace

FileSystem::FileSystem(const opera::Volume& volume, const Identity& identity, std::ostream& err,
                       const opera::WalkLimits& limits)
    : volume_(volume), identity_(identity), err_(err) {
  build(opera::Walk(volume, volume.root(), limits), err);
}

FileSystem::~FileSystem() = default;

void FileSystem::build(opera::Tree tree, std::ostream& err) {
  const auto shownPath = [](const std::string& path) { return output::Latin1ToUtf8(path); };
  for (const std::string& line : opera::WalkProblemLines(tree.problems, shownPath))
    err << line << '\n';
  for (const std::string& line : opera::RecoveredBlockLines(tree.recoveredBlocks, shownPath))
    err << line << '\n';
  // Entries left out are told per directory up to a screenful, then counted: a crafted directory
  // of thousands of unusable names is a few lines.
  constexpr std::size_t kShownLeftOut = 20;
  std::map<Inode, std::size_t> leftOut;
  const auto tell = [&](Inode parent, const std::string& line) {
    if (leftOut[parent]++ < kShownLeftOut) err << line << '\n';
  };

  nodes_.resize(tree.entries.size() + 1);
  nodes_[0].entry = RootEntry(volume_.label());
  nodes_[0].parent = kRootInode;
  visible_ = 1;
  for (std::size_t i = 0; i < tree.entries.size(); ++i) {
    opera::WalkedEntry& walked = tree.entries[i];
    const Inode inode = i + 2;
    // The walker lists a directory before its entries, so the parent is already placed.
    const Inode parentInode = walked.parent < 0 ? kRootInode : Inode(walked.parent) + 2;
    Node& parent = nodes_[parentInode - 1];
    Node& node = nodes_[inode - 1];
    node.entry = std::move(walked.entry);
    node.parent = parentInode;
    node.name = output::Latin1ToUtf8(node.entry.name);
    node.path = parent.path.empty() ? node.name : parent.path + "/" + node.name;
    const bool directory = node.entry.isDirectory();
    if (!parent.visible) {
      node.visible = false;  // its directory was left out and said so
    } else if (!output::IsSafeFileName(node.entry.name)) {
      node.visible = false;
      tell(parentInode, LeftOutUnsafeName(node.path, directory));
    } else if (parent.byName.count(node.name) != 0) {
      node.visible = false;
      tell(parentInode, LeftOutDuplicate(node.path, directory));
    }
    if (!node.visible) continue;
    parent.byName.emplace(node.name, inode);
    parent.children.push_back(inode);
    if (directory) ++parent.subdirectories;
    ++visible_;
  }
  for (const auto& [parent, count] : leftOut) {
    if (count > kShownLeftOut)
      err << LeftOutMoreText(nodes_[parent - 1].path, count - kShownLeftOut) << '\n';
  }
}

const FileSystem::Node* FileSystem::node(Inode inode) const {
  if (inode < kRootInode || inode > nodes_.size()) return nullptr;
  const Node& found = nodes_[inode - 1];
  return found.visible ? &found : nullptr;
}

void FileSystem::fill(Inode inode, const Node& node, struct stat& attributes) const {
  attributes = {};
  const bool directory = node.entry.isDirectory();
  attributes.st_ino = inode;
  attributes.st_mode = directory ? (S_IFDIR | 0555) : (S_IFREG | 0444);
  attributes.st_nlink = directory ? 2 + node.subdirectories : 1;
  attributes.st_uid = identity_.uid;
  attributes.st_gid = identity_.gid;
  attributes.st_size = directory ? off_t(node.entry.blockCount) * off_t(media::kBlockSize)
                                 : off_t(node.entry.byteCount);
  attributes.st_blksize = kPreferredReadSize;
  attributes.st_blocks = (attributes.st_size + 511) / 512;
  attributes.st_atim = identity_.time;
  attributes.st_mtim = identity_.time;
  attributes.st_ctim = identity_.time;
}

int FileSystem::lookup(Inode parent, const std::string& name, Inode& child,
                       struct stat& attributes) const {
  const Node* directory = node(parent);
  if (directory == nullptr) return ENOENT;
  if (!directory->entry.isDirectory()) return ENOTDIR;
  const auto found = directory->byName.find(name);
  if (found == directory->byName.end()) return ENOENT;
  child = found->second;
  fill(child, nodes_[child - 1], attributes);
  return 0;
}

int FileSystem::getattr(Inode inode, struct stat& attributes) const {
  const Node* found = node(inode);
  if (found == nullptr) return ENOENT;
  fill(inode, *found, attributes);
  return 0;
}

int FileSystem::readdir(Inode directory, std::uint64_t offset,
                        const std::function<bool(const ListedEntry&)>& add) const {
  const Node* found = node(directory);
  if (found == nullptr) return ENOENT;
  if (!found->entry.isDirectory()) return ENOTDIR;
  const std::uint64_t lines = found->children.size() + 2;
  for (std::uint64_t at = offset; at < lines; ++at) {
    ListedEntry line;
    line.directory = true;
    line.next = at + 1;
    if (at == 0) {
      line.name = ".";
      line.inode = directory;
    } else if (at == 1) {
      line.name = "..";
      line.inode = found->parent;
    } else {
      line.inode = found->children[at - 2];
      const Node& child = nodes_[line.inode - 1];
      line.name = child.name;
      line.directory = child.entry.isDirectory();
    }
    if (!add(line)) break;
  }
  return 0;
}

int FileSystem::open(Inode inode, int flags) const {
  const Node* found = node(inode);
  if (found == nullptr) return ENOENT;
  if ((flags & O_ACCMODE) != O_RDONLY || (flags & O_TRUNC) != 0) return EROFS;
  if (found->entry.isDirectory()) return EISDIR;
  return 0;
}

int FileSystem::opendir(Inode inode) const {
  const Node* found = node(inode);
  if (found == nullptr) return ENOENT;
  return found->entry.isDirectory() ? 0 : ENOTDIR;
}

ReadResult FileSystem::read(Inode inode, std::uint64_t offset, std::span<std::uint8_t> out) {
  const Node* found = node(inode);
  if (found == nullptr) return {ENOENT, 0};
  if (found->entry.isDirectory()) return {EISDIR, 0};
  const opera::Entry& entry = found->entry;
  if (offset >= entry.byteCount || out.empty()) return {};
  if (entry.copies.empty()) {
    const std::lock_guard lock(mutex_);
    if (reportedDamage_.insert(inode).second) err_ << NoDataText(found->path) << std::endl;
    return {EIO, 0};
  }

  opera::ReadReport report;
  std::unique_ptr<opera::EntryReader> reader = takeReader();
  const std::size_t bytes = reader->read(entry, offset, out, report);
  giveBack(std::move(reader));
  if (!report.recovered.empty()) {
    const opera::RecoveredBlock& first = report.recovered.front();
    const std::lock_guard lock(mutex_);
    if (reportedRecovery_.insert(inode).second) {
      err_ << RecoveredFileText(found->path, first.index, entry.copies.front() + first.index,
                                first.copy)
           << std::endl;
    }
  }
  if (report.complete()) return {0, bytes};

  const opera::ReadReport::Damaged& first = report.damaged.front();
  const std::lock_guard lock(mutex_);
  if (reportedDamage_.insert(inode).second) {
    err_ << DamagedFileText(found->path, first.index, first.block, first.status) << std::endl;
  }
  return {EIO, 0};
}

std::optional<media::FileRange> FileSystem::fileRange(Inode inode, std::uint64_t offset,
                                                      std::size_t size) const {
  const Node* found = node(inode);
  if (found == nullptr || found->entry.isDirectory() || found->entry.copies.empty())
    return std::nullopt;
  const opera::Entry& entry = found->entry;
  if (offset >= entry.byteCount || size == 0) return std::nullopt;
  const std::uint64_t length = std::min<std::uint64_t>(size, entry.byteCount - offset);
  const std::uint64_t firstIndex = offset / media::kBlockSize;
  const std::uint64_t blocks = (offset + length - 1) / media::kBlockSize - firstIndex + 1;
  const auto range = volume_.device().fileRange(entry.copies[0] + firstIndex, blocks);
  // Only whole blocks in the file: a block cut short by the file's end reads as damaged.
  if (!range || range->length < blocks * media::kBlockSize) return std::nullopt;
  return media::FileRange{range->handle, range->offset + offset % media::kBlockSize, length};
}

std::unique_ptr<opera::EntryReader> FileSystem::takeReader() {
  {
    const std::lock_guard lock(mutex_);
    if (!idleReaders_.empty()) {
      std::unique_ptr<opera::EntryReader> reader = std::move(idleReaders_.back());
      idleReaders_.pop_back();
      return reader;
    }
  }
  return std::make_unique<opera::EntryReader>(volume_.device());
}

void FileSystem::giveBack(std::unique_ptr<opera::EntryReader> reader) {
  const std::lock_guard lock(mutex_);
  idleReaders_.push_back(std::move(reader));
}

int FileSystem::listxattr(Inode inode, std::string& names) const {
  if (node(inode) == nullptr) return ENOENT;
  names.clear();
  for (const char* name : kAttributeNames) {
    names += name;
    names += '\0';
  }
  return 0;
}

int FileSystem::getxattr(Inode inode, const std::string& name, std::string& value) const {
  const Node* found = node(inode);
  if (found == nullptr) return ENOENT;
  const opera::Entry& entry = found->entry;
  if (name == kAttributeNames[0]) {
    value = output::Latin1ToUtf8(entry.typeText());
  } else if (name == kAttributeNames[1]) {
    value = Hex32(entry.id);
  } else if (name == kAttributeNames[2]) {
    value = Hex32(entry.flags);
  } else if (name == kAttributeNames[3]) {
    value.clear();
    for (std::uint32_t block : entry.copies) {
      if (!value.empty()) value += ' ';
      value += std::to_string(block);
    }
  } else {
    return ENODATA;
  }
  return 0;
}

int FileSystem::statfs(struct statvfs& result) const {
  result = {};
  result.f_bsize = media::kBlockSize;
  result.f_frsize = media::kBlockSize;
  result.f_blocks = volume_.device().blockCount();
  result.f_files = visible_;
  result.f_namemax = 255;
  result.f_flag = ST_RDONLY;
  return 0;
}

}  // namespace brindle::mount
