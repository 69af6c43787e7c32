// picture-disc-tool: Opera discs that carry pictures, for the thumbnailer's test, the README's
// screenshot and the benchmark.
//
//   picture-disc-tool OUT.iso [--look N] [--title NAME] [--filler MB] [--banner none|cut]
//       a disc whose root holds a BannerScreen in look N (0, 1, 2, ...) (--banner: none, or one
//       cut short of the pixel bytes its header gives), a directory "Art" with
//       an IMAG file and packed and unpacked CEL files, and with --filler, a file of that many
//       megabytes (a full disc for the benchmark).
//   picture-disc-tool --seeds DIR
//       small pictures in every form (banner, IMAG, CEL of each depth, packed and not) as files
//       in DIR: the picture fuzzer's seeds.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "OperaImageBuilder.h"
#include "PictureEncoder.h"

using brindle::testing::OperaEntry;

namespace {

void Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

int WriteSeeds(const std::string& dir) {
  brindle::testing::Rgb555Picture small{6, 4, {}};
  for (std::uint32_t i = 0; i < 24; ++i) small.pixels.push_back(i % 3 == 0 ? 0x7C00 : 0x03E0);
  Write(dir + "/banner", brindle::testing::EncodeBanner(small));
  Write(dir + "/imag", brindle::testing::EncodeImag(small, false));
  Write(dir + "/imag-left-right", brindle::testing::EncodeImag(small, true));
  for (unsigned bpp : {1u, 2u, 4u, 6u, 8u, 16u})
    for (bool packed : {false, true}) {
      brindle::testing::CelForm form;
      form.bpp = bpp;
      form.packed = packed;
      form.preambleInCcb = !packed;
      // One bit reaches one colour beside the transparent one.
      auto picture = small;
      if (bpp == 1)
        std::replace(picture.pixels.begin(), picture.pixels.end(), 0x03E0u,
                     brindle::testing::kClear);
      Write(dir + "/cel-" + std::to_string(bpp) + (packed ? "-packed" : ""),
            brindle::testing::EncodeCel(picture, form));
    }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--seeds") return WriteSeeds(argv[2]);
  if (argc < 2) {
    std::cerr << "usage: picture-disc-tool OUT.iso [--look N] [--title NAME] [--filler MB]\n";
    return 2;
  }
  std::uint32_t look = 0;
  std::size_t fillerMb = 0;
  std::string title = "Demo";
  std::string bannerKind;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--look") look = static_cast<std::uint32_t>(std::atoi(argv[i + 1]));
    if (option == "--title") title = argv[i + 1];
    if (option == "--filler") fillerMb = static_cast<std::size_t>(std::atoi(argv[i + 1]));
    if (option == "--banner") bannerKind = argv[i + 1];
  }
  const auto banner = brindle::testing::DemoBanner(look);
  brindle::testing::CelForm packed;
  packed.bpp = 16;
  packed.coded = false;
  packed.packed = true;
  brindle::testing::CelForm unpacked;
  unpacked.bpp = 16;
  unpacked.coded = false;
  std::vector<OperaEntry> root{
      OperaEntry::File("BannerScreen", brindle::testing::EncodeBanner(banner)),
      OperaEntry::File("LaunchMe", 30000),
      OperaEntry::File(title + ".txt", std::vector<std::uint8_t>(title.begin(), title.end())),
      OperaEntry::Dir(
          "Art",
          {
              OperaEntry::File("title.imag", brindle::testing::EncodeImag(banner, true)),
              OperaEntry::File("packed.cel", brindle::testing::EncodeCel(banner, packed)),
              OperaEntry::File("unpacked.cel", brindle::testing::EncodeCel(banner, unpacked)),
          }),
  };
  if (bannerKind == "none") root.erase(root.begin());
  if (bannerKind == "cut") root.front().data.resize(root.front().data.size() / 2);
  if (fillerMb > 0) root.push_back(OperaEntry::File("Movie.stream", fillerMb << 20));
  const auto image = brindle::testing::OperaImageBuilder().root(root).build();
  if (!image.writeTo(argv[1])) {
    std::cerr << "Could not write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
