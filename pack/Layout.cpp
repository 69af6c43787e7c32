#include "pack/Layout.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "output/Names.h"
#include "output/OutputFile.h"

namespace brindle::pack {
namespace {

using Json = nlohmann::json;

std::optional<std::string> Latin1Text(const Json& value) {
  if (!value.is_string()) return std::nullopt;
  return output::Utf8ToLatin1(value.get<std::string>());
}

template <typename T>
std::optional<T> Number(const Json& object, const char* key, std::uint64_t max,
                        std::uint64_t min = 0) {
  const auto it = object.find(key);
  if (it == object.end()) return std::nullopt;
  if (!it->is_number_unsigned() || it->get<std::uint64_t>() > max || it->get<std::uint64_t>() < min)
    throw std::invalid_argument(std::string("\"") + key + "\" is not a number from " +
                                std::to_string(min) + " to " + std::to_string(max));
  return static_cast<T>(it->get<std::uint64_t>());
}

std::string TypeUtf8(const std::array<std::uint8_t, 4>& type) {
  return output::Latin1ToUtf8(std::string(type.begin(), type.end()));
}

}  // namespace

std::optional<Layout> ReadLayout(const std::string& path, std::string& error) {
  std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())),
                   std::ios::binary);
  if (!in) {
    error = "cannot be read";
    return std::nullopt;
  }
  try {
    const Json json = Json::parse(in);
    Layout layout;
    if (const auto volume = json.find("volume"); volume != json.end() && volume->is_object()) {
      if (volume->contains("name")) layout.volumeName = Latin1Text((*volume)["name"]);
      if (volume->contains("comment")) layout.comment = Latin1Text((*volume)["comment"]);
      layout.id = Number<std::uint32_t>(*volume, "id", 0xFFFFFFFFu);
      layout.rootId = Number<std::uint32_t>(*volume, "rootId", 0xFFFFFFFFu);
      layout.copies = Number<int>(*volume, "copies", 8, 1);
    }
    for (const Json& item : json.value("entries", Json::array())) {
      const auto entryPath = item.contains("path") ? Latin1Text(item["path"]) : std::nullopt;
      if (!entryPath) throw std::invalid_argument("an entry without a Latin-1 \"path\"");
      LayoutEntry entry;
      entry.order = Number<std::uint64_t>(item, "order", 0xFFFFFFFFu);
      entry.id = Number<std::uint32_t>(item, "id", 0xFFFFFFFFu);
      entry.flags = Number<std::uint32_t>(item, "flags", 0xFFFFFFFFu);
      entry.copies = Number<int>(item, "copies", 8, 1);
      if (item.contains("type")) {
        const auto text = Latin1Text(item["type"]);
        if (!text || text->size() != 4)
          throw std::invalid_argument("the type of \"" + item["path"].get<std::string>() +
                                      "\" is not four characters");
        entry.type.emplace();
        std::copy(text->begin(), text->end(), entry.type->begin());
      }
      layout.entries[*entryPath] = entry;
    }
    return layout;
  } catch (const std::exception& e) {
    error = e.what();
    return std::nullopt;
  }
}

std::string LayoutJson(const opera::VolumeLabel& label, const opera::Tree& tree) {
  Json json;
  json["volume"] = {{"name", output::Latin1ToUtf8(label.label)},
                    {"comment", output::Latin1ToUtf8(label.comment)},
                    {"id", label.id},
                    {"rootId", label.rootId},
                    {"copies", label.rootCopies.empty() ? 1 : label.rootCopies.size()}};
  Json entries = Json::array();
  std::map<std::int64_t, std::uint64_t> counts;  // entries seen so far per parent
  for (const opera::WalkedEntry& w : tree.entries) {
    const opera::Entry& e = w.entry;
    entries.push_back({{"path", output::Latin1ToUtf8(w.path)},
                       {"order", counts[w.parent]++},
                       {"type", TypeUtf8(e.type)},
                       {"id", e.id},
                       {"flags", e.flags},
                       {"copies", e.copies.empty() ? 1 : e.copies.size()}});
  }
  json["entries"] = std::move(entries);
  return json.dump(1) + "\n";
}

bool WriteLayoutFile(const opera::Volume& volume, const opera::DirectoryRef& start,
                     const std::string& path, std::string& error) {
  const std::string text = LayoutJson(volume.label(), opera::Walk(volume, start));
  auto file = output::OutputFile::Replace(path);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  if (!file || !file->writeAt(0, std::span(bytes, text.size())) || !file->close()) {
    error = "cannot be written";
    return false;
  }
  return true;
}

}  // namespace brindle::pack
