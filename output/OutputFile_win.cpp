// Output files on Windows, through the Win32 file API with UTF-16 paths.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <random>
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

// The folder part of a UTF-8 path, with its separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A hidden name in folder that no other run, thread or earlier attempt uses.
std::string NewTemporaryName(const std::string& folder) {
  static std::atomic<unsigned> counter{0};
  static const unsigned salt = std::random_device{}();
  return folder + ".brindle-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(salt) +
         "-" + std::to_string(counter.fetch_add(1)) + ".part";
}

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

std::optional<OutputFile> OutputFile::Replace(const std::string& path, bool followLinks) {
  const std::wstring wide = media::WidePath(path);
  if (wide.empty() || path.back() == '/' || path.back() == '\\') return std::nullopt;
  std::string target = path;
  // A device is written, not replaced.
  if (path.starts_with("\\\\.\\") || path.starts_with("//./")) return Create(path, followLinks);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return Create(path, followLinks);
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      if (!followLinks) return std::nullopt;
      // The link stays; the file it names is the one replaced.
      const HANDLE link = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (link == INVALID_HANDLE_VALUE) return std::nullopt;
      wchar_t resolved[32768];
      const DWORD length = GetFinalPathNameByHandleW(link, resolved, 32768, FILE_NAME_NORMALIZED);
      CloseHandle(link);
      if (length == 0 || length >= 32768) return std::nullopt;
      const int bytes = WideCharToMultiByte(CP_UTF8, 0, resolved, static_cast<int>(length), nullptr,
                                            0, nullptr, nullptr);
      target.assign(static_cast<std::size_t>(bytes), '\0');
      WideCharToMultiByte(CP_UTF8, 0, resolved, static_cast<int>(length), target.data(), bytes,
                          nullptr, nullptr);
    }
  }
  const std::string folder = FolderOf(target);
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string temporary = NewTemporaryName(folder);
    const HANDLE file =
        CreateFileW(media::WidePath(temporary).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return std::nullopt;
    }
    return OutputFile(Stored(file), std::move(target), std::move(temporary));
  }
  return std::nullopt;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, Stored(INVALID_HANDLE_VALUE))),
      failed_(other.failed_),
      createdEmpty_(other.createdEmpty_),
      end_(other.end_),
      target_(std::move(other.target_)),
      temporary_(std::exchange(other.temporary_, std::string())) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    Close(std::exchange(handle_, Stored(INVALID_HANDLE_VALUE)));
    discard();
    handle_ = std::exchange(other.handle_, Stored(INVALID_HANDLE_VALUE));
    failed_ = other.failed_;
    createdEmpty_ = other.createdEmpty_;
    end_ = other.end_;
    target_ = std::move(other.target_);
    temporary_ = std::exchange(other.temporary_, std::string());
  }
  return *this;
}

OutputFile::~OutputFile() {
  Close(std::exchange(handle_, Stored(INVALID_HANDLE_VALUE)));
  discard();
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

bool OutputFile::closeHandle() {
  if (Native(handle_) == INVALID_HANDLE_VALUE) return false;
  if (!CloseHandle(Native(std::exchange(handle_, Stored(INVALID_HANDLE_VALUE))))) failed_ = true;
  return !failed_;
}

bool OutputFile::rename(bool replaceExisting) {
  if (temporary_.empty()) return true;
  const DWORD flags = replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0;
  if (!MoveFileExW(media::WidePath(temporary_).c_str(), media::WidePath(target_).c_str(), flags)) {
    discard();
    return false;
  }
  temporary_.clear();
  return true;
}

void OutputFile::discard() {
  if (!temporary_.empty())
    DeleteFileW(media::WidePath(std::exchange(temporary_, std::string())).c_str());
}

}  // namespace brindle::output
