#include "reader/Extract.h"

#include <algorithm>
#include <new>
#include <vector>

#include "opera/Format.h"
#include "reader/BlockSource.h"

namespace brindle::reader {
namespace {

// The by-hand copy goes through a buffer of this size, so memory stays flat for any entry.
constexpr std::uint64_t kCopyChunk = 1u << 20;

// Saving an entry over the image it comes from: creating the file would empty the image first,
// so the entry is read whole before the file is replaced.
bool ReplaceImageWithEntry(const media::ImageFile& image, std::uint64_t offset,
                           std::uint64_t inside, std::uint64_t total, const std::string& targetPath,
                           bool followLinks) {
  std::vector<std::uint8_t> entry;
  try {
    entry.assign(static_cast<std::size_t>(total), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const auto got =
      image.readSome(offset, std::span(entry.data(), static_cast<std::size_t>(inside)));
  if (!got) return false;
  auto out = output::OutputFile::Create(targetPath, followLinks);
  if (!out || !out->writeAt(0, entry)) return false;
  return out->close();
}

}  // namespace

bool ExtractEntry(const media::ImageFile& image, std::int32_t startBlock, std::int32_t byteCount,
                  const std::string& targetPath, bool followLinks, CopyMethod method,
                  const StopRequest& stop) {
  if (startBlock < 0 || startBlock >= opera::kImageBlockLimit || byteCount < 0) return false;
  const auto imageSize = image.size();
  if (!imageSize) return false;
  const auto offset = static_cast<std::uint64_t>(startBlock) * media::kBlockSize;
  const auto total = static_cast<std::uint64_t>(byteCount);
  // The part of the entry that lies inside the image; the rest reads as zeros.
  const std::uint64_t inside = offset < *imageSize ? std::min(total, *imageSize - offset) : 0;

  if (image.isSameFile(targetPath))
    return ReplaceImageWithEntry(image, offset, inside, total, targetPath, followLinks);
  // Written beside the target and put in its place only when whole: a failed read keeps the
  // file that was there.
  auto out = output::OutputFile::Replace(targetPath, followLinks);
  if (!out) return false;

  std::uint64_t copied = 0;
  // Page-aligned entries go through the kernel; one that starts 2 KiB into a page copies faster
  // through this process (the kernel's copy splits it page by page).
  if (method == CopyMethod::Fastest && inside > 0 && offset % 4096 == 0) {
    if (output::CopyInKernel(image, offset, *out, 0, inside, copied) == output::KernelCopy::Failed)
      return false;
  }
  if (copied < inside) {
    // One buffer for every entry this thread copies, not one allocated and zeroed per entry.
    thread_local std::vector<std::uint8_t> buffer(kCopyChunk);
    while (copied < inside) {
      if (stop && stop()) return false;
      const auto want =
          static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), inside - copied));
      const auto got = image.readSome(offset + copied, std::span(buffer.data(), want));
      if (!got) return false;
      if (*got == 0) break;  // the image became shorter: the rest is zeros
      if (!out->writeAt(copied, std::span(buffer.data(), *got))) return false;
      copied += *got;
    }
  }
  if ((stop && stop()) || !out->resize(total)) return false;
  return out->close();
}

bool ExtractEntry(const DriveReader& readDrive, std::int32_t startBlock, std::int32_t byteCount,
                  const std::string& targetPath, bool followLinks, bool keepPartial,
                  const StopRequest& stop) {
  if (startBlock < 0 || byteCount < 0) return false;
  auto out = output::OutputFile::Replace(targetPath, followLinks);
  if (!out) return false;

  const std::int64_t blocks = (std::int64_t{byteCount} + kSignedBlockSize - 1) / kSignedBlockSize;
  const std::int64_t lastLength = byteCount - kSignedBlockSize * (blocks - 1);
  bool complete = true;
  std::uint64_t written = 0;
  for (std::int64_t i = 0; i < blocks; ++i) {
    if (stop && stop()) return false;
    const std::int64_t lba = std::int64_t{startBlock} + i;
    if (lba > INT32_MAX) {
      complete = false;
      break;
    }
    const sector::SectorData block = readDrive(static_cast<std::int32_t>(lba), 1);
    if (block.size() < media::kBlockSize) {
      complete = false;  // the reader has told the user; nothing is appended for it
      continue;
    }
    const auto length = static_cast<std::size_t>(i == blocks - 1 ? lastLength : kSignedBlockSize);
    if (!out->writeAt(written, std::span(block.data(), length))) return false;
    written += length;
  }
  // A copy with unreadable blocks keeps what could be read under a new name, but never takes
  // the place of a file that was there.
  if (complete) return out->close();
  if (keepPartial) out->closeUnlessExists();
  return false;
}

}  // namespace brindle::reader
