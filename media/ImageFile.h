// Host files read by the media layer: a disc image or container file opened read-only (closed
// when the object goes), and the existence check of the window's open dialog. Paths are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace brindle::media {

// A disc image opened read-only; closed when the object goes.
class ImageFile {
 public:
  // Nothing when the file cannot be opened for reading.
  static std::optional<ImageFile> Open(const std::string& path);

  ImageFile(ImageFile&& other) noexcept;
  ImageFile& operator=(ImageFile&& other) noexcept;
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;
  ~ImageFile();

  // Exactly out.size() bytes at offset; false when the image ends first or a read fails.
  bool readExact(std::uint64_t offset, std::span<std::uint8_t> out) const;
  // Up to out.size() bytes at offset: the count read (fewer only where the image ends), or
  // nothing when a read fails.
  std::optional<std::size_t> readSome(std::uint64_t offset, std::span<std::uint8_t> out) const;
  // The image's current length in bytes; nothing when it cannot be found.
  std::optional<std::uint64_t> size() const;
  // True when path names this very file (through any name or link).
  bool isSameFile(const std::string& path) const;

  std::intptr_t nativeHandle() const { return handle_; }

 private:
  explicit ImageFile(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = -1;
};

// Up to out.size() bytes at offset of an open file given by its native handle (a FileRange's):
// the count read (fewer only where the file ends), or nothing when a read fails.
std::optional<std::size_t> ReadSomeAt(std::intptr_t handle, std::uint64_t offset,
                                      std::span<std::uint8_t> out);

// True when path names an existing ordinary file: a regular file (links followed) that is not
// hidden. Directories, devices, pipes, sockets and hidden files do not count.
bool IsOrdinaryFile(const std::string& path);
// True when path names an existing regular file (links followed), hidden or not.
bool IsRegularFile(const std::string& path);

#ifdef _WIN32
// The UTF-16 form of a UTF-8 path for the wide Win32 file calls; empty when it is not UTF-8.
std::wstring WidePath(const std::string& utf8);
#endif

}  // namespace brindle::media
