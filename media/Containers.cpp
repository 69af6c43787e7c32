#include "media/Containers.h"

#include <vector>

#include "media/Chd.h"
#include "media/CueImage.h"
#include "media/CueSheet.h"
#include "media/ImageFile.h"
#include "media/PlainImage.h"
#include "media/RawImage.h"

namespace brindle::media {
namespace {

constexpr std::size_t kHeadBytes = 4096;  // enough for a magic number or a sheet's first lines

}  // namespace

std::unique_ptr<BlockDevice> OpenContainer(const std::string& path, MediaError& error) {
  auto file = ImageFile::Open(path);
  const auto size = file ? file->size() : std::nullopt;
  if (!size) {
    error.message = "\"" + path + "\" could not be opened for reading.";
    return nullptr;
  }
  std::vector<std::uint8_t> head(kHeadBytes);
  const auto got = file->readSome(0, head);
  if (!got) {
    error.message = "\"" + path + "\" could not be read.";
    return nullptr;
  }
  head.resize(*got);

  // The file is opened once here and handed to its container.
  if (HasChdSignature(head)) return OpenChd(std::move(*file), path, error);
  if (LooksLikeCueSheet(head, *size)) return OpenCueImage(std::move(*file), path, error);
  if (const auto track = DetectRawSectors(*file)) {
    return std::make_unique<RawImage>(std::move(*file), path, *track);
  }
  return std::make_unique<PlainImage>(std::move(*file), path);
}

}  // namespace brindle::media
