// A ReaderWindow over plain containers: the reader's state in vectors and strings, dialogs
// answered from scripted queues, messages and beeps recorded. Used by the tests and by the
// command line, which drive the same actions as the real window.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "reader/ReaderWindow.h"

namespace brindle::reader {

class PlainWindow : public ReaderWindow {
 public:
  // The window's state; set it directly to prepare a scene.
  SectorSource source = SectorSource::Image;
  std::vector<std::string> files;
  int current = -1;
  std::vector<std::string> history;
  int currentHistoryIndex = -1;
  std::string image;
  std::string size;
  std::vector<std::string> drives;
  int drive = -1;
  bool openEnabled = true;
  bool filesEnabled = true;

  // Answers for the next dialogs, first in first out; an empty queue (or nullopt) cancels.
  std::deque<std::optional<std::string>> openAnswers;
  std::deque<std::optional<std::string>> saveAnswers;

  // What the actions asked and told.
  std::vector<FileDialogRequest> openRequests;
  std::vector<FileDialogRequest> saveRequests;
  std::vector<std::string> errors;
  int beeps = 0;
  int appendCalls = 0;

  // Makes the first line equal to text the selected one; false when there is none.
  bool select(const std::string& text);

  SectorSource sectorSource() const override { return source; }
  int fileCount() const override { return static_cast<int>(files.size()); }
  std::string fileLine(int index) const override;
  int currentFile() const override { return current; }
  void clearFiles() override;
  void appendFiles(const std::vector<std::string>& lines) override;
  int historyCount() const override { return static_cast<int>(history.size()); }
  std::string historyEntry(int index) const override;
  void clearHistory() override;
  void pushHistory(const std::string& entry) override { history.push_back(entry); }
  void popHistory() override;
  void setCurrentHistory(int index) override { currentHistoryIndex = index; }
  std::string imagePath() const override { return image; }
  void setImagePath(const std::string& path) override { image = path; }
  std::string discSize() const override { return size; }
  void setDiscSize(const std::string& text) override { size = text; }
  std::string driveText() const override;
  int driveIndex() const override { return drive; }
  void setOpenEnabled(bool enabled) override { openEnabled = enabled; }
  void setFilesEnabled(bool enabled) override { filesEnabled = enabled; }
  std::optional<std::string> showOpenDialog(const FileDialogRequest& request) override;
  std::optional<std::string> showSaveDialog(const FileDialogRequest& request) override;
  void showError(const std::string& message) override { errors.push_back(message); }
  void beep() override { ++beeps; }
};

}  // namespace brindle::reader
