// Listing a directory of 10,000 entries (about 370 blocks) from an image file into PlainWindow:
// the whole open (dialog answer, header check, root listing, size) and the listing alone.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "OperaImageBuilder.h"
#include "media/Containers.h"
#include "opera/Walker.h"
#include "reader/BlockSource.h"
#include "reader/Directory.h"
#include "reader/PlainWindow.h"
#include "reader/VolumeReader.h"

namespace {

using brindle::testing::OperaEntry;
using brindle::testing::OperaImageBuilder;
namespace media = brindle::media;
namespace reader = brindle::reader;

constexpr int kEntries = 10000;

struct WideImage {
  WideImage() {
    std::vector<OperaEntry> entries;
    for (int i = 0; i < kEntries; ++i)
      entries.push_back(OperaEntry::File("entry number " + std::to_string(i) + ".dat",
                                         static_cast<std::size_t>(i % 7)));
    const auto image = OperaImageBuilder().root(entries).build();
    blocks = image.placements.at("").blockCount;
    first = image.placements.at("").firstBlock;
    path = (std::filesystem::temp_directory_path() /
            ("brindle-bench-" + std::to_string(std::random_device{}()) + ".iso"))
               .string();
    image.writeTo(path);
  }
  ~WideImage() { std::filesystem::remove(path); }
  std::string path;
  std::uint32_t blocks = 0;
  std::uint32_t first = 0;
};

const WideImage& Wide() {
  static const WideImage image;
  return image;
}

void BM_OpenWideRootIntoPlainWindow(benchmark::State& state) {
  const WideImage& image = Wide();
  for (auto _ : state) {
    reader::PlainWindow window;
    reader::VolumeReader reader(window, {});
    window.openAnswers.push_back(image.path);
    if (!reader.cmdOpen_Click() || window.files.size() != kEntries)
      state.SkipWithError("the listing did not complete");
    benchmark::DoNotOptimize(window.files.data());
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
  state.counters["blocks"] = image.blocks;
}
BENCHMARK(BM_OpenWideRootIntoPlainWindow)->Unit(benchmark::kMillisecond);

void BM_ListWideDirectory(benchmark::State& state) {
  const WideImage& image = Wide();
  const auto file = media::ImageFile::Open(image.path);
  for (auto _ : state) {
    reader::PlainWindow window;
    reader::ListDirectory(window, reader::BlockSource::Image(*file),
                          static_cast<std::int32_t>(image.blocks),
                          static_cast<std::int32_t>(image.first), {"/", ".."});
    benchmark::DoNotOptimize(window.files.data());
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_ListWideDirectory)->Unit(benchmark::kMillisecond);

}  // namespace

// The same directory through the typed library: read with the copy fall-back and walked.
void BM_WalkWideDirectoryTyped(benchmark::State& state) {
  const WideImage& image = Wide();
  brindle::media::MediaError error;
  const auto device = brindle::media::OpenContainer(image.path, error);
  brindle::media::BlockStatus status{};
  const auto volume = brindle::opera::Volume::Open(*device, status);
  for (auto _ : state) {
    const brindle::opera::Tree tree = brindle::opera::Walk(*volume, volume->root());
    if (tree.entries.size() != kEntries) state.SkipWithError("the walk did not complete");
    benchmark::DoNotOptimize(tree.entries.data());
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_WalkWideDirectoryTyped)->Unit(benchmark::kMillisecond);
