#include "pack/Sources.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "media/BlockDevice.h"
#include "output/Names.h"

namespace brindle::pack {
namespace {

namespace fs = std::filesystem;

fs::path Native(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

bool AnySameFile(const Node& node, const fs::path& out) {
  if (!node.hostPath.empty() && SameFile(Native(node.hostPath), out)) return true;
  for (const Node& child : node.children)
    if (AnySameFile(child, out)) return true;
  return false;
}

}  // namespace

std::string OutputConflict(const std::string& folder, const std::string& out, const Node& tree) {
  std::error_code ec;
  const fs::path dir = fs::weakly_canonical(Native(folder), ec);
  const fs::path target = fs::weakly_canonical(Native(out), ec);
  if (ec) return "\"" + out + "\" cannot be resolved";
  // Inside the folder: the image would be packed into itself, or written over one of its files.
  if (std::mismatch(dir.begin(), dir.end(), target.begin(), target.end()).first == dir.end())
    return "\"" + out + "\" lies inside the folder being packed";
  if (fs::exists(target, ec) && AnySameFile(tree, target))
    return "\"" + out + "\" is one of the files being packed";
  return "";
}

std::string OutputConflict(const std::vector<std::string>& inputs, const std::string& out) {
  std::error_code ec;
  if (!fs::exists(Native(out), ec)) return "";
  for (const std::string& input : inputs)
    if (!input.empty() && SameFile(Native(input), Native(out)))
      return "\"" + out + "\" is the disc being read; it is never written over";
  return "";
}

Node NodeFromDisc(const opera::Tree& tree, int copies, std::uint64_t discBlocks,
                  std::vector<std::string>& cut) {
  std::map<std::int64_t, std::vector<std::size_t>> children;  // by parent index
  for (std::size_t i = 0; i < tree.entries.size(); ++i)
    children[tree.entries[i].parent].push_back(i);
  const auto build = [&](auto& self, std::int64_t parent, Node& into) -> void {
    const auto it = children.find(parent);
    if (it == children.end()) return;
    for (std::size_t i : it->second) {
      const opera::Entry& e = tree.entries[i].entry;
      Node node;
      node.name = e.name;
      node.directory = e.isDirectory();
      node.type = e.type;
      node.id = e.id;
      node.kind = e.flags & 0x3FFFFFFFu;
      node.copies = copies;
      if (node.directory) {
        self(self, static_cast<std::int64_t>(i), node);
      } else {
        node.size = e.byteCount;
        const std::uint64_t held =
            (discBlocks - std::min<std::uint64_t>(discBlocks, e.firstBlock())) * media::kBlockSize;
        if (node.size > held) {
          cut.push_back(output::Latin1ToUtf8(tree.entries[i].path) + ": " +
                        std::to_string(node.size) + " bytes from disc block " +
                        std::to_string(e.firstBlock()) + " run past the disc's end; " +
                        std::to_string(held) + " bytes kept");
          node.size = held;
        }
        node.discEntry = e;
      }
      into.children.push_back(std::move(node));
    }
  };
  Node root;
  root.directory = true;
  build(build, -1, root);
  return root;
}

}  // namespace brindle::pack
