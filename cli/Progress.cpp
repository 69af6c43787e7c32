#include "cli/Progress.h"

#include <csignal>
#include <cstdio>
#include <ostream>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "media/BlockDevice.h"

namespace brindle::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
  interrupted = 1;
}

}  // namespace

std::string MegabytesText(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e6);
  return text;
}

bool ErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

void CatchInterrupt() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
}

bool Interrupted() {
  return interrupted != 0;
}

void Reporter::line(const std::string& text) {
  const std::lock_guard lock(mutex_);
  if (meter_) err_ << "\r\033[K";
  err_ << text << '\n' << std::flush;
}

Progress::Progress(Reporter& reporter, std::uint64_t totalFiles, std::uint64_t totalBytes,
                   Count count)
    : reporter_(reporter),
      enabled_(reporter.meter()),
      count_(count),
      totalFiles_(totalFiles),
      totalBytes_(totalBytes) {}

Progress::~Progress() {
  finish();
}

void Progress::addBytes(std::uint64_t bytes) {
  bytes_ += bytes;
  draw(false);
}

void Progress::addFile() {
  ++files_;
  draw(false);
}

void Progress::draw(bool force) {
  if (!enabled_) return;
  using namespace std::chrono;
  const auto now = duration_cast<milliseconds>(steady_clock::now() - start_).count();
  std::int64_t last = lastDraw_.load();
  if (!force && (now - last < 200 || !lastDraw_.compare_exchange_strong(last, now))) return;
  const double seconds = static_cast<double>(now) / 1000.0;
  const double rate = seconds > 0 ? static_cast<double>(bytes_) / 1e6 / seconds : 0.0;
  char text[160];
  const bool blocks = count_ == Count::Blocks;
  std::snprintf(
      text, sizeof text, "%llu/%llu %s  %s/%s MB  %.1f MB/s",
      static_cast<unsigned long long>(blocks ? bytes_ / media::kBlockSize : files_.load()),
      static_cast<unsigned long long>(blocks ? totalBytes_ / media::kBlockSize : totalFiles_),
      blocks ? "blocks" : "files", MegabytesText(bytes_).c_str(),
      MegabytesText(totalBytes_).c_str(), rate);
  const std::lock_guard lock(reporter_.mutex());
  reporter_.stream() << "\r\033[K" << text << std::flush;
  shown_ = true;
}

void Progress::finish() {
  if (!enabled_ || !shown_) return;
  const std::lock_guard lock(reporter_.mutex());
  reporter_.stream() << "\r\033[K" << std::flush;
  shown_ = false;
}

}  // namespace brindle::cli
