// Listing a directory of 10,000 entries (about 360 blocks) from an image file into the real
// window, offscreen: the whole open through the open button (dialog answer, header check, root
// listing, size, then the list's layout and paint), and the list's part alone.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListWidget>
#include <filesystem>
#include <random>

#include "OperaImageBuilder.h"
#include "ScriptedPrompts.h"
#include "app/frmMain.h"
#include "reader/EntryLine.h"

namespace {

using brindle::testing::OperaEntry;
using brindle::testing::OperaImageBuilder;

constexpr int kEntries = 10000;

// The same directory as the reader's own listing benchmark, so the figures compare.
struct WideImage {
  WideImage() {
    std::vector<OperaEntry> entries;
    for (int i = 0; i < kEntries; ++i) {
      entries.push_back(OperaEntry::File("entry number " + std::to_string(i) + ".dat",
                                         static_cast<std::size_t>(i % 7)));
    }
    const auto image = OperaImageBuilder().root(entries).build();
    blocks = image.placements.at("").blockCount;
    path = (std::filesystem::temp_directory_path() /
            ("brindle-app-bench-" + std::to_string(std::random_device{}()) + ".iso"))
               .string();
    image.writeTo(path);
  }
  ~WideImage() { std::filesystem::remove(path); }
  std::string path;
  std::uint32_t blocks = 0;
};

const WideImage& Wide() {
  static const WideImage image;
  return image;
}

void BM_OpenWideRootIntoWindow(benchmark::State& state) {
  const WideImage& image = Wide();
  brindle::testing::ScriptedPrompts prompts;
  brindle::app::frmMain form(prompts);
  form.show();
  QApplication::processEvents();
  for (auto _ : state) {
    prompts.openAnswers.push_back(image.path);
    form.cmdOpen_Click();
    QApplication::processEvents();  // the list lays out and paints what it shows
    if (form.fileCount() != kEntries) state.SkipWithError("the listing did not complete");
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
  state.counters["blocks"] = image.blocks;
}
BENCHMARK(BM_OpenWideRootIntoWindow)->Unit(benchmark::kMillisecond);

void BM_AppendWideListingToWindow(benchmark::State& state) {
  const WideImage& image = Wide();
  brindle::testing::ScriptedPrompts prompts;
  brindle::app::frmMain form(prompts);
  form.show();
  prompts.openAnswers.push_back(image.path);
  form.cmdOpen_Click();
  std::vector<std::string> lines;
  for (int i = 0; i < form.fileCount(); ++i) lines.push_back(form.fileLine(i));
  for (auto _ : state) {
    form.clearFiles();
    form.appendFiles(lines);
    QApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_AppendWideListingToWindow)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
