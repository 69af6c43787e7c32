// The FUSE low-level session over a FileSystem: each request handed to it as it arrives, on
// several threads, and every kind of change refused.
#define FUSE_USE_VERSION 312
#include "mount/Mount.h"

#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <optional>
#include <ostream>
#include <vector>

#include "mount/FileSystem.h"
#include "mount/Messages.h"

namespace brindle::mount {
namespace {

// The disc cannot change while it is mounted: the kernel may keep names, attributes and pages.
constexpr double kCacheSeconds = 365.0 * 24 * 3600;
// The largest read the kernel may ask in one request (libfuse's buffer takes 1 MiB of data).
constexpr unsigned kMaxRead = 1024 * 1024;

FileSystem& Served(fuse_req_t request) {
  return *static_cast<FileSystem*>(fuse_req_userdata(request));
}

void Init(void*, fuse_conn_info* connection) {
  connection->max_read = kMaxRead;
  connection->max_readahead = kMaxRead;
  // The data never changes, so there is nothing to invalidate when attributes are looked at.
  connection->want &= ~unsigned{FUSE_CAP_AUTO_INVAL_DATA};
  // Replies may be spliced from the image file's pages into the kernel's request. Not moved:
  // the pages stay the image file's, in its cache.
  if ((connection->capable & FUSE_CAP_SPLICE_WRITE) != 0) connection->want |= FUSE_CAP_SPLICE_WRITE;
  connection->want &= ~unsigned{FUSE_CAP_SPLICE_MOVE};
}

void Lookup(fuse_req_t request, fuse_ino_t parent, const char* name) {
  fuse_entry_param entry{};
  Inode child = 0;
  const int error = Served(request).lookup(parent, name, child, entry.attr);
  if (error == ENOENT) {
    // A name that is absent now stays absent: the kernel may remember that too.
    entry.entry_timeout = kCacheSeconds;
    fuse_reply_entry(request, &entry);
    return;
  }
  if (error != 0) {
    fuse_reply_err(request, error);
    return;
  }
  entry.ino = child;
  entry.attr_timeout = kCacheSeconds;
  entry.entry_timeout = kCacheSeconds;
  fuse_reply_entry(request, &entry);
}

void GetAttr(fuse_req_t request, fuse_ino_t inode, fuse_file_info*) {
  struct stat attributes {};
  const int error = Served(request).getattr(inode, attributes);
  if (error != 0) {
    fuse_reply_err(request, error);
  } else {
    fuse_reply_attr(request, &attributes, kCacheSeconds);
  }
}

void Open(fuse_req_t request, fuse_ino_t inode, fuse_file_info* file) {
  const int error = Served(request).open(inode, file->flags);
  if (error != 0) {
    fuse_reply_err(request, error);
    return;
  }
  file->keep_cache = 1;
  fuse_reply_open(request, file);
}

// A pipe that a range of the image file is spliced into before it is handed to the kernel:
// the page cache's pages go into it by reference, and on to the kernel's reply without passing
// through this process. Filling it first means a range that comes up short or fails (the image
// shrank, the disk under it gave an I/O error) is noticed before anything is answered, and is
// then served by the entry reader, which reports it as it reports any bad block.
class SplicePipe {
 public:
  SplicePipe() = default;
  SplicePipe(const SplicePipe&) = delete;
  SplicePipe& operator=(const SplicePipe&) = delete;
  ~SplicePipe() { close(); }

  // Moves length bytes of the open file from offset into the (empty) pipe; true when all of
  // them are there. Never waits: a pipe that fills up counts as a failure.
  bool fill(int file, std::uint64_t offset, std::size_t length) {
    if (!reserve(length)) return false;
    off_t position = off_t(offset);
    for (std::size_t done = 0; done < length;) {
      const ssize_t moved =
          splice(file, &position, ends_[1], nullptr, length - done, SPLICE_F_NONBLOCK);
      if (moved < 0 && errno == EINTR) continue;
      if (moved <= 0) {
        close();  // whatever did arrive must not go out with the next reply
        return false;
      }
      done += std::size_t(moved);
    }
    return true;
  }

  int readEnd() const { return ends_[0]; }

  // After a reply: a pipe the reply did not empty is replaced, so no byte of it can go out
  // with another.
  void settle() {
    int left = 0;
    if (ends_[0] >= 0 && (ioctl(ends_[0], FIONREAD, &left) != 0 || left != 0)) close();
  }

 private:
  // A range that starts inside a page takes one pipe slot per page it touches.
  bool reserve(std::size_t length) {
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    const std::size_t needed = (length / page + 2) * page;
    if (ends_[0] < 0 && pipe2(ends_, O_CLOEXEC | O_NONBLOCK) != 0) {
      ends_[0] = ends_[1] = -1;
      return false;
    }
    if (capacity_ < needed) {
      const int size = fcntl(ends_[1], F_SETPIPE_SZ, int(needed));
      if (size < 0) return false;
      capacity_ = std::size_t(size);
    }
    return true;
  }

  void close() {
    for (int& end : ends_) {
      if (end >= 0) ::close(end);
      end = -1;
    }
    capacity_ = 0;
  }

  int ends_[2] = {-1, -1};
  std::size_t capacity_ = 0;
};

void Read(fuse_req_t request, fuse_ino_t inode, size_t size, off_t offset, fuse_file_info*) {
  const std::uint64_t from = offset < 0 ? 0 : std::uint64_t(offset);
  // Bytes that lie as they are in the image file go from its page cache to the kernel by
  // splice: the copy through this process is what a first read of a large file costs most.
  if (const auto range = Served(request).fileRange(inode, from, size)) {
    thread_local SplicePipe pipe;
    const auto length = static_cast<std::size_t>(range->length);
    if (pipe.fill(static_cast<int>(range->handle), range->offset, length)) {
      fuse_bufvec data = FUSE_BUFVEC_INIT(length);
      data.buf[0].flags = FUSE_BUF_IS_FD;
      data.buf[0].fd = pipe.readEnd();
      fuse_reply_data(request, &data, fuse_buf_copy_flags{});
      pipe.settle();
      return;
    }
  }
  // One buffer per serving thread, grown to the largest request once.
  thread_local std::vector<std::uint8_t> buffer;
  buffer.resize(size);
  const ReadResult result = Served(request).read(inode, from, buffer);
  if (result.error != 0) {
    fuse_reply_err(request, result.error);
  } else {
    fuse_reply_buf(request, reinterpret_cast<const char*>(buffer.data()), result.bytes);
  }
}

void OpenDir(fuse_req_t request, fuse_ino_t inode, fuse_file_info* file) {
  const int error = Served(request).opendir(inode);
  if (error != 0) {
    fuse_reply_err(request, error);
    return;
  }
  file->cache_readdir = 1;
  file->keep_cache = 1;
  fuse_reply_open(request, file);
}

void ReadDir(fuse_req_t request, fuse_ino_t inode, size_t size, off_t offset, fuse_file_info*) {
  std::vector<char> buffer(size);
  std::size_t used = 0;
  const int error = Served(request).readdir(
      inode, offset < 0 ? 0 : std::uint64_t(offset), [&](const ListedEntry& line) {
        struct stat attributes {};
        attributes.st_ino = line.inode;
        attributes.st_mode = line.directory ? S_IFDIR : S_IFREG;
        const std::size_t needed =
            fuse_add_direntry(request, buffer.data() + used, size - used, line.name.c_str(),
                              &attributes, off_t(line.next));
        if (needed > size - used) return false;
        used += needed;
        return true;
      });
  if (error != 0) {
    fuse_reply_err(request, error);
  } else {
    fuse_reply_buf(request, buffer.data(), used);
  }
}

void StatFs(fuse_req_t request, fuse_ino_t) {
  struct statvfs result {};
  Served(request).statfs(result);
  fuse_reply_statfs(request, &result);
}

// Replies with the value, its size when size is 0, or ERANGE when it does not fit.
void ReplySized(fuse_req_t request, const std::string& value, size_t size) {
  if (size == 0) {
    fuse_reply_xattr(request, value.size());
  } else if (size < value.size()) {
    fuse_reply_err(request, ERANGE);
  } else {
    fuse_reply_buf(request, value.data(), value.size());
  }
}

void GetXattr(fuse_req_t request, fuse_ino_t inode, const char* name, size_t size) {
  std::string value;
  const int error = Served(request).getxattr(inode, name, value);
  if (error != 0) {
    fuse_reply_err(request, error);
  } else {
    ReplySized(request, value, size);
  }
}

void ListXattr(fuse_req_t request, fuse_ino_t inode, size_t size) {
  std::string names;
  const int error = Served(request).listxattr(inode, names);
  if (error != 0) {
    fuse_reply_err(request, error);
  } else {
    ReplySized(request, names, size);
  }
}

// Every change is refused: the mount is read-only whatever the kernel lets through.
template <typename... Arguments>
void Refuse(fuse_req_t request, Arguments...) {
  fuse_reply_err(request, EROFS);
}

fuse_lowlevel_ops Operations() {
  fuse_lowlevel_ops ops{};
  ops.init = Init;
  ops.lookup = Lookup;
  ops.getattr = GetAttr;
  ops.open = Open;
  ops.read = Read;
  ops.opendir = OpenDir;
  ops.readdir = ReadDir;
  ops.statfs = StatFs;
  ops.getxattr = GetXattr;
  ops.listxattr = ListXattr;
  ops.setattr = Refuse<fuse_ino_t, struct stat*, int, fuse_file_info*>;
  ops.mknod = Refuse<fuse_ino_t, const char*, mode_t, dev_t>;
  ops.mkdir = Refuse<fuse_ino_t, const char*, mode_t>;
  ops.unlink = Refuse<fuse_ino_t, const char*>;
  ops.rmdir = Refuse<fuse_ino_t, const char*>;
  ops.symlink = Refuse<const char*, fuse_ino_t, const char*>;
  ops.rename = Refuse<fuse_ino_t, const char*, fuse_ino_t, const char*, unsigned int>;
  ops.link = Refuse<fuse_ino_t, fuse_ino_t, const char*>;
  ops.write = Refuse<fuse_ino_t, const char*, size_t, off_t, fuse_file_info*>;
  ops.create = Refuse<fuse_ino_t, const char*, mode_t, fuse_file_info*>;
  ops.setxattr = Refuse<fuse_ino_t, const char*, const char*, size_t, int>;
  ops.removexattr = Refuse<fuse_ino_t, const char*>;
  ops.fallocate = Refuse<fuse_ino_t, int, off_t, off_t, fuse_file_info*>;
  return ops;
}

// The nodes' time: the image file's last change, or now for a drive.
timespec SourceTime(const std::string& imagePath) {
  struct stat image {};
  if (!imagePath.empty() && ::stat(imagePath.c_str(), &image) == 0) return image.st_mtim;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

// A mount option value with the option separators escaped.
std::string OptionValue(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == ',' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// Owns the session from creation to destruction: unmounted and signal handlers removed on
// every path.
class Session {
 public:
  Session(FileSystem& fileSystem, const std::string& sourceName) {
    const std::string options =
        "ro,default_permissions,max_read=" + std::to_string(kMaxRead) +
        ",subtype=opera,fsname=" + OptionValue(sourceName.empty() ? "brindle" : sourceName);
    arguments_ = {"brindle-cli", "-o", options};
    std::vector<char*> argv;
    for (std::string& argument : arguments_) argv.push_back(argument.data());
    fuse_args args = FUSE_ARGS_INIT(int(argv.size()), argv.data());
    const fuse_lowlevel_ops ops = Operations();
    session_ = fuse_session_new(&args, &ops, sizeof ops, &fileSystem);
    fuse_opt_free_args(&args);
  }
  ~Session() {
    if (session_ == nullptr) return;
    if (mounted_) fuse_session_unmount(session_);
    if (handlers_) fuse_remove_signal_handlers(session_);
    fuse_session_destroy(session_);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool mount(const std::string& mountPoint) {
    if (session_ == nullptr) return false;
    handlers_ = fuse_set_signal_handlers(session_) == 0;
    mounted_ = handlers_ && fuse_session_mount(session_, mountPoint.c_str()) == 0;
    return mounted_;
  }

  // Serves requests until the mount goes away or a signal asks to stop; false on a failure.
  bool serve() {
    fuse_loop_config* config = fuse_loop_cfg_create();
    const int result = fuse_session_loop_mt(session_, config);
    fuse_loop_cfg_destroy(config);
    // A positive result is the signal that ended the loop: a wanted, clean end.
    return result >= 0;
  }

 private:
  std::vector<std::string> arguments_;
  fuse_session* session_ = nullptr;
  bool handlers_ = false;
  bool mounted_ = false;
};

// Why the folder must not be mounted on, as mount tools refuse: a folder that holds files (they
// would be hidden while mounted) or one where a file system is mounted already (mounts would
// stack, and unmounting would reveal the wrong one). Nothing when it may be used.
std::optional<std::string> MountPointRefusal(const std::string& mountPoint,
                                             const std::string& shown) {
  struct stat point {};
  struct stat parent {};
  if (::stat(mountPoint.c_str(), &point) != 0) {
    // A mount whose server has gone answers nothing: it is in use all the same.
    if (errno == ENOTCONN) return AlreadyMountedText(shown);
    return std::nullopt;  // the mount itself says why it cannot use the folder
  }
  if (!S_ISDIR(point.st_mode)) return std::nullopt;
  const std::string up = (std::filesystem::path(mountPoint) / "..").string();
  if (::stat(up.c_str(), &parent) == 0 &&
      (point.st_dev != parent.st_dev || point.st_ino == parent.st_ino))
    return AlreadyMountedText(shown);
  std::error_code error;
  std::filesystem::directory_iterator entries(mountPoint, error);
  if (!error && entries != std::filesystem::directory_iterator()) return NotEmptyText(shown);
  return std::nullopt;
}

}  // namespace

int RunMount(media::BlockDevice& device, const MountOptions& options, std::ostream& err) {
  media::BlockStatus status = media::BlockStatus::Good;
  const std::optional<opera::Volume> volume = opera::Volume::Open(device, status);
  if (!volume) {
    err << NotOperaText(status) << '\n';
    return 1;
  }
  const Identity identity{getuid(), getgid(), SourceTime(options.imagePath)};
  FileSystem fileSystem(*volume, identity, err);
  err.flush();

  // Unmounting later must not depend on the working directory.
  std::error_code ignored;
  const std::string mountPoint = std::filesystem::absolute(options.mountPoint, ignored).string();
  if (const auto refusal = MountPointRefusal(mountPoint, options.mountPoint)) {
    err << *refusal << '\n';
    return 1;
  }
  Session session(fileSystem, options.sourceName);
  if (!session.mount(mountPoint)) {
    err << MountFailedText(options.mountPoint) << '\n';
    return 1;
  }
  if (fuse_daemonize(options.foreground ? 1 : 0) != 0) return 1;
  return session.serve() ? 0 : 1;
}

}  // namespace brindle::mount
