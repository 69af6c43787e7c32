#include "opera/Extract.h"

#include <algorithm>
#include <new>
#include <vector>

#include "opera/Volume.h"

namespace brindle::opera {
namespace {

// The by-hand copy goes through a buffer of this size, so memory stays flat for any entry.
constexpr std::uint64_t kCopyChunk = 1u << 20;

// Saving an entry over the image it comes from: creating the file would empty the image first,
// so the entry is read whole before the file is replaced.
bool ReplaceImageWithEntry(const ImageFile& image, std::uint64_t offset, std::uint64_t inside,
                           std::uint64_t total, const std::string& targetPath, bool followLinks) {
  std::vector<std::uint8_t> entry;
  try {
    entry.assign(static_cast<std::size_t>(total), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const auto got =
      image.readSome(offset, std::span(entry.data(), static_cast<std::size_t>(inside)));
  if (!got) return false;
  auto out = OutputFile::Create(targetPath, followLinks);
  if (!out || !out->writeAt(0, entry)) return false;
  return out->close();
}

}  // namespace

bool ExtractEntry(const ImageFile& image, std::int32_t startBlock, std::int32_t byteCount,
                  const std::string& targetPath, bool followLinks, CopyMethod method) {
  if (startBlock < 0 || startBlock >= kImageBlockLimit || byteCount < 0) return false;
  const auto imageSize = image.size();
  if (!imageSize) return false;
  const auto offset = static_cast<std::uint64_t>(startBlock) * kBlockSize;
  const auto total = static_cast<std::uint64_t>(byteCount);
  // The part of the entry that lies inside the image; the rest reads as zeros.
  const std::uint64_t inside = offset < *imageSize ? std::min(total, *imageSize - offset) : 0;

  if (image.isSameFile(targetPath))
    return ReplaceImageWithEntry(image, offset, inside, total, targetPath, followLinks);
  auto out = OutputFile::Create(targetPath, followLinks);
  if (!out) return false;

  std::uint64_t copied = 0;
  if (method == CopyMethod::Fastest && inside > 0) {
    if (CopyInKernel(image, offset, *out, 0, inside, copied) == KernelCopy::Failed) return false;
  }
  if (copied < inside) {
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min(kCopyChunk, inside - copied)));
    while (copied < inside) {
      const auto want =
          static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), inside - copied));
      const auto got = image.readSome(offset + copied, std::span(buffer.data(), want));
      if (!got) return false;
      if (*got == 0) break;  // the image became shorter: the rest is zeros
      if (!out->writeAt(copied, std::span(buffer.data(), *got))) return false;
      copied += *got;
    }
  }
  if (!out->resize(total)) return false;
  return out->close();
}

bool ExtractEntry(const DriveReader& readDrive, std::int32_t startBlock, std::int32_t byteCount,
                  const std::string& targetPath, bool followLinks) {
  if (startBlock < 0 || byteCount < 0) return false;
  auto out = OutputFile::Create(targetPath, followLinks);
  if (!out) return false;

  const std::int64_t blocks = (std::int64_t{byteCount} + kBlockSize - 1) / kBlockSize;
  const std::int64_t lastLength = byteCount - kBlockSize * (blocks - 1);
  bool complete = true;
  std::uint64_t written = 0;
  for (std::int64_t i = 0; i < blocks; ++i) {
    const std::int64_t lba = std::int64_t{startBlock} + i;
    if (lba > INT32_MAX) {
      complete = false;
      break;
    }
    const sector::SectorData block = readDrive(static_cast<std::int32_t>(lba), 1);
    if (block.size() < static_cast<std::size_t>(kBlockSize)) {
      complete = false;  // the reader has told the user; nothing is appended for it
      continue;
    }
    const auto length = static_cast<std::size_t>(i == blocks - 1 ? lastLength : kBlockSize);
    if (!out->writeAt(written, std::span(block.data(), length))) return false;
    written += length;
  }
  return out->close() && complete;
}

namespace {

// Windows opens a device, not a file, for these names, whatever the folder or extension.
[[maybe_unused]] bool IsWindowsDeviceName(const std::string& name) {
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" ||
      stem == "CONOUT$")
    return true;
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
         stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

bool IsSafeFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find('\0') != std::string::npos) return false;
#ifdef _WIN32
  // Windows drops trailing dots and spaces, which would turn the name into another one.
  if (name.back() == '.' || name.back() == ' ' || IsWindowsDeviceName(name)) return false;
  return name.find_first_of("/\\:") == std::string::npos;
#else
  return name.find('/') == std::string::npos;
#endif
}

}  // namespace brindle::opera
