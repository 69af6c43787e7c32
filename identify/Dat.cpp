#include "identify/Dat.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>

namespace brindle::identify {
namespace {

constexpr int kMaxDepth = 64;

// Thrown inside the parsers only, caught in ParseDat: carries the line and the reason.
struct ParseFailure {
  int line;
  std::string why;
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsHex(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// A rom's fields from its attributes, checked.
DatRom MakeRom(const std::map<std::string, std::string>& fields, int line) {
  DatRom rom;
  rom.line = line;
  auto field = [&](const char* key) -> std::string {
    const auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
  };
  rom.name = field("name");
  if (const std::string size = field("size"); !size.empty()) {
    if (size.size() > 15 ||
        !std::all_of(size.begin(), size.end(), [](char c) { return c >= '0' && c <= '9'; }))
      throw ParseFailure{line, "rom size \"" + size + "\" is not a number"};
    rom.size = std::stoull(size);
  }
  if (const std::string crc = field("crc"); !crc.empty()) {
    if (crc.size() > 8 || !IsHex(crc))
      throw ParseFailure{line, "rom crc \"" + crc + "\" is not 8 hexadecimal digits"};
    rom.crc32 = static_cast<std::uint32_t>(std::stoul(crc, nullptr, 16));
  }
  rom.md5 = Lower(field("md5"));
  if (!rom.md5.empty() && (rom.md5.size() != 32 || !IsHex(rom.md5)))
    throw ParseFailure{line, "rom md5 \"" + rom.md5 + "\" is not 32 hexadecimal digits"};
  rom.sha1 = Lower(field("sha1"));
  if (!rom.sha1.empty() && (rom.sha1.size() != 40 || !IsHex(rom.sha1)))
    throw ParseFailure{line, "rom sha1 \"" + rom.sha1 + "\" is not 40 hexadecimal digits"};
  return rom;
}

void AddRom(DatGame& game, DatRom rom) {
  if (game.roms.size() >= kMaxDatRomsPerGame)
    throw ParseFailure{rom.line,
                       "more than " + std::to_string(kMaxDatRomsPerGame) + " roms in a game"};
  game.roms.push_back(std::move(rom));
}

// Logiqx XML: elements, attributes, text, comments, declarations; entities decoded.
class XmlParser {
 public:
  XmlParser(std::string_view text, Dat& dat) : text_(text), dat_(dat) {}

  void parse() {
    std::vector<std::string> open;
    while (skipText(open), at_ < text_.size()) {
      if (starts("<!--")) {
        skipPast("-->", "comment");
      } else if (starts("<?")) {
        skipPast("?>", "declaration");
      } else if (starts("<!")) {
        skipPast(">", "declaration");
      } else if (starts("</")) {
        at_ += 2;
        const std::string name = readName();
        skipSpace();
        expect('>');
        if (open.empty() || open.back() != name)
          fail("</" + name + "> closes " + (open.empty() ? "nothing" : "<" + open.back() + ">"));
        close(name);
        open.pop_back();
      } else {
        ++at_;
        const int line = line_;
        const std::string name = readName();
        std::map<std::string, std::string> attributes;
        for (;;) {
          skipSpace();
          if (at_ >= text_.size()) fail("<" + name + "> is not closed");
          if (text_[at_] == '>' || starts("/>")) break;
          const std::string key = readName();
          skipSpace();
          expect('=');
          skipSpace();
          attributes[key] = readQuoted();
        }
        const bool empty = starts("/>");
        at_ += empty ? 2 : 1;
        openElement(name, attributes, open, line);
        if (empty) {
          close(name);
        } else {
          if (open.size() >= kMaxDepth) fail("elements nested too deeply");
          open.push_back(name);
        }
      }
    }
    if (!open.empty()) fail("<" + open.back() + "> is not closed at the end of the file");
  }

 private:
  [[noreturn]] void fail(const std::string& why) const { throw ParseFailure{line_, why}; }
  bool starts(std::string_view s) const { return text_.substr(at_, s.size()) == s; }
  void advance() {
    if (text_[at_] == '\n') ++line_;
    ++at_;
  }
  void skipSpace() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) advance();
  }
  void skipPast(std::string_view end, const char* what) {
    while (at_ < text_.size() && !starts(end)) advance();
    if (at_ >= text_.size()) fail(std::string(what) + " is not closed");
    at_ += end.size();
  }
  void expect(char c) {
    if (at_ >= text_.size() || text_[at_] != c) fail(std::string("expected '") + c + "'");
    ++at_;
  }
  std::string readName() {
    const std::size_t start = at_;
    while (at_ < text_.size() &&
           (std::isalnum(static_cast<unsigned char>(text_[at_])) ||
            std::string_view("_-.:").find(text_[at_]) != std::string_view::npos))
      ++at_;
    if (at_ == start) fail("expected a name");
    return std::string(text_.substr(start, at_ - start));
  }
  std::string readQuoted() {
    if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\''))
      fail("expected a quoted value");
    const char quote = text_[at_++];
    std::string raw;
    while (at_ < text_.size() && text_[at_] != quote) {
      if (text_[at_] == '<') fail("'<' inside a value");
      raw += text_[at_];
      advance();
    }
    if (at_ >= text_.size()) fail("a value is not closed");
    ++at_;
    return Decode(raw);
  }
  // Character data up to the next '<', kept for the element that holds it.
  void skipText(const std::vector<std::string>& open) {
    std::string raw;
    while (at_ < text_.size() && text_[at_] != '<') {
      raw += text_[at_];
      advance();
    }
    if (!open.empty() && (open.back() == "description" || open.back() == "name"))
      text_held_ += Decode(raw);
  }
  std::string Decode(const std::string& raw) const {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '&') {
        out += raw[i];
        continue;
      }
      const std::size_t end = raw.find(';', i);
      if (end == std::string::npos || end - i > 10) fail("a '&' that starts no entity");
      const std::string entity = raw.substr(i + 1, end - i - 1);
      static const std::map<std::string, char> kNamed{
          {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
      if (const auto it = kNamed.find(entity); it != kNamed.end()) {
        out += it->second;
      } else if (entity.size() > 1 && entity[0] == '#') {
        const bool hex = entity[1] == 'x' || entity[1] == 'X';
        const std::string digits = entity.substr(hex ? 2 : 1);
        if (digits.empty() || (hex ? !IsHex(digits)
                                   : !std::all_of(digits.begin(), digits.end(),
                                                  [](char c) { return c >= '0' && c <= '9'; })))
          fail("unknown entity &" + entity + ";");
        const unsigned long code = std::stoul(digits, nullptr, hex ? 16 : 10);
        if (code == 0 || code > 0x10FFFF) fail("unknown entity &" + entity + ";");
        AppendUtf8(out, static_cast<std::uint32_t>(code));
      } else {
        fail("unknown entity &" + entity + ";");
      }
      i = end;
    }
    return out;
  }
  static void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | code >> 6);
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | code >> 12);
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | code >> 18);
      out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  void openElement(const std::string& name, const std::map<std::string, std::string>& attributes,
                   const std::vector<std::string>& open, int line) {
    text_held_.clear();
    if (name == "game" || name == "machine") {
      if (game_) fail("<" + name + "> inside another game");
      game_.emplace();
      game_->line = line;
      if (const auto it = attributes.find("name"); it != attributes.end()) game_->name = it->second;
    } else if (name == "rom") {
      if (!game_) fail("<rom> outside a game");
      AddRom(*game_, MakeRom(attributes, line));
    }
    (void)open;
  }
  void close(const std::string& name) {
    if ((name == "game" || name == "machine") && game_) {
      dat_.games.push_back(std::move(*game_));
      game_.reset();
    } else if (name == "description" && game_) {
      game_->description = text_held_;
    } else if (name == "name" && !game_ && dat_.name.empty()) {
      dat_.name = text_held_;
    }
  }

  std::string_view text_;
  Dat& dat_;
  std::size_t at_ = 0;
  int line_ = 1;
  std::optional<DatGame> game_;
  std::string text_held_;
};

// The clrmamepro text form: blocks of `key value` pairs, a value a word, a quoted string or a
// parenthesised block.
class TextParser {
 public:
  TextParser(std::string_view text, Dat& dat) : text_(text), dat_(dat) {}

  void parse() {
    for (;;) {
      Token key = next();
      if (key.kind == Token::End) return;
      if (key.kind != Token::Word) fail(key.line, "expected a block name");
      Token open = next();
      if (open.kind != Token::Open) fail(open.line, "expected '(' after " + key.text);
      const std::string block = Lower(key.text);
      if (block == "game" || block == "machine" || block == "resource") {
        DatGame game;
        game.line = key.line;
        readPairs(
            [&](const std::string& k, const Token& value) {
              if (k == "name") game.name = value.text;
              if (k == "description") game.description = value.text;
            },
            [&](const std::string& k, int line) {
              if (k == "rom" || k == "disk") {
                std::map<std::string, std::string> fields;
                readPairs(
                    [&](const std::string& f, const Token& value) { fields[f] = value.text; },
                    [&](const std::string&, int inner) { fail(inner, "a block inside a rom"); }, 1);
                AddRom(game, MakeRom(fields, line));
              } else {
                skipBlock(1);
              }
            },
            0);
        dat_.games.push_back(std::move(game));
      } else {
        readPairs(
            [&](const std::string& k, const Token& value) {
              if (block == "clrmamepro" && k == "name") dat_.name = value.text;
            },
            [&](const std::string&, int) { skipBlock(1); }, 0);
      }
    }
  }

 private:
  struct Token {
    enum Kind { Word, Open, Close, End } kind = End;
    std::string text;
    int line = 0;
  };

  [[noreturn]] static void fail(int line, const std::string& why) { throw ParseFailure{line, why}; }

  Token next() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) {
      if (text_[at_] == '\n') ++line_;
      ++at_;
    }
    Token token;
    token.line = line_;
    if (at_ >= text_.size()) return token;
    const char c = text_[at_];
    if (c == '(' || c == ')') {
      ++at_;
      token.kind = c == '(' ? Token::Open : Token::Close;
      return token;
    }
    token.kind = Token::Word;
    if (c == '"') {
      ++at_;
      while (at_ < text_.size() && text_[at_] != '"') {
        if (text_[at_] == '\n') fail(token.line, "a quoted value is not closed on its line");
        token.text += text_[at_++];
      }
      if (at_ >= text_.size()) fail(token.line, "a quoted value is not closed");
      ++at_;
      return token;
    }
    while (at_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[at_])) &&
           text_[at_] != '(' && text_[at_] != ')')
      token.text += text_[at_++];
    return token;
  }

  // Reads `key value` pairs and `key ( ... )` blocks up to the closing ')'.
  template <typename OnPair, typename OnBlock>
  void readPairs(OnPair onPair, OnBlock onBlock, int depth) {
    if (depth > kMaxDepth) fail(line_, "blocks nested too deeply");
    for (;;) {
      Token key = next();
      if (key.kind == Token::Close) return;
      if (key.kind == Token::End) fail(key.line, "a block is not closed at the end of the file");
      if (key.kind != Token::Word) fail(key.line, "expected a field name");
      Token value = next();
      if (value.kind == Token::Open) {
        onBlock(Lower(key.text), key.line);
      } else if (value.kind == Token::Word) {
        onPair(Lower(key.text), value);
      } else {
        fail(value.line, "field " + key.text + " has no value");
      }
    }
  }
  void skipBlock(int depth) {
    readPairs([](const std::string&, const Token&) {},
              [&](const std::string&, int) { skipBlock(depth + 1); }, depth);
  }

  std::string_view text_;
  Dat& dat_;
  std::size_t at_ = 0;
  int line_ = 1;
};

}  // namespace

std::optional<Dat> ParseDat(std::string_view text, const std::string& file, std::string& error) {
  Dat dat;
  dat.file = file;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  try {
    if (first != std::string_view::npos && text[first] == '<') {
      XmlParser(text, dat).parse();
    } else {
      TextParser(text, dat).parse();
    }
  } catch (const ParseFailure& failure) {
    error = file + " line " + std::to_string(failure.line) + ": " + failure.why;
    return std::nullopt;
  }
  return dat;
}

std::optional<Dat> LoadDat(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "\"" + path + "\" could not be opened for reading.";
    return std::nullopt;
  }
  in.seekg(0, std::ios::end);
  const auto size = static_cast<std::uint64_t>(in.tellg());
  if (size > kMaxDatBytes) {
    error = "\"" + path + "\" is too large for a DAT file (" + std::to_string(size) + " bytes).";
    return std::nullopt;
  }
  in.seekg(0);
  std::string text(static_cast<std::size_t>(size), '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(size))) {
    error = "\"" + path + "\" could not be read.";
    return std::nullopt;
  }
  return ParseDat(text, path, error);
}

}  // namespace brindle::identify
