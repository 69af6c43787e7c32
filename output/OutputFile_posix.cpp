// Output files on Linux and other POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "output/OutputFile.h"

namespace brindle::output {
namespace {

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
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
  return OutputFile(fd);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), failed_(other.failed_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(Fd(handle_));
    handle_ = std::exchange(other.handle_, -1);
    failed_ = other.failed_;
  }
  return *this;
}

OutputFile::~OutputFile() {
  if (handle_ >= 0) ::close(Fd(handle_));
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
  return true;
}

bool OutputFile::resize(std::uint64_t length) {
  if (::ftruncate(Fd(handle_), static_cast<off_t>(length)) != 0) failed_ = true;
  return !failed_;
}

bool OutputFile::close() {
  if (handle_ < 0) return false;
  if (::close(Fd(std::exchange(handle_, -1))) != 0) failed_ = true;
  return !failed_;
}

}  // namespace brindle::output
