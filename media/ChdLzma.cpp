// Raw LZMA (no header, no end marker) through liblzma: the cdlz sectors. The stream's settings
// are the ones the CHD writer always uses (lc 3, lp 0, pb 2); the dictionary only has to reach
// back over one hunk.
#include <lzma.h>

#include <algorithm>

#include "media/ChdCodecs.h"

namespace brindle::media::chd {
namespace {

class LzmaDecoder final : public StreamDecoder {
 public:
  explicit LzmaDecoder(std::uint32_t maxBytes)
      : dictionary_(std::max<std::uint32_t>(maxBytes, LZMA_DICT_SIZE_MIN)) {}
  ~LzmaDecoder() override { lzma_end(&stream_); }
  LzmaDecoder(const LzmaDecoder&) = delete;
  LzmaDecoder& operator=(const LzmaDecoder&) = delete;

  bool decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override {
    lzma_options_lzma options{};
    options.dict_size = dictionary_;
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_raw_decoder(&stream_, filters) != LZMA_OK) return false;
    stream_.next_in = in.data();
    stream_.avail_in = in.size();
    stream_.next_out = out.data();
    stream_.avail_out = out.size();
    // No end marker: the stream is whole once out is full.
    while (stream_.avail_out > 0) {
      const std::size_t before = stream_.avail_out + stream_.avail_in;
      const lzma_ret result = lzma_code(&stream_, LZMA_RUN);
      if (result != LZMA_OK) break;
      if (stream_.avail_out + stream_.avail_in == before) break;  // no input left to go on
    }
    return stream_.avail_out == 0;
  }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
  std::uint32_t dictionary_;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeLzmaDecoder(std::uint32_t maxBytes) {
  return std::make_unique<LzmaDecoder>(maxBytes);
}

}  // namespace brindle::media::chd
