// What long commands show while they run: a one-line meter on standard error (files, bytes,
// rate) when it is a terminal, and a clean stop on Ctrl+C.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>

namespace brindle::cli {

// bytes in the meter's unit, megabytes of 10^6 bytes, to one decimal ("614.4").
std::string MegabytesText(std::uint64_t bytes);

// True when standard error is a terminal.
bool ErrorIsTerminal();

// From now on Ctrl+C (and SIGTERM) only sets a flag that long commands look at between chunks.
void CatchInterrupt();
bool Interrupted();

// Writes whole lines to a stream shared by several threads.
class Reporter {
 public:
  // meter: a progress meter may stand on the current line and is cleared before each message.
  Reporter(std::ostream& err, bool meter) : err_(err), meter_(meter) {}
  bool meter() const { return meter_; }
  void line(const std::string& text);
  std::mutex& mutex() { return mutex_; }
  std::ostream& stream() { return err_; }

 private:
  std::ostream& err_;
  bool meter_;
  std::mutex mutex_;
};

class Progress {
 public:
  // What the meter counts beside the bytes: the files written, or (for a whole image) the
  // 2048-byte blocks, worked out from the bytes.
  enum class Count { Files, Blocks };

  // Shows nothing unless the reporter has a meter. totalFiles and totalBytes are what 100 %
  // means.
  Progress(Reporter& reporter, std::uint64_t totalFiles, std::uint64_t totalBytes,
           Count count = Count::Files);
  ~Progress();
  void addBytes(std::uint64_t bytes);
  void addFile();
  // Clears the meter's line (messages are written through clearing first).
  void finish();

 private:
  void draw(bool force);
  Reporter& reporter_;
  bool enabled_;
  Count count_;
  std::uint64_t totalFiles_;
  std::uint64_t totalBytes_;
  std::atomic<std::uint64_t> files_{0};
  std::atomic<std::uint64_t> bytes_{0};
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::atomic<std::int64_t> lastDraw_{0};
  bool shown_ = false;
};

}  // namespace brindle::cli
