#include "cli/Suggest.h"

#include <algorithm>
#include <numeric>

namespace brindle::cli {
namespace {

std::string Lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

// Edits (insert, delete, change, swap of two neighbours) that turn a into b.
std::size_t Distance(const std::string& a, const std::string& b) {
  const std::size_t n = a.size();
  const std::size_t m = b.size();
  std::vector<std::vector<std::size_t>> d(n + 1, std::vector<std::size_t>(m + 1));
  for (std::size_t i = 0; i <= n; ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= m; ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= n; ++i) {
    for (std::size_t j = 1; j <= m; ++j) {
      const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[n][m];
}

}  // namespace

std::vector<std::string> NearestNames(const std::string& wanted,
                                      const std::vector<std::string>& names) {
  constexpr std::size_t kMost = 3;
  const std::string key = Lower(wanted);
  // A name this far or nearer is a slip; farther, a different name.
  const std::size_t reach = std::max<std::size_t>(1, std::min<std::size_t>(3, key.size() / 3));
  std::vector<std::pair<std::size_t, std::size_t>> near;  // distance (0: case alone), index
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == wanted) continue;
    const std::size_t distance = Distance(key, Lower(names[i]));
    if (distance <= reach) near.emplace_back(distance, i);
  }
  std::stable_sort(near.begin(), near.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> result;
  for (const auto& [distance, index] : near) {
    if (result.size() == kMost) break;
    if (std::find(result.begin(), result.end(), names[index]) == result.end())
      result.push_back(names[index]);
  }
  return result;
}

std::string DidYouMean(const std::string& wanted, const std::vector<std::string>& names) {
  const std::vector<std::string> nearest = NearestNames(wanted, names);
  if (nearest.empty()) return {};
  std::string text = "Did you mean ";
  for (std::size_t i = 0; i < nearest.size(); ++i) {
    if (i > 0) text += i + 1 == nearest.size() ? " or " : ", ";
    text += "\"" + nearest[i] + "\"";
  }
  return text + "?";
}

std::vector<std::string> DiscPathNames(const std::vector<std::string>& paths) {
  std::vector<std::string> names;
  for (const std::string& path : paths) {
    std::size_t from = 0;
    for (std::size_t slash; (slash = path.find('/', from)) != std::string::npos; from = slash + 1)
      if (slash > from) names.push_back(path.substr(from, slash - from));
    if (from < path.size()) names.push_back(path.substr(from));
  }
  return names;
}

}  // namespace brindle::cli
