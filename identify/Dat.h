// Preservation databases' DAT files: Logiqx XML (<game name> with <rom name size crc md5 sha1>
// per file) and the older clrmamepro text form (game ( name "..." rom ( name ... ) )). Both are
// read into the same games and roms. The text is untrusted: its size, depth and counts are
// capped, and what does not parse is reported with its line, never guessed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::identify {

inline constexpr std::uint64_t kMaxDatBytes = 512ull << 20;
inline constexpr std::size_t kMaxDatRomsPerGame = 4096;

struct DatRom {
  std::string name;
  std::optional<std::uint64_t> size;
  std::optional<std::uint32_t> crc32;
  std::string md5;   // lower-case hexadecimal; empty when the DAT gives none
  std::string sha1;  // likewise
  int line = 0;
};

struct DatGame {
  std::string name;
  std::string description;
  std::vector<DatRom> roms;
  int line = 0;
};

struct Dat {
  std::string name;  // the DAT's own name from its header, where it has one
  std::string file;  // the file it came from, for messages
  std::vector<DatGame> games;
};

// The DAT in text (XML when it starts with '<', the text form otherwise); file names it in
// error. Nothing, with error set to "FILE line N: why", when it does not parse.
std::optional<Dat> ParseDat(std::string_view text, const std::string& file, std::string& error);

// The DAT file at path, read whole (up to kMaxDatBytes); nothing, with error set, when it cannot
// be read or does not parse.
std::optional<Dat> LoadDat(const std::string& path, std::string& error);

}  // namespace brindle::identify
