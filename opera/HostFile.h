// The host's files as the reader uses them: a disc image opened read-only for one action, an
// output file created or replaced for one entry, and the existence check of the open dialog.
// Paths are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace brindle::opera {

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

// An output file, created empty (replacing any file of that name) and written at offsets.
class OutputFile {
 public:
  // followLinks false: an existing symbolic link of that name is not followed, and the
  // creation fails instead. Nothing when the host refuses the file.
  static std::optional<OutputFile> Create(const std::string& path, bool followLinks = true);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Closes the file if close() was not called.
  ~OutputFile();

  // All of bytes at offset; false when not all could be written.
  bool writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  // Sets the length; a longer file reads as zero bytes past the old end.
  bool resize(std::uint64_t length);
  // Closes the file; false when this or an earlier step failed.
  bool close();

  std::intptr_t nativeHandle() const { return handle_; }

 private:
  explicit OutputFile(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = -1;
  bool failed_ = false;
};

enum class KernelCopy { Done, Unsupported, Failed };

// Copies length bytes at offset of the image to outOffset of out without passing them through
// this process, stopping early where the image ends. copied tells how many bytes arrived, also
// when the result is Unsupported (the kernel refused; copy the rest by hand) or Failed.
KernelCopy CopyInKernel(const ImageFile& image, std::uint64_t offset, OutputFile& out,
                        std::uint64_t outOffset, std::uint64_t length, std::uint64_t& copied);

// True when path names an existing ordinary file: a regular file (links followed) that is not
// hidden. Directories, devices, pipes, sockets and hidden files do not count.
bool IsOrdinaryFile(const std::string& path);

}  // namespace brindle::opera
