// Reading host files on Linux and other POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "media/ImageFile.h"

namespace brindle::media {
namespace {

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

std::optional<ImageFile> ImageFile::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  return ImageFile(fd);
}

ImageFile::ImageFile(ImageFile&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

ImageFile& ImageFile::operator=(ImageFile&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(Fd(handle_));
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

ImageFile::~ImageFile() {
  if (handle_ >= 0) ::close(Fd(handle_));
}

std::optional<std::size_t> ImageFile::readSome(std::uint64_t offset,
                                               std::span<std::uint8_t> out) const {
  return ReadSomeAt(handle_, offset, out);
}

std::optional<std::size_t> ReadSomeAt(std::intptr_t handle, std::uint64_t offset,
                                      std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::pread(Fd(handle), out.data() + done, out.size() - done,
                              static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool ImageFile::readExact(std::uint64_t offset, std::span<std::uint8_t> out) const {
  const auto n = readSome(offset, out);
  return n && *n == out.size();
}

std::optional<std::uint64_t> ImageFile::size() const {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool ImageFile::isSameFile(const std::string& path) const {
  struct stat mine {};
  struct stat other {};
  return ::fstat(Fd(handle_), &mine) == 0 && ::stat(path.c_str(), &other) == 0 &&
         mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}

bool IsOrdinaryFile(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name[0] == '.') return false;  // hidden
  return IsRegularFile(path);
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace brindle::media
