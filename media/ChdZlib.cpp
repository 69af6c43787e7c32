// Raw Deflate (no zlib header) through zlib: the cdzl sectors and the subcode of most CD codecs.
#include <zlib.h>

#include "media/ChdCodecs.h"

namespace brindle::media::chd {
namespace {

class DeflateDecoder final : public StreamDecoder {
 public:
  DeflateDecoder() { ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  ~DeflateDecoder() override {
    if (ready_) inflateEnd(&stream_);
  }
  DeflateDecoder(const DeflateDecoder&) = delete;
  DeflateDecoder& operator=(const DeflateDecoder&) = delete;

  bool decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override {
    if (!ready_ || inflateReset(&stream_) != Z_OK) return false;
    stream_.next_in = const_cast<Bytef*>(in.data());
    stream_.avail_in = static_cast<uInt>(in.size());
    stream_.next_out = out.data();
    stream_.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream_, Z_FINISH);
    // The stream may end exactly where out is full, or run on (a pad) past it: both are whole.
    return (result == Z_STREAM_END || result == Z_OK || result == Z_BUF_ERROR) &&
           stream_.avail_out == 0;
  }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeDeflateDecoder() {
  return std::make_unique<DeflateDecoder>();
}

}  // namespace brindle::media::chd
