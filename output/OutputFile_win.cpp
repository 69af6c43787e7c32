// Output files on Windows, through the Win32 file API with UTF-16 paths.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "output/OutputFile.h"

namespace brindle::output {
namespace {

HANDLE Native(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}
std::intptr_t Stored(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

void Close(std::intptr_t handle) {
  if (Native(handle) != INVALID_HANDLE_VALUE) CloseHandle(Native(handle));
}

constexpr DWORD kMaxIo = 1u << 30;

}  // namespace

std::optional<OutputFile> OutputFile::Create(const std::string& path, bool followLinks) {
  const std::wstring wide = media::WidePath(path);
  if (wide.empty()) return std::nullopt;
  if (!followLinks) {
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      return std::nullopt;
  }
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  return OutputFile(Stored(file));
}

std::optional<OutputFile> OutputFile::CreateNew(const std::string& path) {
  const std::wstring wide = media::WidePath(path);
  if (wide.empty()) return std::nullopt;
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  return OutputFile(Stored(file));
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, Stored(INVALID_HANDLE_VALUE))), failed_(other.failed_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    Close(handle_);
    handle_ = std::exchange(other.handle_, Stored(INVALID_HANDLE_VALUE));
    failed_ = other.failed_;
  }
  return *this;
}

OutputFile::~OutputFile() {
  Close(handle_);
}

bool OutputFile::writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    OVERLAPPED at = At(offset + done);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, kMaxIo));
    DWORD wrote = 0;
    if (!WriteFile(Native(handle_), bytes.data() + done, want, &wrote, &at) || wrote == 0) {
      failed_ = true;
      return false;
    }
    done += wrote;
  }
  return true;
}

bool OutputFile::resize(std::uint64_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (!SetFileInformationByHandle(Native(handle_), FileEndOfFileInfo, &end, sizeof end))
    failed_ = true;
  return !failed_;
}

bool OutputFile::close() {
  if (Native(handle_) == INVALID_HANDLE_VALUE) return false;
  if (!CloseHandle(Native(std::exchange(handle_, Stored(INVALID_HANDLE_VALUE))))) failed_ = true;
  return !failed_;
}

}  // namespace brindle::output
