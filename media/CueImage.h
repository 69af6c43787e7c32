// The block device of a CUE sheet: the blocks of its first data track, where the Opera volume
// is, and the raw view of every track of the sheet.
#pragma once

#include <memory>
#include <string>

#include "media/BlockDevice.h"
#include "media/ImageFile.h"

namespace brindle::media {

// Reads and checks the sheet in file (opened from path; its FILE names are looked for beside
// it) and opens the files of its tracks; nothing, with error naming the sheet and line, when the
// sheet or any of its files is unusable.
std::unique_ptr<BlockDevice> OpenCueImage(ImageFile sheet, const std::string& path,
                                          MediaError& error);

}  // namespace brindle::media
