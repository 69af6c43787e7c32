// picture-disc-tool: Opera discs that carry pictures, for the thumbnailer's test, the README's
// screenshot and the benchmark.
//
//   picture-disc-tool OUT.iso [--look N] [--title NAME] [--filler MB]
//       a disc whose root holds a BannerScreen in look N (0, 1, 2, ...), a directory "Art" with
//       an IMAG file and packed and unpacked CEL files, and with --filler, a file of that many
//       megabytes (a full disc for the benchmark).
#include <cstdlib>
#include <iostream>
#include <string>

#include "OperaImageBuilder.h"
#include "PictureEncoder.h"

using brindle::testing::OperaEntry;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: picture-disc-tool OUT.iso [--look N] [--title NAME] [--filler MB]\n";
    return 2;
  }
  std::uint32_t look = 0;
  std::size_t fillerMb = 0;
  std::string title = "Demo";
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--look") look = static_cast<std::uint32_t>(std::atoi(argv[i + 1]));
    if (option == "--title") title = argv[i + 1];
    if (option == "--filler") fillerMb = static_cast<std::size_t>(std::atoi(argv[i + 1]));
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
  if (fillerMb > 0) root.push_back(OperaEntry::File("Movie.stream", fillerMb << 20));
  const auto image = brindle::testing::OperaImageBuilder().root(root).build();
  if (!image.writeTo(argv[1])) {
    std::cerr << "Could not write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
