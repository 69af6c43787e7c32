// Where extracted bytes land: an output file created or replaced for one entry, and the kernel's
// range copy from an image into it. Paths are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "media/ImageFile.h"

namespace brindle::output {

// An output file, written at offsets: either created empty in place (any file of that name is
// emptied at once), or written as a new file beside its name that takes the name only once it
// is complete, so that a failed copy never costs the file it was to replace.
class OutputFile {
 public:
  // followLinks false: an existing symbolic link of that name is not followed, and the
  // creation fails instead. Nothing when the host refuses the file.
  static std::optional<OutputFile> Create(const std::string& path, bool followLinks = true);
  // A file that must not exist yet (nor a link of that name); nothing when it does.
  static std::optional<OutputFile> CreateNew(const std::string& path);
  // A new, hidden file in path's folder that replaces path when close() succeeds, and is removed
  // when the copy fails or the object goes without a close. With followLinks, a symbolic link of
  // that name is followed (its target is replaced); without, it fails the creation.
  static std::optional<OutputFile> Replace(const std::string& path, bool followLinks = true);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Closes the file if close() was not called.
  ~OutputFile();

  // All of bytes at offset; false when not all could be written.
  bool writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  // Sets the length; a longer file reads as zero bytes past the old end. A file this object
  // created empty whose writes already end there is left as it is (nothing to change).
  bool resize(std::uint64_t length);
  // Tells the file that bytes up to end were written to its handle by other means (the
  // kernel's range copy), so that resize knows its length.
  void wroteUpTo(std::uint64_t end) { end_ = end > end_ ? end : end_; }
  // Closes the file; false when this or an earlier step failed. A replacing file then takes
  // its name, or is removed when a step failed.
  bool close();
  // For a replacing file whose content is known to be incomplete (some bytes could not be
  // read): it takes its name only when no file has that name, so what could be read is kept but
  // never replaces an older, whole file; otherwise it is removed. True when it took the name.
  // A file created in place is simply closed.
  bool closeUnlessExists();

  std::intptr_t nativeHandle() const { return handle_; }

 private:
  explicit OutputFile(std::intptr_t handle, bool createdEmpty = false)
      : handle_(handle), createdEmpty_(createdEmpty) {}
  OutputFile(std::intptr_t handle, std::string target, std::string temporary)
      : handle_(handle),
        createdEmpty_(true),
        target_(std::move(target)),
        temporary_(std::move(temporary)) {}
  // Closes the handle; false when that or an earlier step failed.
  bool closeHandle();
  // Gives the new file its name (replacing what has it, or only when nothing has it); removes
  // it when that fails. Nothing to do for a file created in place.
  bool rename(bool replaceExisting);
  // Removes the new file of a replacing file that will not take its name.
  void discard();

  std::intptr_t handle_ = -1;
  bool failed_ = false;
  // Created new and empty here (not an existing file or device opened): its length is end_.
  bool createdEmpty_ = false;
  std::uint64_t end_ = 0;  // the end of the furthest write
  std::string target_;     // replacing file: the name it takes (UTF-8)
  std::string temporary_;  // replacing file: where it is written until then; "" once settled
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
