#include "media/Chd.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "media/ChdCodecs.h"
#include "media/ChdFormat.h"
#include "media/ImageFile.h"
#include "media/RawImage.h"
#include "media/RawSectors.h"

namespace brindle::media {
namespace {

using chd::HunkEntry;
using chd::HunkKind;

// Enough for a reader going forward, another thread reading elsewhere, and a file read twice.
constexpr std::size_t kCachedHunks = 4;
// Hunks decoded ahead of a reader going forward: enough to keep every core busy while the reader
// copies one hunk's blocks, small enough that a reader that stops costs little.
constexpr std::size_t kAheadHunks = 8;
// Readers going forward at once through different places (extraction reads several files at a
// time), each followed on its own.
constexpr std::size_t kStreams = 4;
constexpr unsigned kMaxHelpers = 3;
constexpr std::uint32_t kNoHunk = 0xFFFFFFF0;  // far from any hunk and from wrapping round

class FileSource final : public chd::ByteSource {
 public:
  FileSource(ImageFile file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
  std::uint64_t size() const override { return size_; }
  bool readAt(std::uint64_t offset, std::span<std::uint8_t> out) const override {
    return file_.readExact(offset, out);
  }

 private:
  ImageFile file_;
  std::uint64_t size_;
};

class MemorySource final : public chd::ByteSource {
 public:
  explicit MemorySource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool readAt(std::uint64_t offset, std::span<std::uint8_t> out) const override {
    if (offset > bytes_.size() || bytes_.size() - offset < out.size()) return false;
    // A hunk may be stored in no bytes at all; memcpy must not see the empty buffers then.
    if (out.empty()) return true;
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

class ChdDevice final : public BlockDevice {
 public:
  ChdDevice(std::unique_ptr<chd::ByteSource> source, chd::Layout layout, std::size_t dataTrack,
            std::array<std::unique_ptr<chd::HunkCodec>, 4> codecs, std::string path)
      : source_(std::move(source)),
        layout_(std::move(layout)),
        track_(layout_.tracks[dataTrack]),
        userOffset_(*chd::UserDataOffset(track_.type)),
        path_(std::move(path)) {
    own_.codecs = std::move(codecs);
    own_.compressed.reserve(layout_.header.hunkBytes);
    sectorSize_ = chd::FrameDataBytes(track_.type);
    sectorMode_ = track_.type.rfind("MODE1", 0) == 0 ? SectorMode::Mode1 : SectorMode::Mode2Form1;
    const std::uint64_t end =
        (track_.chdFrame + track_.frames) * chd::kFrameBytes + layout_.header.hunkBytes - 1;
    endHunk_ = std::min<std::uint64_t>(layout_.hunks.size(), end / layout_.header.hunkBytes);
  }

  ~ChdDevice() override {
    {
      std::lock_guard lock(aheadMutex_);
      stopping_ = true;
    }
    aheadChanged_.notify_all();
    for (std::thread& helper : helpers_) helper.join();
  }

  ChdDevice(const ChdDevice&) = delete;
  ChdDevice& operator=(const ChdDevice&) = delete;

  std::uint64_t blockCount() const override { return track_.frames - track_.storedPregap; }

  std::string describe() const override {
    std::string names;
    for (std::uint32_t tag : layout_.header.codecs) {
      if (tag == 0) continue;
      names += (names.empty() ? "" : ", ") + chd::TagText(tag);
    }
    return "CHD v5 (" + (names.empty() ? std::string("uncompressed") : names) + ")";
  }

  std::vector<TrackInfo> tracks() const override {
    std::vector<TrackInfo> result;
    for (const chd::CdTrack& track : layout_.tracks) {
      TrackInfo info;
      info.number = track.number;
      info.mode = chd::CueMode(track.type);
      info.sectorSize = chd::FrameDataBytes(track.type);
      info.firstSector = track.discFrame + track.storedPregap;
      info.sectorCount = track.frames - track.storedPregap;
      info.file = path_;
      info.pregapSectors = track.storedPregap;
      result.push_back(info);
    }
    return result;
  }

 protected:
  void readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                  std::span<BlockStatus> status) override {
    std::lock_guard lock(mutex_);
    if (!addressTried_) learnAddressBase();
    for (std::size_t i = 0; i < status.size(); ++i) {
      const std::uint64_t block = first + i;
      const auto [hunk, at] = place(block);
      const Slot& slot = load(hunk);
      status[i] = slot.status;
      if (slot.status != BlockStatus::Good) continue;
      const std::uint8_t* sector = slot.bytes.data() + at;
      // A hunk stored without a CRC (an uncompressed CHD) is checked sector by sector, as a raw
      // image is: a damaged byte or a map entry naming the wrong hunk must not pass as good.
      if (!layout_.hunks[hunk].hasCrc) {
        std::optional<std::uint32_t> expected;
        if (addressBase_) expected = static_cast<std::uint32_t>(*addressBase_ + block);
        std::size_t dataAt = 0;
        status[i] = CheckStoredSector(sector, sectorSize_, sectorMode_, expected, dataAt);
        if (status[i] != BlockStatus::Good) continue;
      }
      std::memcpy(out.data() + i * kBlockSize, sector + userOffset_, kBlockSize);
    }
    for (Slot& slot : cache_) {
      if (slot.status != BlockStatus::Good) slot.valid = false;
    }
  }

  // Any track, frame by frame, exactly its stored frames (the hunk padding after it left out).
  void readRawSectors(std::size_t track, std::uint64_t first, std::span<std::uint8_t> out,
                      std::span<BlockStatus> status) override {
    const chd::CdTrack& t = layout_.tracks[track];
    const std::uint32_t stored = chd::FrameDataBytes(t.type);
    const bool audio = t.type == "AUDIO";
    const std::uint32_t hunkBytes = layout_.header.hunkBytes;
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < status.size(); ++i) {
      const std::uint64_t frame = first + i;
      const std::uint64_t byte = (t.chdFrame + frame) * chd::kFrameBytes;
      const auto hunk = static_cast<std::uint32_t>(byte / hunkBytes);
      if (hunk >= layout_.hunks.size()) continue;  // Unreadable
      const Slot& slot = load(hunk);
      status[i] = slot.status;
      if (slot.status != BlockStatus::Good) continue;
      const std::uint8_t* from = slot.bytes.data() + byte % hunkBytes;
      auto sector = std::span<std::uint8_t, kRawSectorBytes>(out.data() + i * kRawSectorBytes,
                                                             kRawSectorBytes);
      const std::uint64_t lba = t.discFrame + frame;
      if (stored == kRawSectorBytes && audio) {
        // CHD keeps audio samples big-endian; a dump holds them little-endian.
        for (std::size_t b = 0; b < kRawSectorBytes; b += 2) {
          sector[b] = from[b + 1];
          sector[b + 1] = from[b];
        }
      } else if (stored == kRawSectorBytes) {
        std::memcpy(sector.data(), from, kRawSectorBytes);
      } else if (t.type == "MODE1") {
        std::memcpy(sector.data() + 16, from, kBlockSize);
        BuildMode1Sector(sector, lba);
      } else if (stored == 2336) {
        std::memcpy(sector.data() + 16, from, stored);
        BuildMode2Header(sector, lba);
      } else {
        status[i] = BlockStatus::Unreadable;  // a form this view cannot rebuild
      }
    }
    for (Slot& slot : cache_) {
      if (slot.status != BlockStatus::Good) slot.valid = false;
    }
  }

 private:
  struct Slot {
    std::uint32_t hunk = 0;
    bool valid = false;
    std::uint64_t lastUse = 0;
    BlockStatus status = BlockStatus::Unreadable;
    std::vector<std::uint8_t> bytes;
  };

  // What one decoding thread needs of its own: the codecs keep state between hunks.
  struct Decoder {
    std::array<std::unique_ptr<chd::HunkCodec>, 4> codecs;
    std::vector<std::uint8_t> compressed;
  };

  // A hunk asked for ahead of the reader. Queued ones wait for a helper (or the reader, which
  // takes one itself rather than wait idle); Decoding ones belong to whoever took them until
  // they are Ready.
  enum class AheadState { Free, Queued, Decoding, Ready };
  struct Ahead {
    AheadState state = AheadState::Free;
    std::uint32_t hunk = 0;      // the map entry to decode
    std::uint32_t dataHunk = 0;  // the hunk whose bytes it gives
    BlockStatus status = BlockStatus::Unreadable;
    std::vector<std::uint8_t> bytes;
  };

  // The hunk holding a block of the track and the sector's offset in it.
  std::pair<std::uint32_t, std::size_t> place(std::uint64_t block) const {
    const std::uint32_t hunkBytes = layout_.header.hunkBytes;
    const std::uint64_t byte = (track_.chdFrame + track_.storedPregap + block) * chd::kFrameBytes;
    return {static_cast<std::uint32_t>(byte / hunkBytes),
            static_cast<std::size_t>(byte % hunkBytes)};
  }

  // The header address of the track's first sector, learnt as a raw image learns it: from the
  // first sectors that pass their check. Only sectors checked one by one need it.
  void learnAddressBase() {
    addressTried_ = true;
    // Hunks with a CRC are checked by it instead.
    if (sectorSize_ != chd::kSectorBytes || layout_.hunks[place(0).first].hasCrc) return;
    addressBase_ = LearnAddressBase(sectorSize_, sectorMode_, [&](std::uint64_t block) {
      if (block >= blockCount()) return static_cast<const std::uint8_t*>(nullptr);
      const auto [hunk, at] = place(block);
      const Slot& slot = load(hunk);
      return slot.status == BlockStatus::Good ? slot.bytes.data() + at : nullptr;
    });
  }

  // The hunk decoded (from the cache where it is there). A hunk that did not come back Good is
  // kept only for the rest of this read, so a later read tries it afresh.
  const Slot& load(std::uint32_t hunk) {
    const std::uint32_t dataHunk = layout_.hunks[hunk].dataHunk;
    ++clock_;
    for (Slot& slot : cache_) {
      if (slot.valid && slot.hunk == dataHunk) {
        if (slot.status == BlockStatus::Good) slot.lastUse = clock_;
        return slot;
      }
    }
    // Empty and failed slots have lastUse 0, so they go first; then the least recently used.
    Slot* victim =
        &*std::min_element(cache_.begin(), cache_.end(),
                           [](const Slot& a, const Slot& b) { return a.lastUse < b.lastUse; });
    victim->hunk = dataHunk;
    victim->valid = true;
    victim->lastUse = clock_;
    if (!takeAhead(dataHunk, *victim))
      victim->status = decode(layout_.hunks[hunk], victim->bytes, own_);
    if (victim->status != BlockStatus::Good) victim->lastUse = 0;
    follow(hunk);
    return *victim;
  }

  // Moves a hunk decoded ahead into slot (waiting for it when another thread is decoding it, and
  // decoding queued hunks meanwhile); false when it was not asked for, or not yet taken, in which
  // case the caller decodes it.
  bool takeAhead(std::uint32_t dataHunk, Slot& slot) {
    std::unique_lock lock(aheadMutex_);
    for (;;) {
      const auto wanted = std::find_if(ahead_.begin(), ahead_.end(), [&](const Ahead& entry) {
        return entry.state != AheadState::Free && entry.dataHunk == dataHunk;
      });
      if (wanted == ahead_.end()) return false;
      if (wanted->state == AheadState::Queued) {
        wanted->state = AheadState::Free;
        return false;
      }
      if (wanted->state == AheadState::Ready) {
        std::swap(slot.bytes, wanted->bytes);
        slot.status = wanted->status;
        wanted->state = AheadState::Free;
        return true;
      }
      if (!decodeOneQueued(lock, own_)) aheadChanged_.wait(lock);
    }
  }

  // Notes a hunk just loaded: one right after a stream's last continues it, and the hunks after
  // it are asked for; any other starts a stream in place of the oldest.
  void follow(std::uint32_t hunk) {
    const auto stream = std::find(streams_.begin(), streams_.end(), hunk - 1);
    if (hunk == 0 || stream == streams_.end()) {
      streams_[nextStream_] = hunk;
      nextStream_ = (nextStream_ + 1) % kStreams;
      return;
    }
    *stream = hunk;
    askAhead(hunk);
  }

  // Asks for the hunks after hunk that are not already cached or asked for, and lets go of those
  // asked for earlier that no stream will reach.
  void askAhead(std::uint32_t hunk) {
    if (!startHelpers()) return;
    const std::uint64_t end =
        std::min<std::uint64_t>(endHunk_, std::uint64_t{hunk} + 1 + kAheadHunks);
    {
      std::lock_guard lock(aheadMutex_);
      for (Ahead& entry : ahead_) {
        const bool wanted = std::any_of(streams_.begin(), streams_.end(), [&](std::uint32_t last) {
          return entry.hunk > last && entry.hunk <= std::uint64_t{last} + kAheadHunks;
        });
        if (!wanted && (entry.state == AheadState::Queued || entry.state == AheadState::Ready))
          entry.state = AheadState::Free;
      }
      for (std::uint64_t next = hunk + 1; next < end; ++next) {
        const std::uint32_t dataHunk = layout_.hunks[static_cast<std::size_t>(next)].dataHunk;
        const bool cached = std::any_of(cache_.begin(), cache_.end(), [&](const Slot& slot) {
          return slot.valid && slot.status == BlockStatus::Good && slot.hunk == dataHunk;
        });
        const bool asked = std::any_of(ahead_.begin(), ahead_.end(), [&](const Ahead& entry) {
          return entry.state != AheadState::Free && entry.dataHunk == dataHunk;
        });
        if (cached || asked) continue;
        const auto free = std::find_if(ahead_.begin(), ahead_.end(), [](const Ahead& entry) {
          return entry.state == AheadState::Free;
        });
        if (free == ahead_.end()) break;
        free->state = AheadState::Queued;
        free->hunk = static_cast<std::uint32_t>(next);
        free->dataHunk = dataHunk;
      }
    }
    aheadChanged_.notify_all();
  }

  // Starts the helper threads once, one fewer than the cores; false when there are none.
  bool startHelpers() {
    if (helpersTried_) return !helpers_.empty();
    helpersTried_ = true;
    const unsigned cores = std::thread::hardware_concurrency();
    const unsigned count = std::min(kMaxHelpers, cores > 1 ? cores - 1 : 0);
    for (unsigned i = 0; i < count; ++i) {
      auto decoder = std::make_unique<Decoder>();
      std::string why;
      for (std::size_t codec = 0; codec < decoder->codecs.size(); ++codec) {
        const std::uint32_t tag = layout_.header.codecs[codec];
        if (tag != 0 && own_.codecs[codec])
          decoder->codecs[codec] = chd::MakeHunkCodec(tag, layout_.header.hunkBytes, why);
      }
      decoder->compressed.reserve(layout_.header.hunkBytes);
      try {
        helpers_.emplace_back([this, decoder = std::move(decoder)] { help(*decoder); });
      } catch (const std::system_error&) {
        break;  // no more threads: the reader decodes what is left itself
      }
    }
    return !helpers_.empty();
  }

  void help(Decoder& decoder) {
    std::unique_lock lock(aheadMutex_);
    while (!stopping_) {
      if (!decodeOneQueued(lock, decoder)) aheadChanged_.wait(lock);
    }
  }

  // Decodes the first queued hunk with decoder, the lock let go meanwhile; false when none is
  // queued.
  bool decodeOneQueued(std::unique_lock<std::mutex>& lock, Decoder& decoder) {
    Ahead* first = nullptr;
    for (Ahead& entry : ahead_) {
      if (entry.state == AheadState::Queued && (!first || entry.hunk < first->hunk)) first = &entry;
    }
    if (!first) return false;
    first->state = AheadState::Decoding;
    lock.unlock();
    const BlockStatus status = decode(layout_.hunks[first->hunk], first->bytes, decoder);
    lock.lock();
    first->status = status;
    first->state = AheadState::Ready;
    aheadChanged_.notify_all();
    return true;
  }

  // Thread-safe for distinct decoders and buffers: the layout and the source are only read.
  BlockStatus decode(const HunkEntry& entry, std::vector<std::uint8_t>& bytes,
                     Decoder& decoder) const {
    // Cache slots and read-ahead entries get their hunk buffer when first used: a disc opened
    // to list one folder decodes a hunk or two, not the twenty hunks the buffers could hold.
    bytes.resize(layout_.header.hunkBytes);
    switch (entry.kind) {
      case HunkKind::Broken:
        return BlockStatus::FailedCheck;
      case HunkKind::Zero:
        std::memset(bytes.data(), 0, bytes.size());
        return BlockStatus::Good;
      case HunkKind::Stored:
        if (!readStored(entry, bytes)) return BlockStatus::Unreadable;
        break;
      case HunkKind::Codec: {
        if (entry.offset > source_->size() || source_->size() - entry.offset < entry.length)
          return BlockStatus::Unreadable;
        decoder.compressed.resize(entry.length);
        if (!source_->readAt(entry.offset, decoder.compressed)) return BlockStatus::Unreadable;
        auto& codec = decoder.codecs[entry.codec];
        if (!codec || !codec->decode(decoder.compressed, bytes)) return BlockStatus::FailedCheck;
        break;
      }
    }
    if (entry.hasCrc && chd::Crc16(bytes) != entry.crc) return BlockStatus::FailedCheck;
    return BlockStatus::Good;
  }

  bool readStored(const HunkEntry& entry, std::vector<std::uint8_t>& bytes) const {
    return entry.offset <= source_->size() && source_->size() - entry.offset >= bytes.size() &&
           source_->readAt(entry.offset, bytes);
  }

  std::unique_ptr<chd::ByteSource> source_;
  chd::Layout layout_;
  chd::CdTrack track_;
  std::uint32_t userOffset_;
  std::string path_;
  std::uint64_t endHunk_ = 0;  // one past the last hunk holding the track's frames

  std::uint32_t sectorSize_ = 0;  // bytes of each stored sector: 2048, 2336 or 2352
  SectorMode sectorMode_ = SectorMode::Mode1;

  std::mutex mutex_;  // guards everything down to aheadMutex_, and own_'s codecs
  bool addressTried_ = false;
  std::optional<std::uint32_t> addressBase_;
  std::array<Slot, kCachedHunks> cache_;
  Decoder own_;
  std::uint64_t clock_ = 0;
  // The last hunk of each stream (none yet: a hunk no stream continues), and the next to replace.
  std::array<std::uint32_t, kStreams> streams_{kNoHunk, kNoHunk, kNoHunk, kNoHunk};
  std::size_t nextStream_ = 0;
  bool helpersTried_ = false;

  std::mutex aheadMutex_;  // guards ahead_ (an entry's bytes are its decoder's while Decoding)
  std::condition_variable aheadChanged_;
  std::array<Ahead, kAheadHunks * 2> ahead_;
  bool stopping_ = false;
  std::vector<std::thread> helpers_;
};

std::unique_ptr<BlockDevice> Open(std::unique_ptr<chd::ByteSource> source, const std::string& name,
                                  MediaError& error) {
  auto fail = [&](const std::string& why) {
    error.message = "\"" + name + "\" " + why;
    return nullptr;
  };
  std::string why;
  auto layout = chd::ReadLayout(*source, why);
  if (!layout) return fail(why);
  // The Opera volume lives on the first track that holds 2048-byte data sectors.
  const auto track =
      std::find_if(layout->tracks.begin(), layout->tracks.end(),
                   [](const chd::CdTrack& t) { return chd::UserDataOffset(t.type).has_value(); });
  if (track == layout->tracks.end()) return fail("holds no data track (only audio).");
  const auto dataTrack = static_cast<std::size_t>(track - layout->tracks.begin());

  // Only the codecs the data track's hunks use must be decodable: audio hunks are never read.
  const std::uint32_t hunkBytes = layout->header.hunkBytes;
  const std::uint64_t firstHunk = track->chdFrame * chd::kFrameBytes / hunkBytes;
  const std::uint64_t endHunk = std::min<std::uint64_t>(
      layout->hunks.size(),
      ((track->chdFrame + track->frames) * chd::kFrameBytes + hunkBytes - 1) / hunkBytes);
  std::array<bool, 4> needed{};
  for (std::uint64_t h = firstHunk; h < endHunk; ++h) {
    const HunkEntry& entry = layout->hunks[static_cast<std::size_t>(h)];
    if (entry.kind == HunkKind::Codec) needed[entry.codec] = true;
  }
  std::array<std::unique_ptr<chd::HunkCodec>, 4> codecs;
  for (std::size_t slot = 0; slot < 4; ++slot) {
    const std::uint32_t tag = layout->header.codecs[slot];
    if (tag == 0) continue;
    codecs[slot] = chd::MakeHunkCodec(tag, hunkBytes, why);
    if (!codecs[slot] && needed[slot]) return fail(why);
  }
  return std::make_unique<ChdDevice>(std::move(source), std::move(*layout), dataTrack,
                                     std::move(codecs), name);
}

}  // namespace

bool HasChdSignature(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 8 && std::memcmp(bytes.data(), "MComprHD", 8) == 0;
}

std::unique_ptr<BlockDevice> OpenChd(ImageFile file, const std::string& path, MediaError& error) {
  const auto size = file.size();
  if (!size) {
    error.message = "The size of \"" + path + "\" could not be found.";
    return nullptr;
  }
  return Open(std::make_unique<FileSource>(std::move(file), *size), path, error);
}

std::unique_ptr<BlockDevice> OpenChdBytes(std::vector<std::uint8_t> bytes, const std::string& name,
                                          MediaError& error) {
  return Open(std::make_unique<MemorySource>(std::move(bytes)), name, error);
}

}  // namespace brindle::media
