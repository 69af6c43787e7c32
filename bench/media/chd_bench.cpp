// chd-bench: the CHD reader against chdman (driven by chd-vs-chdman.sh).
//
//   chd-bench make DIR MB     a disc of about MB megabytes: DIR/disc.iso (the plain image),
//                             DIR/disc.bin (raw Mode 1 sectors with EDC and ECC, as a drive dump
//                             holds them) and DIR/disc.cue
//   chd-bench read FILE.chd   reads every block through the CHD reader; prints the count, the
//                             seconds, and a hash of the blocks
//   chd-bench hash FILE.iso   the same hash of a plain image, to compare
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "OperaImageBuilder.h"
#include "media/Chd.h"
#include "media/ChdCodecs.h"
#include "media/Containers.h"

using brindle::media::BlockStatus;
using brindle::media::kBlockSize;
using brindle::testing::OperaEntry;

namespace {

constexpr std::size_t kRun = 64;

std::uint64_t Hash(std::uint64_t h, const std::uint8_t* bytes, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
  return h;
}

// Files a game disc might hold: some compress well (text, tables, sparse art), some hardly at
// all (already compressed streams).
std::vector<OperaEntry> Files(std::size_t megabytes) {
  std::vector<OperaEntry> files;
  std::mt19937 random(11);
  for (std::size_t i = 0; i < megabytes; ++i) {
    std::vector<std::uint8_t> bytes(1 << 20);
    if (i % 3 == 0) {
      bytes = brindle::testing::PatternBytes("stream" + std::to_string(i), bytes.size());
    } else {
      std::uint8_t value = 0;
      for (std::size_t at = 0; at < bytes.size(); ++at) {
        if (random() % 64 == 0) value = static_cast<std::uint8_t>(random() % 16);
        bytes[at] = static_cast<std::uint8_t>(value + (at % 7 == 0 ? random() % 4 : 0));
      }
    }
    files.push_back(OperaEntry::File("file" + std::to_string(i), std::move(bytes)));
  }
  return files;
}

std::uint32_t Edc(const std::uint8_t* bytes, std::size_t size) {
  static const auto table = [] {
    std::vector<std::uint32_t> t(256);
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int b = 0; b < 8; ++b) c = (c >> 1) ^ ((c & 1) ? 0xD8018001u : 0);
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0;
  for (std::size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF];
  return crc;
}

int Make(const std::string& dir, std::size_t megabytes) {
  const auto image = brindle::testing::OperaImageBuilder().root(Files(megabytes)).build().bytes;
  std::ofstream(dir + "/disc.iso", std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()),
             static_cast<std::streamsize>(image.size()));
  std::ofstream bin(dir + "/disc.bin", std::ios::binary);
  std::vector<std::uint8_t> sector(2352);
  for (std::size_t s = 0; s < image.size() / kBlockSize; ++s) {
    std::fill(sector.begin(), sector.end(), 0);
    std::fill(sector.begin() + 1, sector.begin() + 11, 0xFF);  // sync: the EDC covers it
    const std::size_t address = s + 150;
    auto bcd = [](std::size_t v) { return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10)); };
    sector[12] = bcd(address / 75 / 60);
    sector[13] = bcd(address / 75 % 60);
    sector[14] = bcd(address % 75);
    sector[15] = 1;
    std::memcpy(sector.data() + 16, image.data() + s * kBlockSize, kBlockSize);
    const std::uint32_t edc = Edc(sector.data(), 2064);
    for (int i = 0; i < 4; ++i) sector[2064 + i] = static_cast<std::uint8_t>(edc >> (8 * i));
    brindle::media::chd::RebuildSyncAndEcc(std::span<std::uint8_t, 2352>(sector.data(), 2352));
    bin.write(reinterpret_cast<const char*>(sector.data()), 2352);
  }
  std::ofstream(dir + "/disc.cue") << "FILE \"disc.bin\" BINARY\n  TRACK 01 MODE1/2352\n"
                                      "    INDEX 01 00:00:00\n";
  std::printf("%zu blocks\n", image.size() / kBlockSize);
  return 0;
}

int Read(const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  brindle::media::MediaError error;
  auto device = brindle::media::OpenContainer(path, error);
  if (!device) {
    std::fprintf(stderr, "%s\n", error.message.c_str());
    return 1;
  }
  std::vector<std::uint8_t> bytes(kRun * kBlockSize);
  std::vector<BlockStatus> status(kRun);
  std::uint64_t hash = 14695981039346656037ull, bad = 0;
  const std::uint64_t count = device->blockCount();
  for (std::uint64_t first = 0; first < count; first += kRun) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kRun, count - first));
    device->read(first, std::span(bytes).first(n * kBlockSize), std::span(status).first(n));
    for (std::size_t i = 0; i < n; ++i) bad += status[i] != BlockStatus::Good;
    hash = Hash(hash, bytes.data(), n * kBlockSize);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%llu blocks, %llu not good, %.3f s, hash %016llx\n",
              static_cast<unsigned long long>(count), static_cast<unsigned long long>(bad), seconds,
              static_cast<unsigned long long>(hash));
  return bad == 0 ? 0 : 1;
}

int HashImage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes(kRun * kBlockSize);
  std::uint64_t hash = 14695981039346656037ull, count = 0;
  while (in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())) || in.gcount() > 0) {
    const auto got = static_cast<std::size_t>(in.gcount());
    hash = Hash(hash, reinterpret_cast<const std::uint8_t*>(bytes.data()), got);
    count += got / kBlockSize;
  }
  std::printf("%llu blocks, hash %016llx\n", static_cast<unsigned long long>(count),
              static_cast<unsigned long long>(hash));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "make" && argc == 4) return Make(argv[2], std::stoul(argv[3]));
  if (what == "read" && argc == 3) return Read(argv[2]);
  if (what == "hash" && argc == 3) return HashImage(argv[2]);
  std::fprintf(stderr, "usage: chd-bench make DIR MB | read FILE.chd | hash FILE.iso\n");
  return 2;
}
