#include "pack/HostTree.h"

#include <algorithm>
#include <filesystem>

#include "opera/Format.h"
#include "output/Names.h"

namespace brindle::pack {
namespace {

namespace fs = std::filesystem;

fs::path Native(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string LowerExtension(const std::string& name) {
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::string ext = name.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

class Scanner {
 public:
  Scanner(const HostOptions& options, std::vector<std::string>& problems)
      : options_(options), problems_(problems) {}

  // The children of the folder at host path dir, whose disc path is path (Latin-1) and whose
  // path as given by the user is shown (UTF-8).
  void scan(const fs::path& dir, const std::string& path, const std::string& shown, int copies,
            Node& node) {
    std::error_code ec;
    std::vector<fs::directory_entry> items;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
      items.push_back(*it);
    if (ec) {
      problems_.push_back(shown + ": cannot be read (" + ec.message() + ")");
      return;
    }
    for (const fs::directory_entry& item : items) {
      const std::string hostName = Utf8(item.path().filename());
      const std::string where = shown.empty() ? hostName : shown + "/" + hostName;
      const auto name = output::Utf8ToLatin1(hostName);
      if (!name) {
        problems_.push_back(where +
                            ": the name has characters a disc name (8-bit Latin-1) "
                            "cannot hold");
        continue;
      }
      if (name->size() > opera::kMaxNameLength) {
        problems_.push_back(where + ": the name is " + std::to_string(name->size()) +
                            " bytes long; a disc name holds at most " +
                            std::to_string(opera::kMaxNameLength));
        continue;
      }
      const std::string childPath = path.empty() ? *name : path + "/" + *name;
      Node child;
      child.name = *name;
      child.copies = copiesFor(where, copies);
      const auto status = item.symlink_status(ec);
      const auto target = item.status(ec);
      if (fs::is_directory(status)) {
        child.directory = true;
        applyLayout(childPath, where, child);
        scan(item.path(), childPath, where, copiesFor(where, copies), child);
      } else if (fs::is_regular_file(target)) {
        child.hostPath = Utf8(item.path());
        child.size = fs::file_size(item.path(), ec);
        if (ec) {
          problems_.push_back(where + ": cannot be read (" + ec.message() + ")");
          continue;
        }
        const auto& types = options_.types;
        const std::string ext = LowerExtension(*name);
        if (const auto t = types.find(ext); t != types.end()) {
          child.type = t->second;
        } else if (const auto d = DefaultTypes().find(ext); d != DefaultTypes().end()) {
          child.type = d->second;
        }
        applyLayout(childPath, where, child);
      } else if (fs::is_directory(target)) {
        problems_.push_back(where + ": a link to a folder; links to folders are not followed");
        continue;
      } else {
        problems_.push_back(where + ": neither a file nor a folder");
        continue;
      }
      node.children.push_back(std::move(child));
    }
    order(path, node);
  }

 private:
  int copiesFor(const std::string& where, int inherited) const {
    if (const auto it = options_.copiesByPath.find(where); it != options_.copiesByPath.end())
      return it->second;
    return inherited;
  }

  void applyLayout(const std::string& path, const std::string& where, Node& node) const {
    if (!options_.layout) return;
    const auto it = options_.layout->entries.find(path);
    if (it == options_.layout->entries.end()) return;
    const LayoutEntry& e = it->second;
    if (e.type && !node.directory) node.type = *e.type;
    node.id = e.id;
    if (e.flags) node.kind = *e.flags & 0x3FFFFFFFu;
    // A count given on the command line for this path wins.
    if (e.copies && !options_.copiesByPath.count(where)) node.copies = *e.copies;
  }

  // Sorted by name; entries the layout places come first, in its order.
  void order(const std::string& path, Node& node) const {
    const auto rank = [&](const Node& child) -> std::uint64_t {
      if (!options_.layout) return 0;
      const std::string childPath = path.empty() ? child.name : path + "/" + child.name;
      const auto it = options_.layout->entries.find(childPath);
      return it == options_.layout->entries.end() || !it->second.order ? UINT64_MAX
                                                                       : *it->second.order;
    };
    std::stable_sort(node.children.begin(), node.children.end(), [&](const Node& a, const Node& b) {
      const auto ra = rank(a), rb = rank(b);
      return ra != rb ? ra < rb : a.name < b.name;
    });
  }

  const HostOptions& options_;
  std::vector<std::string>& problems_;
};

}  // namespace

const std::map<std::string, std::array<std::uint8_t, 4>>& DefaultTypes() {
  static const std::map<std::string, std::array<std::uint8_t, 4>> kTypes{
      {"aif", {'A', 'I', 'F', 'F'}}, {"aiff", {'A', 'I', 'F', 'F'}}, {"anim", {'A', 'N', 'I', 'M'}},
      {"cel", {'C', 'E', 'L', ' '}}, {"imag", {'I', 'M', 'A', 'G'}}, {"txt", {'T', 'E', 'X', 'T'}},
  };
  return kTypes;
}

std::optional<Node> ScanHostTree(const std::string& folder, const HostOptions& options,
                                 std::vector<std::string>& problems) {
  const std::size_t before = problems.size();
  std::error_code ec;
  if (!fs::is_directory(Native(folder), ec)) {
    problems.push_back(folder + ": not a folder");
    return std::nullopt;
  }
  Node root;
  root.directory = true;
  Scanner(options, problems).scan(Native(folder), "", "", options.copies, root);
  if (problems.size() != before) return std::nullopt;
  return root;
}

}  // namespace brindle::pack
