// An Opera volume as a read-only POSIX file system: the walked tree turned into inodes, and the
// answers a file system gives (look up, attributes, directory listing, file bytes, extended
// attributes) as plain calls, so they are the same whether the kernel asks or a test does.
// Every answer is an errno value (0 for success), never an exception.
#pragma once

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "media/BlockDevice.h"
#include "opera/EntryReader.h"
#include "opera/Volume.h"
#include "opera/Walker.h"

namespace brindle::mount {

using Inode = std::uint64_t;
inline constexpr Inode kRootInode = 1;  // what the kernel asks for first

// Who owns every node and when it was last changed: the mounting user, and the image file's
// time (or the mount time for a drive).
struct Identity {
  uid_t uid = 0;
  gid_t gid = 0;
  timespec time{};
};

// One line of a directory listing. next is the offset to continue the listing after this line.
struct ListedEntry {
  std::string name;  // UTF-8
  Inode inode = 0;
  bool directory = false;
  std::uint64_t next = 0;
};

struct ReadResult {
  int error = 0;          // 0, or EIO when a block of the range is bad in every copy
  std::size_t bytes = 0;  // bytes placed at the start of out (fewer only at the end of the file)
};

class FileSystem {
 public:
  // Walks the whole volume at once. What the walk could not do (cycles, caps, bad directory
  // blocks) and every entry left out (a name that cannot be a path component, a second entry of
  // the same name in one directory) is written to err here, once. The device must outlive this.
  FileSystem(const opera::Volume& volume, const Identity& identity, std::ostream& err,
             const opera::WalkLimits& limits = {});
  ~FileSystem();

  // The child of directory parent named name (UTF-8): its inode and attributes.
  int lookup(Inode parent, const std::string& name, Inode& child, struct stat& attributes) const;
  int getattr(Inode inode, struct stat& attributes) const;

  // ".", ".." and the directory's entries in disc order, starting at offset (0: the first);
  // add is called for each until it returns false (its buffer is full).
  int readdir(Inode directory, std::uint64_t offset,
              const std::function<bool(const ListedEntry&)>& add) const;

  // Opening checks: files only, and never for writing (EROFS).
  int open(Inode inode, int flags) const;
  int opendir(Inode inode) const;
  // access(2) on a node: any write is refused with EROFS.
  int access(Inode inode, int mask) const;

  // Up to out.size() bytes of the file from offset, through the entry reader: a block bad in
  // the first copy comes from another; a block bad in every copy makes the read fail with EIO.
  // The first of each is reported on the error stream, once per file. Safe from many threads
  // at once.
  ReadResult read(Inode inode, std::uint64_t offset, std::span<std::uint8_t> out);

  // Where the bytes read(inode, offset, size) gives lie unchanged in one host file (a plain
  // image holding every block of the range in the first copy), so the kernel can move them
  // without a copy through this process; nothing when they do not, and read is used instead.
  std::optional<media::FileRange> fileRange(Inode inode, std::uint64_t offset,
                                            std::size_t size) const;

  // The extended attribute names, each followed by a zero byte, as listxattr(2) returns them.
  int listxattr(Inode inode, std::string& names) const;
  int getxattr(Inode inode, const std::string& name, std::string& value) const;

  int statfs(struct statvfs& result) const;

  // Nodes that can be reached (the root included).
  std::size_t nodeCount() const { return visible_; }

 private:
  struct Node {
    opera::Entry entry;
    Inode parent = kRootInode;
    std::string name;                     // UTF-8
    std::vector<Inode> children;          // directories: in disc order
    std::map<std::string, Inode> byName;  // directories: the same, by name
    std::uint32_t subdirectories = 0;
    bool visible = true;
    std::string path;  // for messages, UTF-8
  };

  const Node* node(Inode inode) const;
  void fill(Inode inode, const Node& node, struct stat& attributes) const;
  void build(opera::Tree tree, std::ostream& err);
  std::unique_ptr<opera::EntryReader> takeReader();
  void giveBack(std::unique_ptr<opera::EntryReader> reader);

  const opera::Volume& volume_;
  Identity identity_;
  std::ostream& err_;
  std::vector<Node> nodes_;  // index inode - 1
  std::size_t visible_ = 0;

  std::mutex mutex_;  // guards what follows
  std::vector<std::unique_ptr<opera::EntryReader>> idleReaders_;
  std::set<Inode> reportedDamage_;
  std::set<Inode> reportedRecovery_;
};

}  // namespace brindle::mount
