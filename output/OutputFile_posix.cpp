// Output files on Linux and other POSIX systems.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <utility>

#include "output/OutputFile.h"

namespace brindle::output {
namespace {

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

// The folder part of path, with its separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A hidden name in folder that no other run, thread or earlier attempt uses.
std::string NewTemporaryName(const std::string& folder) {
  static std::atomic<unsigned> counter{0};
  static const unsigned salt = std::random_device{}();
  return folder + ".brindle-" + std::to_string(::getpid()) + "-" + std::to_string(salt) + "-" +
         std::to_string(counter.fetch_add(1)) + ".part";
}

// Renames from to to only when nothing is named to, atomically where the kernel can.
bool RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  // File systems without that: a second link fails when the name is taken.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

}  // namespace

std::optional<OutputFile> OutputFile::Create(const std::string& path, bool followLinks) {
  int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  if (!followLinks) flags |= O_NOFOLLOW;
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return std::nullopt;
  return OutputFile(fd);
}

std::optional<OutputFile> OutputFile::CreateNew(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return std::nullopt;
  return OutputFile(fd, true);
}

std::optional<OutputFile> OutputFile::Replace(const std::string& path, bool followLinks) {
  if (path.empty() || path.back() == '/') return std::nullopt;
  std::string target = path;
  struct stat existing {};
  const bool exists = ::lstat(path.c_str(), &existing) == 0;
  if (exists && S_ISLNK(existing.st_mode)) {
    if (!followLinks) return std::nullopt;
    // The link stays; the file it names is the one replaced.
    std::error_code ec;
    target = std::filesystem::weakly_canonical(path, ec).string();
    if (ec || target.empty()) return std::nullopt;
    if (::stat(target.c_str(), &existing) != 0) existing = {};
  }
  if (exists && S_ISDIR(existing.st_mode)) return std::nullopt;
  // A device, pipe or socket is written, not replaced: renaming over /dev/full, say, would put
  // a file in the device's place.
  if (exists && !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
    return Create(target, followLinks);

  const std::string folder = FolderOf(target);
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string temporary = NewTemporaryName(folder);
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return std::nullopt;
    }
    // The new file keeps the permissions of the one it replaces.
    if (S_ISREG(existing.st_mode)) ::fchmod(fd, existing.st_mode & 07777);
    return OutputFile(fd, std::move(target), std::move(temporary));
  }
  return std::nullopt;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      failed_(other.failed_),
      createdEmpty_(other.createdEmpty_),
      end_(other.end_),
      target_(std::move(other.target_)),
      temporary_(std::exchange(other.temporary_, std::string())) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(Fd(handle_));
    discard();
    handle_ = std::exchange(other.handle_, -1);
    failed_ = other.failed_;
    createdEmpty_ = other.createdEmpty_;
    end_ = other.end_;
    target_ = std::move(other.target_);
    temporary_ = std::exchange(other.temporary_, std::string());
  }
  return *this;
}

OutputFile::~OutputFile() {
  if (handle_ >= 0) ::close(Fd(handle_));
  discard();
}

bool OutputFile::writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(Fd(handle_), bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  wroteUpTo(offset + bytes.size());
  return true;
}

bool OutputFile::resize(std::uint64_t length) {
  // Setting the length it has would still cost a journalled inode update per file.
  if (createdEmpty_ && length == end_) return !failed_;
  if (::ftruncate(Fd(handle_), static_cast<off_t>(length)) != 0) failed_ = true;
  if (!failed_) end_ = length;
  return !failed_;
}

bool OutputFile::closeHandle() {
  if (handle_ < 0) return false;
  if (::close(Fd(std::exchange(handle_, -1))) != 0) failed_ = true;
  return !failed_;
}

bool OutputFile::rename(bool replaceExisting) {
  if (temporary_.empty()) return true;
  const bool renamed = replaceExisting ? ::rename(temporary_.c_str(), target_.c_str()) == 0
                                       : RenameNoReplace(temporary_, target_);
  if (!renamed) {
    discard();
    return false;
  }
  temporary_.clear();
  return true;
}

void OutputFile::discard() {
  if (!temporary_.empty()) ::unlink(std::exchange(temporary_, std::string()).c_str());
}

}  // namespace brindle::output
