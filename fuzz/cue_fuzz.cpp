// CUE sheet text from untrusted bytes: the sniffing test, the parser, and the placing of its
// tracks over file sizes taken from the input itself.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "media/CueSheet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brindle::media;
  (void)LooksLikeCueSheet(std::span(data, size), size);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  MediaError error;
  const auto sheet = ParseCueSheet(text, "fuzz.cue", "folder", error);
  if (!sheet) return 0;
  // Sizes from the input: small ones that cut tracks off, and large ones that hold them all.
  std::vector<std::uint64_t> sizes;
  for (std::size_t i = 0; i < sheet->files.size(); ++i) {
    const std::uint64_t seed = size > i ? data[i] : i;
    sizes.push_back((seed & 1) ? seed * 2352 * 75 : seed * 997);
  }
  const auto places = PlaceCueTracks(*sheet, sizes, error);
  if (places && places->size() != sheet->tracks.size()) __builtin_trap();
  return 0;
}
