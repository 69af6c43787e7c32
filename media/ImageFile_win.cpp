// Reading host files on Windows, through the Win32 file API with UTF-16 paths.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "media/ImageFile.h"

namespace brindle::media {
namespace {

HANDLE Native(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}
std::intptr_t Stored(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}

}  // namespace

std::wstring WidePath(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                      wide.data(), length);
  return wide;
}

namespace {

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

std::optional<ImageFile> ImageFile::Open(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return std::nullopt;
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  return ImageFile(Stored(file));
}

ImageFile::ImageFile(ImageFile&& other) noexcept
    : handle_(std::exchange(other.handle_, Stored(INVALID_HANDLE_VALUE))) {}

ImageFile& ImageFile::operator=(ImageFile&& other) noexcept {
  if (this != &other) {
    Close(handle_);
    handle_ = std::exchange(other.handle_, Stored(INVALID_HANDLE_VALUE));
  }
  return *this;
}

ImageFile::~ImageFile() {
  Close(handle_);
}

std::optional<std::size_t> ImageFile::readSome(std::uint64_t offset,
                                               std::span<std::uint8_t> out) const {
  return ReadSomeAt(handle_, offset, out);
}

std::optional<std::size_t> ReadSomeAt(std::intptr_t handle, std::uint64_t offset,
                                      std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    OVERLAPPED at = At(offset + done);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, kMaxIo));
    DWORD got = 0;
    if (!ReadFile(Native(handle), out.data() + done, want, &got, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return std::nullopt;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

bool ImageFile::readExact(std::uint64_t offset, std::span<std::uint8_t> out) const {
  const auto n = readSome(offset, out);
  return n && *n == out.size();
}

std::optional<std::uint64_t> ImageFile::size() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(Native(handle_), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool ImageFile::isSameFile(const std::string& path) const {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return false;
  const HANDLE other =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a{};
  BY_HANDLE_FILE_INFORMATION b{};
  const bool same = GetFileInformationByHandle(Native(handle_), &a) &&
                    GetFileInformationByHandle(other, &b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                    a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(other);
  return same;
}

namespace {

// The attributes of the file path names (links followed), when it is a file on a disk.
std::optional<DWORD> DiskFileAttributes(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return std::nullopt;
  // Opening the file follows links to what they name; its attributes then decide.
  const HANDLE file =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(file, &info) && GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  if (!known) return std::nullopt;
  return info.dwFileAttributes;
}

}  // namespace

bool IsOrdinaryFile(const std::string& path) {
  constexpr DWORD kNotOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
  const auto attributes = DiskFileAttributes(path);
  return attributes && (*attributes & kNotOrdinary) == 0;
}

bool IsRegularFile(const std::string& path) {
  constexpr DWORD kNotFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
  const auto attributes = DiskFileAttributes(path);
  return attributes && (*attributes & kNotFile) == 0;
}

}  // namespace brindle::media
