// aspi-drive-probe [COPY-FILE [SECTORS]]: the ASPI transport on the machine's real drives,
// through the shipped library beside this program. Prints what the transport sees, one fact a
// line, and with COPY-FILE copies the first drive's disc (or its first SECTORS sectors) there
// through ExecCMD, 16 sectors a command. Exit status 0 when every command it sent succeeded.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Os.h"
#include "transport/clsASPI.h"
#include "transport/modMMC.h"

namespace {

using brindle::transport::clsASPI;

std::string Printable(const std::uint8_t* bytes, std::size_t n) {
  std::string text;
  for (std::size_t i = 0; i < n; ++i)
    text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? char(bytes[i]) : '.';
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  auto os = brindle::platform::MakeSystemOs();
  clsASPI aspi(*os, [] {});
  std::printf("installed=%d initialized=%d drives=%d\n", aspi.Installed(), aspi.Initialized(),
              aspi.DriveCount());
  int failures = 0;
  for (std::int16_t i = 1; i <= aspi.DriveCount(); ++i) {
    const std::string handle = aspi.DriveHandle(i);
    std::vector<std::uint8_t> inquiry(36);
    const std::vector<std::uint8_t> cdb = {0x12, 0, 0, 0, 36, 0};
    const int result = aspi.ExecCMD(handle, cdb, 6, 0, inquiry.data(), 36, 5);
    std::printf("drive %d address=%d:%d:%d letter=[%s] inquiry=%d type=%d id=[%s]\n", i,
                aspi.HostAdapter(handle), aspi.TargetID(handle), aspi.LUN(handle),
                aspi.DriveChar(handle).c_str(), result, inquiry[0] & 0x1F,
                Printable(&inquiry[8], 24).c_str());
    if (result != 0) ++failures;
    const std::vector<std::uint8_t> ready = {0, 0, 0, 0, 0, 0};
    const int readyResult = aspi.ExecCMD(handle, ready, 6, 0, nullptr, 0, 5);
    std::printf("drive %d test-unit-ready=%d key=0x%02x asc=0x%02x ascq=0x%02x\n", i, readyResult,
                aspi.LastSK(), aspi.LastASC(), aspi.LastASCQ());
  }
  if (argc < 2 || aspi.DriveCount() == 0) return failures == 0 ? 0 : 1;

  // READ CAPACITY gives the last block; copy up to it (or the count asked for).
  std::vector<std::uint8_t> capacity(8);
  const std::vector<std::uint8_t> readCapacity = {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::string first = aspi.DriveHandle(1);
  if (aspi.ExecCMD(first, readCapacity, 10, 0, capacity.data(), 8, 5) != 0) {
    std::printf("read-capacity failed key=0x%02x asc=0x%02x\n", aspi.LastSK(), aspi.LastASC());
    return 1;
  }
  std::uint32_t sectors = (std::uint32_t{capacity[0]} << 24 | std::uint32_t{capacity[1]} << 16 |
                           std::uint32_t{capacity[2]} << 8 | capacity[3]) +
                          1;
  if (argc > 2) sectors = std::min<std::uint32_t>(sectors, std::strtoul(argv[2], nullptr, 10));
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  std::vector<std::uint8_t> buffer(16 * 2048);
  for (std::uint32_t lba = 0; lba < sectors; lba += 16) {
    const auto count = static_cast<std::uint16_t>(std::min<std::uint32_t>(16, sectors - lba));
    const int result =
        aspi.ExecCMD(first,
                     brindle::transport::MakeRead10Cdb(static_cast<std::int32_t>(lba),
                                                       static_cast<std::int16_t>(count)),
                     10, 0, buffer.data(), count * 2048, 5);
    if (result != 0) {
      std::printf("read %u failed result=%d key=0x%02x asc=0x%02x\n", lba, result, aspi.LastSK(),
                  aspi.LastASC());
      ++failures;
      break;
    }
    std::fwrite(buffer.data(), 1, count * 2048u, out);
  }
  std::fclose(out);
  std::printf("copied sectors=%u\n", sectors);
  return failures == 0 ? 0 : 1;
}
