// The chunk files of the console's tools: one chunk after another, each a four-letter id and a
// big-endian size that counts the eight header bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace brindle::pictures {

struct Chunk {
  std::array<char, 4> id{};
  std::size_t offset = 0;  // of the header, in the file
  std::size_t size = 0;    // header included; offset + size never passes the file's end

  bool is(const char (&four)[5]) const;
};

struct ChunkList {
  std::vector<Chunk> chunks;
  bool cutOff = false;  // a chunk header gave a size under 8 or past the end; the walk stopped
  std::array<char, 4> cutId{};  // the id of the chunk the walk stopped at

  // True when the walk stopped at a chunk with this id (a picture chunk cut short).
  bool cutAt(const char (&four)[5]) const;
};

// The chunks in bytes, in order, up to the first whose size does not fit. At most
// bytes.size() / 8 chunks.
ChunkList ReadChunks(std::span<const std::uint8_t> bytes);

// The first chunk with this id, or nothing.
const Chunk* FindChunk(const std::vector<Chunk>& chunks, const char (&four)[5]);

}  // namespace brindle::pictures
