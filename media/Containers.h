// Opening whatever holds a disc: the container is found from the file's content (magic, sync
// pattern, sheet keywords, size), never from its name alone.
#pragma once

#include <memory>
#include <string>

#include "media/BlockDevice.h"

namespace brindle::media {

// The block device of the disc in path: a plain 2048-byte image, raw 2352/2448-byte sectors, a
// CUE sheet (or the BIN of a one-track sheet), or a CHD file. Nothing, with error set, when the
// file cannot be read or the container is damaged or not supported.
std::unique_ptr<BlockDevice> OpenContainer(const std::string& path, MediaError& error);

}  // namespace brindle::media
