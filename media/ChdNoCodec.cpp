// The stream decoders whose library this build did not find: CHD files that need them are
// refused with a message naming the codec.
#include "media/ChdCodecs.h"

namespace brindle::media::chd {

#ifndef BRINDLE_HAVE_ZLIB
std::unique_ptr<StreamDecoder> MakeDeflateDecoder() {
  return nullptr;
}
#endif
#ifndef BRINDLE_HAVE_LZMA
std::unique_ptr<StreamDecoder> MakeLzmaDecoder(std::uint32_t) {
  return nullptr;
}
#endif
#ifndef BRINDLE_HAVE_ZSTD
std::unique_ptr<StreamDecoder> MakeZstdDecoder() {
  return nullptr;
}
#endif
#ifndef BRINDLE_HAVE_FLAC
std::unique_ptr<AudioDecoder> MakeFlacDecoder() {
  return nullptr;
}
#endif

}  // namespace brindle::media::chd
