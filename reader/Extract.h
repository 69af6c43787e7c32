// Copying one entry's bytes out of the disc into a host file (ExtractEntry), and the rule for
// which entry names may become file names.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "media/ImageFile.h"
#include "output/OutputFile.h"
#include "reader/ReaderWindow.h"

namespace brindle::reader {

// How bytes move from an image to the output file.
enum class CopyMethod {
  Fastest,    // page-aligned entries inside the kernel where it can, the rest by hand
  ReadWrite,  // always through this process
};

// Asked between reads of a copy: true when the user wants it stopped (the copy then fails and its
// new file is removed). An empty one never stops.
using StopRequest = std::function<bool()>;

// Writes the byteCount bytes at block startBlock of the open image to targetPath (created, or
// replaced once the copy is complete: a failed copy leaves an existing file as it was); bytes
// past the image's end are written as zeros. False when the entry cannot be
// addressed (start block at 1,048,576 or more, negative numbers), the image cannot be read or
// the file cannot be created or fully written; nothing is created for an unaddressable entry.
// Saving over the image itself still writes the entry's bytes (they are read before the file is
// replaced).
bool ExtractEntry(const media::ImageFile& image, std::int32_t startBlock, std::int32_t byteCount,
                  const std::string& targetPath, bool followLinks = true,
                  CopyMethod method = CopyMethod::Fastest, const StopRequest& stop = {});

// Writes the entry from the drive: one one-sector read per block, in ascending order, each
// appended as it arrives, the last block cut to the bytes remaining. A block that cannot be read
// appends nothing and the copy goes on; such a shorter file is kept only when no file had its
// name (an existing file is never replaced by an incomplete copy). False when a block could not
// be read or the file could not be created or fully written. keepPartial false: a copy with
// unreadable blocks is always removed (extract-all leaves only whole files under entries' names).
bool ExtractEntry(const DriveReader& readDrive, std::int32_t startBlock, std::int32_t byteCount,
                  const std::string& targetPath, bool followLinks = true, bool keepPartial = true,
                  const StopRequest& stop = {});

}  // namespace brindle::reader
