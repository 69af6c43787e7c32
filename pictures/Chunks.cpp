#include "pictures/Chunks.h"

#include <algorithm>
#include <cstring>

#include "pictures/Bytes.h"

namespace brindle::pictures {

bool Chunk::is(const char (&four)[5]) const {
  return std::memcmp(id.data(), four, 4) == 0;
}

ChunkList ReadChunks(std::span<const std::uint8_t> bytes) {
  ChunkList list;
  std::size_t at = 0;
  while (bytes.size() - at >= 8) {
    const std::uint32_t size = *Be32(bytes, at + 4);
    if (size < 8 || size > bytes.size() - at) {
      list.cutOff = true;
      std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 4, list.cutId.begin());
      break;
    }
    Chunk chunk;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 4, chunk.id.begin());
    chunk.offset = at;
    chunk.size = size;
    list.chunks.push_back(chunk);
    at += size;
  }
  // A few bytes of padding after the last chunk are common; more is a chunk cut short, and its
  // id tells which (a file cut inside a chunk's size field is cut off, not missing that chunk).
  if (!list.cutOff && bytes.size() - at >= 4) {
    list.cutOff = true;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 4, list.cutId.begin());
  }
  return list;
}

bool ChunkList::cutAt(const char (&four)[5]) const {
  return cutOff && std::memcmp(cutId.data(), four, 4) == 0;
}

const Chunk* FindChunk(const std::vector<Chunk>& chunks, const char (&four)[5]) {
  for (const Chunk& chunk : chunks)
    if (chunk.is(four)) return &chunk;
  return nullptr;
}

}  // namespace brindle::pictures
