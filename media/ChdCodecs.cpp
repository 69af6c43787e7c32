#include "media/ChdCodecs.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "media/ChdFormat.h"

namespace brindle::media::chd {
namespace {

// Codecs that compress the whole hunk as one stream (chdman uses them for CDs only when asked).
class WholeHunkCodec final : public HunkCodec {
 public:
  explicit WholeHunkCodec(std::unique_ptr<StreamDecoder> stream) : stream_(std::move(stream)) {}
  bool decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override {
    return stream_->decode(in, out);
  }

 private:
  std::unique_ptr<StreamDecoder> stream_;
};

// Puts a hunk back together from its sectors (2352 bytes each, one after another) and its
// subcode (96 bytes each), both decoded apart.
void Interleave(std::span<const std::uint8_t> sectors, std::span<const std::uint8_t> subcode,
                std::span<std::uint8_t> out) {
  const std::size_t frames = out.size() / kFrameBytes;
  for (std::size_t f = 0; f < frames; ++f) {
    std::memcpy(out.data() + f * kFrameBytes, sectors.data() + f * kSectorBytes, kSectorBytes);
    std::memcpy(out.data() + f * kFrameBytes + kSectorBytes, subcode.data() + f * kSubcodeBytes,
                kSubcodeBytes);
  }
}

// cdzl, cdlz, cdzs: a bit per frame saying its sync and ECC were left out, the length of the
// sector stream (2 bytes, 3 for hunks of 64 KiB and more), the sector stream, the subcode stream.
class CdCodec final : public HunkCodec {
 public:
  CdCodec(std::unique_ptr<StreamDecoder> sectors, std::unique_ptr<StreamDecoder> subcode,
          std::uint32_t hunkBytes)
      : sectors_(std::move(sectors)), subcode_(std::move(subcode)), buffer_(hunkBytes) {}

  bool decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override {
    const std::size_t frames = out.size() / kFrameBytes;
    if (frames == 0 || out.size() != buffer_.size()) return false;
    const std::size_t flagBytes = (frames + 7) / 8;
    const std::size_t lengthBytes = out.size() < 65536 ? 2 : 3;
    if (in.size() < flagBytes + lengthBytes) return false;
    std::size_t sectorLength = 0;
    for (std::size_t i = 0; i < lengthBytes; ++i)
      sectorLength = sectorLength << 8 | in[flagBytes + i];
    const auto rest = in.subspan(flagBytes + lengthBytes);
    if (sectorLength > rest.size()) return false;
    const auto sectorOut = std::span(buffer_).first(frames * kSectorBytes);
    const auto subcodeOut = std::span(buffer_).subspan(frames * kSectorBytes);
    if (!sectors_->decode(rest.first(sectorLength), sectorOut) ||
        !subcode_->decode(rest.subspan(sectorLength), subcodeOut))
      return false;
    Interleave(sectorOut, subcodeOut, out);
    for (std::size_t f = 0; f < frames; ++f) {
      if (in[f / 8] & (1u << (f % 8)))
        RebuildSyncAndEcc(out.subspan(f * kFrameBytes).first<kSectorBytes>());
    }
    return true;
  }

 private:
  std::unique_ptr<StreamDecoder> sectors_;
  std::unique_ptr<StreamDecoder> subcode_;
  std::vector<std::uint8_t> buffer_;
};

// The writers' FLAC block size for a hunk of `bytes` bytes of 16-bit stereo samples: all of them,
// halved until it is at most `largest` samples.
std::uint32_t BlockSize(std::size_t bytes, std::uint32_t largest) {
  auto samples = static_cast<std::uint32_t>(bytes / 4);
  while (samples > largest) samples /= 2;
  return samples;
}

// flac: the whole hunk as FLAC audio, after one byte saying the samples' byte order ('L' little,
// 'B' big endian), with blocks of at most 2048 samples.
class FlacCodec final : public HunkCodec {
 public:
  explicit FlacCodec(std::unique_ptr<AudioDecoder> audio) : audio_(std::move(audio)) {}
  bool decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override {
    if (in.empty() || (in[0] != 'L' && in[0] != 'B')) return false;
    std::size_t consumed = 0;
    return audio_->decode(in.subspan(1), out, BlockSize(out.size(), 2048), in[0] == 'L', consumed);
  }

 private:
  std::unique_ptr<AudioDecoder> audio_;
};

// cdfl: the sectors as FLAC audio (blocks of at most 2352 samples, one sector's worth), then the
// subcode as Deflate right where the FLAC frames end.
class CdFlacCodec final : public HunkCodec {
 public:
  CdFlacCodec(std::unique_ptr<AudioDecoder> audio, std::unique_ptr<StreamDecoder> subcode,
              std::uint32_t hunkBytes)
      : audio_(std::move(audio)), subcode_(std::move(subcode)), buffer_(hunkBytes) {}

  bool decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override {
    const std::size_t frames = out.size() / kFrameBytes;
    if (frames == 0 || out.size() != buffer_.size()) return false;
    const auto sectorOut = std::span(buffer_).first(frames * kSectorBytes);
    const auto subcodeOut = std::span(buffer_).subspan(frames * kSectorBytes);
    std::size_t consumed = 0;
    if (!audio_->decode(in, sectorOut, BlockSize(sectorOut.size(), kSectorBytes), false,
                        consumed) ||
        consumed > in.size() || !subcode_->decode(in.subspan(consumed), subcodeOut))
      return false;
    Interleave(sectorOut, subcodeOut, out);
    return true;
  }

 private:
  std::unique_ptr<AudioDecoder> audio_;
  std::unique_ptr<StreamDecoder> subcode_;
  std::vector<std::uint8_t> buffer_;
};

std::string Missing(std::uint32_t tag, const char* library) {
  return "uses " + TagText(tag) + " (" + library + ") hunks, and this build cannot read " +
         TagText(tag) + " (" + library + ") hunks.";
}

}  // namespace

std::unique_ptr<HunkCodec> MakeHunkCodec(std::uint32_t tag, std::uint32_t hunkBytes,
                                         std::string& why) {
  const bool cd =
      tag == Tag("cdzl") || tag == Tag("cdlz") || tag == Tag("cdzs") || tag == Tag("cdfl");
  if (cd && (hunkBytes % kFrameBytes != 0 || hunkBytes == 0)) {
    why = "has CD hunks that are not whole CD frames.";
    return nullptr;
  }
  const std::uint32_t sectorBytes = hunkBytes / kFrameBytes * kSectorBytes;
  auto deflate = [] { return MakeDeflateDecoder(); };
  if (tag == Tag("cdzl") || tag == Tag("zlib")) {
    auto a = deflate(), b = deflate();
    if (!a || !b) return why = Missing(tag, "Deflate"), nullptr;
    if (tag == Tag("zlib")) return std::make_unique<WholeHunkCodec>(std::move(a));
    return std::make_unique<CdCodec>(std::move(a), std::move(b), hunkBytes);
  }
  if (tag == Tag("cdlz") || tag == Tag("lzma")) {
    auto a = MakeLzmaDecoder(cd ? sectorBytes : hunkBytes);
    if (!a) return why = Missing(tag, "LZMA"), nullptr;
    if (tag == Tag("lzma")) return std::make_unique<WholeHunkCodec>(std::move(a));
    auto b = deflate();
    if (!b) return why = Missing(tag, "Deflate"), nullptr;
    return std::make_unique<CdCodec>(std::move(a), std::move(b), hunkBytes);
  }
  if (tag == Tag("cdzs") || tag == Tag("zstd")) {
    auto a = MakeZstdDecoder(), b = MakeZstdDecoder();
    if (!a || !b) return why = Missing(tag, "zstd"), nullptr;
    if (tag == Tag("zstd")) return std::make_unique<WholeHunkCodec>(std::move(a));
    return std::make_unique<CdCodec>(std::move(a), std::move(b), hunkBytes);
  }
  if (tag == Tag("cdfl")) {
    auto a = MakeFlacDecoder();
    if (!a) return why = Missing(tag, "FLAC"), nullptr;
    auto b = deflate();
    if (!b) return why = Missing(tag, "Deflate"), nullptr;
    return std::make_unique<CdFlacCodec>(std::move(a), std::move(b), hunkBytes);
  }
  if (tag == Tag("flac")) {
    auto a = MakeFlacDecoder();
    if (!a) return why = Missing(tag, "FLAC"), nullptr;
    return std::make_unique<FlacCodec>(std::move(a));
  }
  if (tag == Tag("huff")) return std::make_unique<WholeHunkCodec>(MakeHuffmanDecoder());
  why = "uses the codec \"" + TagText(tag) + "\", which this reader does not know.";
  return nullptr;
}

}  // namespace brindle::media::chd
