#include "identify/TrackHashes.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace brindle::identify {
namespace {

using media::BlockStatus;
using media::kBlockSize;
using media::kRawSectorBytes;

constexpr std::size_t kChunkSectors = 224;  // about half a megabyte: stays in the cache
constexpr std::size_t kSlots = 8;
constexpr std::size_t kUserDataAt = 16;  // after a Mode 1 sector's sync and header

// CRC-32 and the OpenSSL digests over one stream.
class Hasher {
 public:
  Hasher(bool crc, bool md5, bool sha1) : crc_(crc) {
    if (md5) md5_ = Start(EVP_md5());
    if (sha1) sha1_ = Start(EVP_sha1());
  }
  void update(const std::uint8_t* bytes, std::size_t size) {
    size_ += size;
    if (crc_) crc32_ = crc32_z(crc32_, bytes, size);
    if (md5_) EVP_DigestUpdate(md5_.get(), bytes, size);
    if (sha1_) EVP_DigestUpdate(sha1_.get(), bytes, size);
  }
  // Puts what this hasher computed into digests.
  void finishInto(Digests& digests) {
    digests.size = size_;
    if (crc_) digests.crc32 = static_cast<std::uint32_t>(crc32_);
    if (md5_) EVP_DigestFinal_ex(md5_.get(), digests.md5.data(), nullptr);
    if (sha1_) EVP_DigestFinal_ex(sha1_.get(), digests.sha1.data(), nullptr);
  }

 private:
  struct Free {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  using Context = std::unique_ptr<EVP_MD_CTX, Free>;
  static Context Start(const EVP_MD* md) {
    Context context(EVP_MD_CTX_new());
    if (context) EVP_DigestInit_ex(context.get(), md, nullptr);
    return context;
  }

  bool crc_;
  uLong crc32_ = crc32_z(0, nullptr, 0);
  std::uint64_t size_ = 0;
  Context md5_;
  Context sha1_;
};

// A ring of chunks: fillers read (and rebuild) chunks in turn, every lane hashes every chunk in
// order; a slot is refilled once all lanes are done with it.
class Pipeline {
 public:
  using Fill = std::function<void(std::uint64_t chunk, std::vector<std::uint8_t>& bytes)>;
  using Lane = std::function<void(const std::vector<std::uint8_t>& bytes)>;

  // done is told each chunk's size once every lane has hashed it.
  void run(std::uint64_t chunks, std::size_t fillers, const Fill& fill,
           const std::vector<Lane>& lanes, const std::function<void(std::uint64_t)>& done) {
    for (Slot& slot : slots_) slot.bytes.resize(kChunkSectors * kRawSectorBytes);
    std::vector<std::thread> threads;
    for (std::size_t f = 0; f < fillers; ++f) {
      threads.emplace_back([&, f] {
        for (std::uint64_t n = f; n < chunks; n += fillers) {
          Slot& slot = slots_[n % kSlots];
          {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return slot.next == n && slot.lanesLeft == 0; });
          }
          fill(n, slot.bytes);
          std::lock_guard lock(mutex_);
          slot.lanesLeft = lanes.size();
          slot.ready = true;
          changed_.notify_all();
        }
      });
    }
    for (const Lane& lane : lanes) {
      threads.emplace_back([&] {
        for (std::uint64_t n = 0; n < chunks; ++n) {
          Slot& slot = slots_[n % kSlots];
          {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return slot.ready && slot.next == n; });
          }
          lane(slot.bytes);
          const std::uint64_t size = slot.bytes.size();
          bool last = false;
          {
            std::lock_guard lock(mutex_);
            if (--slot.lanesLeft == 0) {
              last = true;
              slot.ready = false;
              slot.next = n + kSlots;
              changed_.notify_all();
            }
          }
          if (last && done) done(size);
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }

  Pipeline() {
    for (std::size_t i = 0; i < kSlots; ++i) slots_[i].next = i;
  }

 private:
  struct Slot {
    std::vector<std::uint8_t> bytes;
    std::uint64_t next = 0;  // the chunk this slot holds or takes next
    std::size_t lanesLeft = 0;
    bool ready = false;
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::array<Slot, kSlots> slots_;
};

TrackHashes HashTrack(media::BlockDevice& device, std::size_t index, const media::TrackInfo& info,
                      const HashOptions& options) {
  TrackHashes result;
  result.track = info;
  const std::uint64_t sectors = info.pregapSectors + info.sectorCount;
  const std::uint64_t chunks = (sectors + kChunkSectors - 1) / kChunkSectors;
  const bool user = options.userData && info.mode.rfind("MODE1", 0) == 0;

  std::mutex badMutex;
  auto sectorsIn = [&](std::uint64_t chunk) {
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(kChunkSectors, sectors - chunk * kChunkSectors));
  };
  // The chunk's sector count travels in the vector's size.
  auto fill = [&](std::uint64_t chunk, std::vector<std::uint8_t>& bytes) {
    const std::size_t n = sectorsIn(chunk);
    bytes.resize(n * kRawSectorBytes);
    std::array<BlockStatus, kChunkSectors> status{};
    device.readRaw(index, chunk * kChunkSectors, bytes, std::span(status.data(), n));
    const auto bad = static_cast<std::uint64_t>(
        std::count_if(status.begin(), status.begin() + static_cast<std::ptrdiff_t>(n),
                      [](BlockStatus s) { return s != BlockStatus::Good; }));
    if (bad) {
      std::lock_guard lock(badMutex);
      result.badSectors += bad;
    }
  };

  // SHA-1 is quick (the processor's instructions), MD5 is not: they get a thread each.
  Hasher shaAndCrc(true, false, true);
  Hasher md5(false, true, false);
  Hasher userData(true, true, true);
  std::vector<Pipeline::Lane> lanes{
      [&](const std::vector<std::uint8_t>& b) { shaAndCrc.update(b.data(), b.size()); },
      [&](const std::vector<std::uint8_t>& b) { md5.update(b.data(), b.size()); }};
  if (user) {
    lanes.push_back([&](const std::vector<std::uint8_t>& b) {
      for (std::size_t at = 0; at < b.size(); at += kRawSectorBytes)
        userData.update(b.data() + at + kUserDataAt, kBlockSize);
    });
  }
  const std::size_t fillers = device.serial() ? 1 : 2;
  Pipeline().run(chunks, fillers, fill, lanes, options.hashed);
  shaAndCrc.finishInto(result.raw);
  md5.finishInto(result.raw);
  if (user) {
    result.user.emplace();
    userData.finishInto(*result.user);
  }
  return result;
}

}  // namespace

std::string Hex(std::uint32_t crc32) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, crc32 >>= 4) text[static_cast<std::size_t>(i)] = kDigits[crc32 & 15];
  return text;
}

template <std::size_t N>
std::string Hex(const std::array<std::uint8_t, N>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}
template std::string Hex(const std::array<std::uint8_t, 16>&);
template std::string Hex(const std::array<std::uint8_t, 20>&);

std::string CheckTrackSizes(const std::vector<media::TrackInfo>& tracks) {
  for (const media::TrackInfo& track : tracks) {
    const std::uint64_t sectors = track.pregapSectors + track.sectorCount;
    if (sectors > kMaxTrackSectors)
      return "Track " + std::to_string(track.number) + " would have " + std::to_string(sectors) +
             " sectors, more than a CD holds: the source does not tell its real size.";
  }
  return {};
}

std::uint64_t RawBytes(const std::vector<media::TrackInfo>& tracks) {
  std::uint64_t bytes = 0;
  for (const media::TrackInfo& track : tracks)
    bytes += (track.pregapSectors + track.sectorCount) * std::uint64_t{kRawSectorBytes};
  return bytes;
}

std::vector<TrackHashes> HashTracks(media::BlockDevice& device, const HashOptions& options) {
  std::vector<TrackHashes> result;
  const auto tracks = device.tracks();
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    result.push_back(HashTrack(device, i, tracks[i], options));
    if (options.trackDone) options.trackDone();
  }
  return result;
}

}  // namespace brindle::identify
