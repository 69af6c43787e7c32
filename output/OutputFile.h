// Where extracted bytes land: an output file created or replaced for one entry, and the kernel's
// range copy from an image into it. Paths are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "media/ImageFile.h"

namespace brindle::output {

// An output file, created empty (replacing any file of that name) and written at offsets.
class OutputFile {
 public:
  // followLinks false: an existing symbolic link of that name is not followed, and the
  // creation fails instead. Nothing when the host refuses the file.
  static std::optional<OutputFile> Create(const std::string& path, bool followLinks = true);
  // A file that must not exist yet (nor a link of that name); nothing when it does.
  static std::optional<OutputFile> CreateNew(const std::string& path);

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
KernelCopy CopyInKernel(const media::ImageFile& image, std::uint64_t offset, OutputFile& out,
                        std::uint64_t outOffset, std::uint64_t length, std::uint64_t& copied);
// The same from any open file given by its native handle (a container's file range).
KernelCopy CopyInKernel(std::intptr_t in, std::uint64_t offset, OutputFile& out,
                        std::uint64_t outOffset, std::uint64_t length, std::uint64_t& copied);

}  // namespace brindle::output
