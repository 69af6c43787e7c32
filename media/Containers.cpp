#include "media/Containers.h"

#include "media/PlainImage.h"

namespace brindle::media {

std::unique_ptr<BlockDevice> OpenContainer(const std::string& path, MediaError& error) {
  return PlainImage::Open(path, error);
}

}  // namespace brindle::media
