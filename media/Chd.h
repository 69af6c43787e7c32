// CHD version 5 files of CDs (what chdman createcd writes): the blocks of the disc's first data
// track, decompressed a hunk at a time. Every hunk's CRC16 is checked: a hunk that fails it or
// does not decode makes its blocks FailedCheck; one whose bytes lie past the file's end makes
// them Unreadable. An uncompressed file's hunks carry no CRC, so there each raw data sector is
// checked as a raw image's is (sync, header address, EDC). Files that need a parent CHD, or a codec
// this build lacks, are refused.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "media/BlockDevice.h"
#include "media/ImageFile.h"

namespace brindle::media {

// True when bytes (the start of a file) begin with the CHD signature.
bool HasChdSignature(std::span<const std::uint8_t> bytes);

// The CHD file in file, opened from path; nothing, with error naming the file and saying why, when
// it cannot be read, is damaged, is not a CD, needs a parent, or needs a codec this build cannot
// decode.
std::unique_ptr<BlockDevice> OpenChd(ImageFile file, const std::string& path, MediaError& error);

// The same over a CHD file's bytes already in memory; name stands for the file in messages.
std::unique_ptr<BlockDevice> OpenChdBytes(std::vector<std::uint8_t> bytes, const std::string& name,
                                          MediaError& error);

}  // namespace brindle::media
