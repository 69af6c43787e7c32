// zstd frames through libzstd: the cdzs sectors and subcode.
#include <zstd.h>

#include "media/ChdCodecs.h"

namespace brindle::media::chd {
namespace {

class ZstdDecoder final : public StreamDecoder {
 public:
  ZstdDecoder() : context_(ZSTD_createDCtx()) {}
  ~ZstdDecoder() override { ZSTD_freeDCtx(context_); }
  ZstdDecoder(const ZstdDecoder&) = delete;
  ZstdDecoder& operator=(const ZstdDecoder&) = delete;

  bool decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override {
    if (!context_) return false;
    const std::size_t got =
        ZSTD_decompressDCtx(context_, out.data(), out.size(), in.data(), in.size());
    return !ZSTD_isError(got) && got == out.size();
  }

 private:
  ZSTD_DCtx* context_;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeZstdDecoder() {
  return std::make_unique<ZstdDecoder>();
}

}  // namespace brindle::media::chd
