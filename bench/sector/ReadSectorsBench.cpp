// What one ReadSectors call costs beyond the drive: the drive alone, the transport over the fake
// OS, and the whole reader, whose one page-aligned block the opera reader takes over as it is.
// The allocs/call counter counts heap allocations made during the timed calls.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "sector/ReadSectors.h"
#include "tests/support/drive/FakeOs.h"
#include "transport/clsSPTI.h"
#include "transport/modMMC.h"

namespace {

std::atomic<std::uint64_t> gAllocations{0};

}  // namespace

void* operator new(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  const auto align = static_cast<std::size_t>(alignment);
  if (void* p = std::aligned_alloc(align, (size + align - 1) / align * align)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}

namespace brindle::sector {
namespace {

struct Machine {
  Machine() {
    os.addDrive('D', std::vector<std::uint8_t>(64 * 2048, 0x5A));
    os.setRecording(false);
    os.drive('D').setRecording(false);
    spti = std::make_unique<transport::clsSPTI>(os);
    access.transport = [this] { return spti.get(); };
    access.selectedIndex = [] { return 0; };
    access.os = &os;
    access.showError = [](const std::string&) {};
  }
  testing::FakeOs os;
  std::unique_ptr<transport::clsSPTI> spti;
  DriveAccess access;
};

void Report(benchmark::State& state, std::uint64_t before) {
  state.counters["allocs/call"] = benchmark::Counter(
      static_cast<double>(gAllocations.load() - before), benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2048);
}

void DriveAlone(benchmark::State& state) {
  Machine machine;
  const auto count = static_cast<std::int16_t>(state.range(0));
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(count) * 2048);
  const auto cdb = transport::MakeRead10Cdb(8, count);
  const auto before = gAllocations.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(machine.os.drive('D').execute(cdb, true, buffer, 5));
  }
  Report(state, before);
}

void TransportCommand(benchmark::State& state) {
  Machine machine;
  const auto count = static_cast<std::int16_t>(state.range(0));
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(count) * 2048);
  const auto before = gAllocations.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(MmcRead10(*machine.spti, "D", 8, count, buffer.data(),
                                       static_cast<std::int32_t>(buffer.size())));
  }
  Report(state, before);
}

void WholeRead(benchmark::State& state) {
  Machine machine;
  const auto count = static_cast<std::int16_t>(state.range(0));
  const auto before = gAllocations.load();
  for (auto _ : state) {
    SectorData data = ReadSectors(machine.access, 8, count);
    benchmark::DoNotOptimize(data.data());
  }
  Report(state, before);
}

BENCHMARK(DriveAlone)->Arg(1)->Arg(15);
BENCHMARK(TransportCommand)->Arg(1)->Arg(15);
BENCHMARK(WholeRead)->Arg(1)->Arg(15);

}  // namespace
}  // namespace brindle::sector

BENCHMARK_MAIN();
