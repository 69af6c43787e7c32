// Decoding one CHD hunk: the general stream decoders (Deflate, LZMA, zstd, FLAC) over the
// libraries this build found, the 8-bit Huffman coder of huff hunks, and the CD codecs built on
// them (cdzl, cdlz, cdzs, cdfl), which
// store a hunk's sectors and subcode apart and may leave out each sector's sync and ECC bytes.
// None of these is thread-safe: one device serialises its use of its codecs.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace brindle::media::chd {

// A compressed stream that must decode to exactly out.size() bytes.
class StreamDecoder {
 public:
  virtual ~StreamDecoder() = default;
  // False when in is damaged or decodes to more or fewer bytes than out holds.
  virtual bool decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) = 0;
};

// Headerless FLAC of 16-bit stereo at 44.1 kHz, as CD audio is stored.
class AudioDecoder {
 public:
  virtual ~AudioDecoder() = default;
  // Fills out with samples (left, right, ...), big-endian unless littleEndian; blockSize is the
  // writer's FLAC block size in samples. consumed gets the number of input bytes the FLAC frames
  // took. False when in is damaged or holds too few samples.
  virtual bool decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                      std::uint32_t blockSize, bool littleEndian, std::size_t& consumed) = 0;
};

// Each returns nothing when this build has no library for it.
std::unique_ptr<StreamDecoder> MakeDeflateDecoder();
std::unique_ptr<StreamDecoder> MakeLzmaDecoder(std::uint32_t hunkBytes);
std::unique_ptr<StreamDecoder> MakeZstdDecoder();
std::unique_ptr<AudioDecoder> MakeFlacDecoder();
// The huff codec's bytes: a Huffman code of the 256 byte values, itself Huffman coded, then the
// coded bytes. Always available (no library).
std::unique_ptr<StreamDecoder> MakeHuffmanDecoder();

// Decodes a whole hunk stored by one codec.
class HunkCodec {
 public:
  virtual ~HunkCodec() = default;
  // False when in does not decode to exactly out.size() bytes (a whole hunk).
  virtual bool decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) = 0;
};

// The decoder for a codec tag; nothing, with why ending a sentence about the file, when the tag
// is unknown or this build lacks its library.
std::unique_ptr<HunkCodec> MakeHunkCodec(std::uint32_t tag, std::uint32_t hunkBytes,
                                         std::string& why);

// Puts back the sync pattern and the P and Q ECC bytes of a 2352-byte sector whose header and
// data are in place (the CD codecs leave them out where they could be rebuilt).
void RebuildSyncAndEcc(std::span<std::uint8_t, 2352> sector);

}  // namespace brindle::media::chd
