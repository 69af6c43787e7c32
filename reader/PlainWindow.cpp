#include "reader/PlainWindow.h"

#include <algorithm>

namespace brindle::reader {
namespace {

std::optional<std::string> Next(std::deque<std::optional<std::string>>& answers) {
  if (answers.empty()) return std::nullopt;
  auto answer = std::move(answers.front());
  answers.pop_front();
  return answer;
}

}  // namespace

bool PlainWindow::select(const std::string& text) {
  const auto it = std::find(files.begin(), files.end(), text);
  if (it == files.end()) return false;
  current = static_cast<int>(it - files.begin());
  return true;
}

std::string PlainWindow::fileLine(int index) const {
  return index >= 0 && index < fileCount() ? files[static_cast<std::size_t>(index)] : "";
}

void PlainWindow::clearFiles() {
  files.clear();
  current = -1;
}

void PlainWindow::appendFiles(const std::vector<std::string>& lines) {
  ++appendCalls;
  files.insert(files.end(), lines.begin(), lines.end());
}

std::string PlainWindow::historyEntry(int index) const {
  return index >= 0 && index < historyCount() ? history[static_cast<std::size_t>(index)] : "";
}

void PlainWindow::clearHistory() {
  history.clear();
  currentHistoryIndex = -1;
}

void PlainWindow::popHistory() {
  if (!history.empty()) history.pop_back();
}

std::string PlainWindow::driveText() const {
  return drive >= 0 && drive < static_cast<int>(drives.size())
             ? drives[static_cast<std::size_t>(drive)]
             : "";
}

std::optional<std::string> PlainWindow::showOpenDialog(const FileDialogRequest& request) {
  openRequests.push_back(request);
  return Next(openAnswers);
}

std::optional<std::string> PlainWindow::showSaveDialog(const FileDialogRequest& request) {
  saveRequests.push_back(request);
  return Next(saveAnswers);
}

}  // namespace brindle::reader
