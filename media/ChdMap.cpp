#include "media/ChdMap.h"

#include <algorithm>
#include <array>

namespace brindle::media::chd {
namespace {

// How each hunk is stored, as the compressed map codes it. The first seven are what a hunk is;
// the rest are shorthands that only exist in the coded map.
enum MapCode : std::uint8_t {
  kCodec0 = 0,
  kCodec3 = 3,
  kStored = 4,
  kSelf = 5,
  kParent = 6,
  kRunShort = 7,     // the last code for this hunk and 2 + (4-bit count) more
  kRunLong = 8,      // the last code for this hunk and 18 + (8-bit count) more
  kSelfSame = 9,     // same hunk as the last self reference
  kSelfNext = 10,    // the hunk after the last self reference
  kParentSelf = 11,  // the parent's hunk at this same position
  kParentSame = 12,
  kParentNext = 13,
  kCodeCount = 16,
};

constexpr std::size_t kMapHeaderBytes = 16;
constexpr int kCodeMaxBits = 8;      // longest Huffman code of a map's hunk codes
constexpr int kSelfChainLimit = 16;  // a self reference repeating a self reference ...

std::uint64_t BigEndian(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (std::uint8_t b : bytes) value = value << 8 | b;
  return value;
}

// Bits most significant first; reading past the end gives zeros and marks the reader overrun.
class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint32_t peek(int bits) const {
    std::uint32_t value = 0;
    for (int i = 0; i < bits; ++i) {
      const std::uint64_t at = position_ + i;
      const std::size_t byte = static_cast<std::size_t>(at >> 3);
      const int bit = byte < bytes_.size() ? (bytes_[byte] >> (7 - (at & 7))) & 1 : 0;
      value = value << 1 | static_cast<std::uint32_t>(bit);
    }
    return value;
  }
  void skip(int bits) {
    position_ += static_cast<std::uint64_t>(bits);
    if (position_ > bytes_.size() * 8ull) overrun_ = true;
  }
  std::uint32_t read(int bits) {
    const std::uint32_t value = peek(bits);
    skip(bits);
    return value;
  }
  bool overrun() const { return overrun_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::uint64_t position_ = 0;
  bool overrun_ = false;
};

// The canonical Huffman code of the map's hunk codes, sent as run-length coded code lengths.
class CodeTable {
 public:
  // False when the lengths are malformed or do not make a usable prefix code.
  bool load(BitReader& bits) {
    constexpr int kLengthBits = 4;  // enough for lengths up to kCodeMaxBits
    int code = 0;
    while (code < kCodeCount) {
      const auto length = static_cast<int>(bits.read(kLengthBits));
      if (length != 1) {
        lengths_[code++] = length;
        continue;
      }
      // A 1 escapes: 1 again is a real length of 1, anything else is repeated 3 + n times.
      const auto repeated = static_cast<int>(bits.read(kLengthBits));
      if (repeated == 1) {
        lengths_[code++] = 1;
        continue;
      }
      const int count = static_cast<int>(bits.read(kLengthBits)) + 3;
      if (code + count > kCodeCount) return false;
      for (int i = 0; i < count; ++i) lengths_[code++] = repeated;
    }
    if (bits.overrun()) return false;
    return build();
  }

  // The next code, or nothing when the bits match no code.
  std::optional<std::uint8_t> decode(BitReader& bits) const {
    const Entry entry = lookup_[bits.peek(kCodeMaxBits)];
    if (entry.length == 0) return std::nullopt;
    bits.skip(entry.length);
    return entry.symbol;
  }

 private:
  struct Entry {
    std::uint8_t symbol = 0;
    std::uint8_t length = 0;  // 0: no code starts with these bits
  };

  // Codes are handed out longest first, each length starting where the longer ones left off.
  bool build() {
    std::array<std::uint32_t, kCodeMaxBits + 1> perLength{};
    for (int length : lengths_) {
      if (length > kCodeMaxBits) return false;
      ++perLength[length];
    }
    std::array<std::uint32_t, kCodeMaxBits + 1> firstCode{};
    std::uint32_t start = 0;
    for (int length = kCodeMaxBits; length > 0; --length) {
      const std::uint32_t total = start + perLength[length];
      if (length != 1 && total % 2 != 0) return false;
      firstCode[length] = start;
      start = total / 2;
    }
    for (int symbol = 0; symbol < kCodeCount; ++symbol) {
      const int length = lengths_[symbol];
      if (length == 0) continue;
      const std::uint32_t code = firstCode[length]++;
      const int shift = kCodeMaxBits - length;
      const std::uint32_t begin = code << shift;
      const std::uint32_t end = (code + 1) << shift;
      if (end > lookup_.size()) return false;
      for (std::uint32_t i = begin; i < end; ++i)
        lookup_[i] = Entry{static_cast<std::uint8_t>(symbol), static_cast<std::uint8_t>(length)};
    }
    return true;
  }

  std::array<int, kCodeCount> lengths_{};
  std::array<Entry, 1 << kCodeMaxBits> lookup_{};
};

// The CRC16 of the decoded map is taken over each hunk's 12-byte form: code, 24-bit length,
// 48-bit offset, CRC.
std::uint16_t AddToMapCrc(std::uint16_t crc, std::uint8_t code, std::uint32_t length,
                          std::uint64_t offset, std::uint16_t hunkCrc) {
  std::array<std::uint8_t, 12> raw{};
  raw[0] = code;
  for (int i = 0; i < 3; ++i) raw[1 + i] = static_cast<std::uint8_t>(length >> (8 * (2 - i)));
  for (int i = 0; i < 6; ++i) raw[4 + i] = static_cast<std::uint8_t>(offset >> (8 * (5 - i)));
  raw[10] = static_cast<std::uint8_t>(hunkCrc >> 8);
  raw[11] = static_cast<std::uint8_t>(hunkCrc);
  return Crc16(raw, crc);
}

std::optional<std::vector<HunkEntry>> ReadPlainMap(const ByteSource& source, const Header& header,
                                                   std::string& why) {
  const std::uint64_t bytes = std::uint64_t(header.hunkCount) * 4;
  if (header.mapOffset > source.size() || source.size() - header.mapOffset < bytes) {
    why = "is cut off: its hunk map ends past the end of the file.";
    return std::nullopt;
  }
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(bytes));
  if (!source.readAt(header.mapOffset, raw)) {
    why = "could not be read (its hunk map).";
    return std::nullopt;
  }
  std::vector<HunkEntry> hunks(header.hunkCount);
  for (std::uint32_t i = 0; i < header.hunkCount; ++i) {
    HunkEntry& hunk = hunks[i];
    hunk.dataHunk = i;
    const std::uint64_t position = BigEndian(std::span(raw).subspan(i * 4, 4));
    hunk.offset = position * header.hunkBytes;
    hunk.length = header.hunkBytes;
    hunk.kind = position == 0 ? HunkKind::Zero : HunkKind::Stored;
  }
  return hunks;
}

}  // namespace

std::optional<std::vector<HunkEntry>> ReadMap(const ByteSource& source, const Header& header,
                                              std::string& why) {
  if (!header.compressed) return ReadPlainMap(source, header, why);

  std::array<std::uint8_t, kMapHeaderBytes> head{};
  if (header.mapOffset > source.size() || source.size() - header.mapOffset < kMapHeaderBytes ||
      !source.readAt(header.mapOffset, head)) {
    why = "is cut off: its hunk map is missing.";
    return std::nullopt;
  }
  const std::uint64_t mapBytes = BigEndian(std::span(head).subspan(0, 4));
  std::uint64_t nextOffset = BigEndian(std::span(head).subspan(4, 6));
  const auto mapCrc = static_cast<std::uint16_t>(BigEndian(std::span(head).subspan(10, 2)));
  const int lengthBits = head[12];
  const int selfBits = head[13];
  const int parentBits = head[14];
  if (lengthBits > 24 || selfBits > 32 || parentBits > 32) {
    why = "has a damaged hunk map (field widths out of range).";
    return std::nullopt;
  }
  if (source.size() - header.mapOffset - kMapHeaderBytes < mapBytes) {
    why = "is cut off: its hunk map ends past the end of the file.";
    return std::nullopt;
  }
  std::vector<std::uint8_t> coded(static_cast<std::size_t>(mapBytes));
  if (!source.readAt(header.mapOffset + kMapHeaderBytes, coded)) {
    why = "could not be read (its hunk map).";
    return std::nullopt;
  }

  BitReader bits(coded);
  CodeTable table;
  if (!table.load(bits)) {
    why = "has a damaged hunk map (its code table is malformed).";
    return std::nullopt;
  }
  // First pass: the code of every hunk, runs expanded.
  std::vector<std::uint8_t> codes(header.hunkCount);
  std::uint8_t last = 0;
  for (std::uint32_t i = 0; i < header.hunkCount;) {
    const auto code = table.decode(bits);
    if (!code || bits.overrun()) {
      why = "has a damaged hunk map (it ends early or holds an unknown code).";
      return std::nullopt;
    }
    std::uint32_t count = 1;
    if (*code == kRunShort || *code == kRunLong) {
      const auto high = table.decode(bits);
      std::optional<std::uint8_t> low = std::uint8_t{0};
      if (*code == kRunLong) low = table.decode(bits);
      if (!high || !low) {
        why = "has a damaged hunk map (a run has no length).";
        return std::nullopt;
      }
      count = *code == kRunShort ? 3u + *high : 19u + (std::uint32_t(*high) << 4) + *low;
    } else {
      last = *code;
    }
    for (std::uint32_t n = 0; n < count && i < header.hunkCount; ++n) codes[i++] = last;
  }

  // Second pass: each hunk's fields, in the same bit stream.
  std::vector<HunkEntry> hunks(header.hunkCount);
  std::vector<std::uint64_t> selfTarget(header.hunkCount, ~0ull);
  std::uint16_t crc = 0xFFFF;
  std::uint64_t lastSelf = 0;
  bool parentUsed = false;
  const std::uint64_t unitsPerHunk = header.hunkBytes / header.unitBytes;
  std::uint64_t lastParent = 0;
  for (std::uint32_t i = 0; i < header.hunkCount; ++i) {
    HunkEntry& hunk = hunks[i];
    hunk.dataHunk = i;
    std::uint8_t code = codes[i];
    std::uint64_t offset = nextOffset;
    std::uint32_t length = 0;
    std::uint16_t hunkCrc = 0;
    switch (code) {
      case kStored:
        length = header.hunkBytes;
        [[fallthrough]];
      case 0:
      case 1:
      case 2:
      case 3:
        if (code != kStored) length = bits.read(lengthBits);
        hunkCrc = static_cast<std::uint16_t>(bits.read(16));
        nextOffset += length;
        hunk.kind = code == kStored ? HunkKind::Stored : HunkKind::Codec;
        hunk.codec = code == kStored ? 0 : code;
        if (code != kStored && (header.codecs[code] == 0 || length > 2 * header.hunkBytes))
          hunk.kind = HunkKind::Broken;
        hunk.hasCrc = true;
        break;
      case kSelfNext:
      case kSelfSame:
      case kSelf:
        if (code == kSelf) lastSelf = bits.read(selfBits);
        if (code == kSelfNext) ++lastSelf;
        code = kSelf;
        offset = lastSelf;
        selfTarget[i] = lastSelf;
        break;
      case kParent:
      case kParentSelf:
      case kParentSame:
      case kParentNext:
        if (code == kParent) lastParent = bits.read(parentBits);
        if (code == kParentSelf) lastParent = std::uint64_t(i) * unitsPerHunk;
        if (code == kParentNext) lastParent += unitsPerHunk;
        code = kParent;
        offset = lastParent;
        parentUsed = true;
        break;
      default:
        why = "has a damaged hunk map (an unknown hunk kind).";
        return std::nullopt;
    }
    hunk.offset = offset;
    hunk.length = length;
    hunk.crc = hunkCrc;
    crc = AddToMapCrc(crc, code, length, offset & 0xFFFFFFFFFFFFull, hunkCrc);
    if (code == kSelf) hunk.kind = HunkKind::Broken;  // resolved below
  }
  if (bits.overrun()) {
    why = "has a damaged hunk map (it ends early).";
    return std::nullopt;
  }
  if (crc != mapCrc) {
    why = "has a damaged hunk map (its CRC does not match).";
    return std::nullopt;
  }
  if (parentUsed) {
    why = "refers to hunks of a parent CHD file, which this reader does not open.";
    return std::nullopt;
  }
  // A self reference repeats another hunk's stored bytes; follow chains a little way, and leave
  // anything that goes nowhere Broken (its blocks then fail their check).
  for (std::uint32_t i = 0; i < header.hunkCount; ++i) {
    std::uint64_t target = selfTarget[i];
    for (int step = 0; step < kSelfChainLimit && target < header.hunkCount && target != i; ++step) {
      const auto at = static_cast<std::size_t>(target);
      if (selfTarget[at] == ~0ull) {
        hunks[i] = hunks[at];
        hunks[i].dataHunk = static_cast<std::uint32_t>(target);
        break;
      }
      target = selfTarget[at];
    }
  }
  return hunks;
}

}  // namespace brindle::media::chd
