// Headerless FLAC through libFLAC: the cdfl sectors. The CHD writer drops the stream header, so
// a STREAMINFO block for 16-bit stereo at 44.1 kHz is put in front of the frames here, and the
// frames' own CRCs are checked by libFLAC.
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "media/ChdCodecs.h"

namespace brindle::media::chd {
namespace {

constexpr std::size_t kStreamHeaderBytes = 4 + 4 + 34;  // "fLaC", block header, STREAMINFO
constexpr std::uint32_t kSampleRate = 44100;
constexpr unsigned kChannels = 2;
constexpr unsigned kBitsPerSample = 16;

std::array<std::uint8_t, kStreamHeaderBytes> StreamHeader(std::uint32_t blockSize) {
  std::array<std::uint8_t, kStreamHeaderBytes> h{};
  std::memcpy(h.data(), "fLaC", 4);
  h[4] = 0x80;  // last metadata block, type 0 (STREAMINFO)
  h[7] = 34;    // its length
  h[8] = h[10] = static_cast<std::uint8_t>(blockSize >> 8);  // smallest and largest block
  h[9] = h[11] = static_cast<std::uint8_t>(blockSize);
  // Frame sizes unknown (zero); then 20 bits of sample rate, 3 of channels - 1, 5 of bits - 1,
  // 36 of total samples (zero: unknown), and a zero MD5.
  const std::uint64_t packed = std::uint64_t(kSampleRate) << 44 |
                               std::uint64_t(kChannels - 1) << 41 |
                               std::uint64_t(kBitsPerSample - 1) << 36;
  for (int i = 0; i < 8; ++i) h[18 + i] = static_cast<std::uint8_t>(packed >> (56 - 8 * i));
  return h;
}

class FlacDecoder final : public AudioDecoder {
 public:
  FlacDecoder() : decoder_(FLAC__stream_decoder_new()) {}
  ~FlacDecoder() override {
    if (decoder_) FLAC__stream_decoder_delete(decoder_);
  }
  FlacDecoder(const FlacDecoder&) = delete;
  FlacDecoder& operator=(const FlacDecoder&) = delete;

  bool decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
              std::uint32_t blockSize, bool littleEndian, std::size_t& consumed) override {
    if (!decoder_ || out.size() % 4 != 0) return false;
    // FLAC blocks hold 16 to 65535 samples.
    blockSize_ = std::clamp<std::uint32_t>(blockSize, 16, 65535);
    header_ = StreamHeader(blockSize_);
    littleEndian_ = littleEndian;
    in_ = in;
    read_ = 0;
    out_ = out;
    written_ = 0;
    failed_ = false;
    if (FLAC__stream_decoder_init_stream(decoder_, &Read, nullptr, &Tell, nullptr, &AtEnd, &Write,
                                         nullptr, &Error,
                                         this) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
      return false;
    bool ok = FLAC__stream_decoder_process_until_end_of_metadata(decoder_);
    while (ok && !failed_ && written_ < out_.size()) {
      if (!FLAC__stream_decoder_process_single(decoder_) ||
          FLAC__stream_decoder_get_state(decoder_) == FLAC__STREAM_DECODER_END_OF_STREAM)
        ok = false;
    }
    FLAC__uint64 position = 0;
    ok = ok && !failed_ && written_ == out_.size() &&
         FLAC__stream_decoder_get_decode_position(decoder_, &position) &&
         position >= kStreamHeaderBytes;
    consumed = ok ? static_cast<std::size_t>(position - kStreamHeaderBytes) : 0;
    FLAC__stream_decoder_finish(decoder_);
    return ok;
  }

 private:
  std::uint64_t total() const { return kStreamHeaderBytes + in_.size(); }

  static FLAC__StreamDecoderReadStatus Read(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                            std::size_t* bytes, void* self) {
    auto& d = *static_cast<FlacDecoder*>(self);
    std::size_t n = 0;
    while (n < *bytes && d.read_ < d.total()) {
      if (d.read_ < kStreamHeaderBytes) {
        buffer[n++] = d.header_[static_cast<std::size_t>(d.read_++)];
        continue;
      }
      const auto at = static_cast<std::size_t>(d.read_ - kStreamHeaderBytes);
      const std::size_t take = std::min(*bytes - n, d.in_.size() - at);
      std::memcpy(buffer + n, d.in_.data() + at, take);
      n += take;
      d.read_ += take;
    }
    *bytes = n;
    return n == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                  : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
  }

  static FLAC__StreamDecoderTellStatus Tell(const FLAC__StreamDecoder*, FLAC__uint64* offset,
                                            void* self) {
    *offset = static_cast<FlacDecoder*>(self)->read_;
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
  }

  static FLAC__bool AtEnd(const FLAC__StreamDecoder*, void* self) {
    auto& d = *static_cast<FlacDecoder*>(self);
    return d.read_ >= d.total();
  }

  static FLAC__StreamDecoderWriteStatus Write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                              const FLAC__int32* const channels[], void* self) {
    auto& d = *static_cast<FlacDecoder*>(self);
    const std::size_t samples = frame->header.blocksize;
    // A frame larger than the stream's block size is not what the writer made.
    if (frame->header.channels != kChannels || frame->header.bits_per_sample != kBitsPerSample ||
        samples > d.blockSize_ || samples * 4 > d.out_.size() - d.written_) {
      d.failed_ = true;
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    std::uint8_t* out = d.out_.data() + d.written_;
    for (std::size_t i = 0; i < samples; ++i) {
      for (unsigned c = 0; c < kChannels; ++c) {
        const auto sample = static_cast<std::uint16_t>(channels[c][i]);
        const auto high = static_cast<std::uint8_t>(sample >> 8);
        const auto low = static_cast<std::uint8_t>(sample);
        *out++ = d.littleEndian_ ? low : high;
        *out++ = d.littleEndian_ ? high : low;
      }
    }
    d.written_ += samples * 4;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }

  static void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* self) {
    static_cast<FlacDecoder*>(self)->failed_ = true;
  }

  FLAC__StreamDecoder* decoder_;
  std::array<std::uint8_t, kStreamHeaderBytes> header_{};
  std::span<const std::uint8_t> in_;
  std::uint64_t read_ = 0;
  std::span<std::uint8_t> out_;
  std::size_t written_ = 0;
  bool failed_ = false;
  bool littleEndian_ = false;
  std::uint32_t blockSize_ = 0;
};

}  // namespace

std::unique_ptr<AudioDecoder> MakeFlacDecoder() {
  return std::make_unique<FlacDecoder>();
}

}  // namespace brindle::media::chd
