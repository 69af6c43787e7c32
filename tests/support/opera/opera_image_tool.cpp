// opera-image-tool: writes Opera images with the test builder.
//
//   opera-image-tool demo OUT.iso [--tree DIR]
//       the demo disc; with --tree, also writes the files it holds under DIR, as folders and
//       files, so that extracted bytes can be compared with them.
//   opera-image-tool large OUT.iso --count N --size BYTES [--align BLOCKS] [--tree DIR]
//       a root directory "Large" holding N files of BYTES bytes each (benchmarks), each
//       starting at a multiple of BLOCKS blocks when given.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "OperaImageBuilder.h"

namespace fs = std::filesystem;
using brindle::testing::OperaEntry;
using brindle::testing::OperaImage;
using brindle::testing::OperaImageBuilder;

namespace {

std::vector<std::uint8_t> Text(const std::string& s) {
  return {s.begin(), s.end()};
}

OperaImage Demo() {
  const std::string readme =
      "Brindle demo disc.\r\n"
      "Double-click a *dir line to enter it, \"..\" to go up, \"/\" to return to the root.\r\n"
      "Double-click any other line to save that file.\r\n";
  return OperaImageBuilder()
      .root({
          OperaEntry::File("Read Me.txt", Text(readme)),
          OperaEntry::File("empty.dat", std::size_t{0}),
          OperaEntry::File("LaunchMe", 100000).withCopies(2),
          OperaEntry::Dir("Art",
                          {
                              OperaEntry::File("cover.bin", 5000),
                              OperaEntry::Dir("Icons",
                                              {
                                                  OperaEntry::File("small icon.raw", 700),
                                                  OperaEntry::File("big icon.raw", 12345),
                                              }),
                          }),
          OperaEntry::Dir("Sound",
                          {
                              OperaEntry::File("theme.aiff", 40000).withType("AIFF"),
                              OperaEntry::Dir("Effects",
                                              {
                                                  OperaEntry::File("click.aiff", 2048),
                                                  OperaEntry::File("boom.aiff", 9000),
                                              }),
                          }),
      })
      .build();
}

bool WriteTree(const OperaImage& image, const fs::path& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) return false;
  for (const std::string& path : image.directories) {
    fs::create_directories(dir / path, ec);
    if (ec) return false;
  }
  for (const auto& [path, bytes] : image.contents) {
    if (image.directories.count(path)) continue;
    std::ofstream out(dir / path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) return false;
  }
  return true;
}

int Usage() {
  std::cerr << "usage: opera-image-tool demo OUT.iso [--tree DIR]\n"
               "       opera-image-tool large OUT.iso --count N --size BYTES [--align BLOCKS] "
               "[--tree DIR]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  std::string tree;
  long long count = 0;
  long long size = 0;
  long long align = 1;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (i + 1 >= args.size()) return Usage();
    if (args[i] == "--tree")
      tree = args[++i];
    else if (args[i] == "--count")
      count = std::atoll(args[++i].c_str());
    else if (args[i] == "--size")
      size = std::atoll(args[++i].c_str());
    else if (args[i] == "--align")
      align = std::atoll(args[++i].c_str());
    else
      return Usage();
  }

  OperaImage image;
  if (args[0] == "demo") {
    image = Demo();
  } else if (args[0] == "large" && count > 0 && size >= 0) {
    std::vector<OperaEntry> files;
    for (long long i = 0; i < count; ++i)
      files.push_back(
          OperaEntry::File("part" + std::to_string(i) + ".bin", static_cast<std::size_t>(size)));
    image = OperaImageBuilder()
                .fileAlignment(static_cast<std::uint32_t>(std::max(align, 1LL)))
                .root({OperaEntry::Dir("Large", std::move(files))})
                .build();
  } else {
    return Usage();
  }

  const fs::path out(args[1]);
  if (out.has_parent_path()) fs::create_directories(out.parent_path());
  if (!image.writeTo(out.string())) {
    std::cerr << "cannot write " << out << "\n";
    return 1;
  }
  if (!tree.empty() && !WriteTree(image, tree)) {
    std::cerr << "cannot write the tree under " << tree << "\n";
    return 1;
  }
  return 0;
}
