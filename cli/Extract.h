// Copying entries off the whole disc: extract -r (the tree below a directory into folders) and
// get (one entry), each block from the first copy that reads good.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Disc.h"
#include "cli/Progress.h"
#include "opera/EntryReader.h"

namespace brindle::cli {

// Writes the tree below the directory reached through dirs into outDir. Unsafe names are skipped
// and reported, names the host would merge are kept with a suffix, a failed entry does not stop
// the rest. Returns the exit status: 0 only when every entry was written complete. With pictures,
// every picture file (banner, IMAG, CEL) also gets NAME.png beside it.
int ExtractRecursive(const Disc& disc, const std::string& outDir,
                     const std::vector<std::string>& dirs, Reporter& reporter,
                     bool pictures = false);

// Writes the entry at path to outFile (replacing it only once the new content is complete).
int GetEntry(const Disc& disc, const std::string& path, const std::string& outFile,
             Reporter& reporter);

// The name a file whose blocks could not all be read is written under.
std::string DamagedName(const std::string& name);

// One line per copy that stood in for blocks the first copy could not give, as runs of blocks.
std::vector<std::string> RecoveredLines(const std::string& shownPath, const opera::Entry& entry,
                                        const opera::ReadReport& report);

// What is missing of an entry: the blocks no copy could give, as runs, and the blocks from
// firstPast to claimedBlocks - 1 that lie past the end of the disc. Empty when nothing is.
std::string DamagedText(const opera::ReadReport& report, std::uint64_t firstPast,
                        std::uint64_t claimedBlocks);

// Blocks that hold bytes bytes (the last one partly).
constexpr std::uint64_t BlocksHolding(std::uint64_t bytes) {
  return (bytes + media::kBlockSize - 1) / media::kBlockSize;
}

// The entry's bytes that lie on the disc in some copy: all it claims, or less when it reaches
// past the end of the disc.
std::uint64_t BytesOnDisc(const media::BlockDevice& device, const opera::Entry& entry);

}  // namespace brindle::cli

namespace brindle::cli {

// Writes the volume's blocks, from block 0 to its last, as a plain 2048-byte image at outFile
// (never over the input). Unreadable blocks are written as zeros and listed; exit status 1 then.
int ConvertToImage(const Disc& disc, const std::string& inputPath, const std::string& outFile,
                   Reporter& reporter);

}  // namespace brindle::cli
