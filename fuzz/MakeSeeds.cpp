// fuzz-seeds OUTDIR: writes seed inputs for every fuzz target into OUTDIR/TARGET/, made by the
// image builder and by hand-built request blocks. scripts/fuzz seeds merges them (-merge=1)
// into fuzz/corpus/.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "OperaImageBuilder.h"
#include "aspi/AspiCore.h"

namespace {

using namespace brindle;
using testing::OperaEntry;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

void Write(const fs::path& folder, const std::string& name, const Bytes& bytes) {
  fs::create_directories(folder);
  std::ofstream(folder / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

std::vector<testing::OperaImage> Images() {
  std::vector<testing::OperaImage> images;
  images.push_back(
      testing::OperaImageBuilder()
          .root({OperaEntry::File("A", 10),
                 OperaEntry::Dir("SUB", {OperaEntry::File("B", 3000),
                                         OperaEntry::Dir("DEEP", {OperaEntry::File("C", 0)})}),
                 OperaEntry::Absent("GONE", 5)})
          .build());
  images.push_back(
      testing::OperaImageBuilder()
          .root({OperaEntry::Dir("MANY", {OperaEntry::File("one", 1), OperaEntry::File("two", 2),
                                          OperaEntry::File("three", 3).withCopies(2)})
                     .withEntriesPerBlock(2),
                 OperaEntry::File("", 4), OperaEntry::File("a/b", 5), OperaEntry::File("..", 6)})
          .build());
  // An entry whose bytes run past the image's end, and a directory that points past it too.
  images.push_back(testing::OperaImageBuilder()
                       .root({OperaEntry::File("LONG", 6000),
                              OperaEntry::File("FAR", 10).withFirstBlockField(900000),
                              OperaEntry::Dir("LOST", {}).withFirstBlockField(5000)})
                       .resizeTo(3 * testing::kOperaBlockSize + 100)
                       .build());
  return images;
}

Bytes AspiSeed(std::uint8_t scsiStatus, std::uint16_t driverStatus, std::uint16_t hostStatus,
               const Bytes& sense) {
  Bytes seed = {1, 0, 1, 0, 0, 0, 0, 0, 0, 0};  // one device, at adapter 0, target 1, LUN 0
  transport::AspiExecRequest request{};
  request.command = transport::kAspiExecute;
  request.target = 1;
  request.flags = transport::kAspiDataIn;
  request.dataLength = 2048;
  request.senseLength = transport::kAspiSenseLength;
  request.cdbLength = 10;
  const std::uint8_t read10[10] = {0x28, 0, 0, 0, 0, 5, 0, 0, 1, 0};
  std::memcpy(request.cdb, read10, sizeof read10);
  const auto* raw = reinterpret_cast<const std::uint8_t*>(&request);
  seed.insert(seed.end(), raw, raw + sizeof request);
  seed.push_back(3);                       // a data area; the ioctl succeeded
  seed.insert(seed.end(), {10, 0, 0, 0});  // 5 seconds
  seed.push_back(scsiStatus);
  seed.insert(seed.end(), {static_cast<std::uint8_t>(hostStatus), 0});
  seed.insert(seed.end(), {static_cast<std::uint8_t>(driverStatus), 0});
  seed.push_back(static_cast<std::uint8_t>(sense.size()));
  seed.insert(seed.end(), sense.begin(), sense.end());
  return seed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz-seeds OUTDIR\n");
    return 2;
  }
  const fs::path out = argv[1];
  int n = 0;
  for (const auto& image : Images()) {
    const std::string name = "image-" + std::to_string(++n);
    Write(out / "reader_image", name, image.bytes);
    const auto root = image.placements.at("");
    const auto first = static_cast<std::size_t>(root.firstBlock) * testing::kOperaBlockSize;
    if (first + testing::kOperaBlockSize <= image.bytes.size())
      Write(out / "directory_block", name,
            Bytes(image.bytes.begin() + static_cast<std::ptrdiff_t>(first),
                  image.bytes.begin() +
                      static_cast<std::ptrdiff_t>(first + testing::kOperaBlockSize)));
  }
  Write(out / "directory_block", "used-end-limit",
        testing::OperaDirectoryBlock({testing::OperaEntryBytes("X", "*dir", 2048, 7, 3)}, 32767));

  Write(out / "entry_lines", "directory", testing::OperaEntryBytes("NAME", "*dir", 4096, 35));
  Write(out / "entry_lines", "long-numbers",
        testing::OperaEntryBytes("  spaced name  ", "TEXT", 1234567890, 12345678, 1));
  Write(out / "entry_lines", "history", Text("12;35"));

  Write(out / "aspi_request", "good", AspiSeed(0, 0, 0, {}));
  Bytes fixed(18, 0);
  fixed[0] = 0x70;
  fixed[2] = 0x05;
  fixed[7] = 10;
  fixed[12] = 0x21;
  Write(out / "aspi_request", "check-condition", AspiSeed(2, 0x08, 0, fixed));
  Write(out / "aspi_request", "descriptor-sense", AspiSeed(2, 0x08, 0, {0x72, 0x02, 0x3A, 0x00}));
  Write(out / "aspi_request", "host-error", AspiSeed(0, 0, 0x07, {}));
  return 0;
}
