// The window as the Opera reader sees it.
//
// The window owns the reader's state: the entry list (lstFiles), the directory stack
// (lstHistory), the image path (txtFile), the disc size (lbDiscSize), the source and the drive
// selection. The reader's actions read and change that state only through this interface, and
// reach the user (dialogs, the "Error" box, the beep) only through it. frmMain implements it
// over its widgets; PlainWindow implements it over plain containers for tests and the command
// line.
//
// Text conventions: entry lines, history entries and drive labels are byte strings in which
// every byte is one Latin-1 character (a disc's names are 8-bit text). Paths (the image path,
// dialog results) and messages are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sector/SectorData.h"

namespace brindle::reader {

enum class SectorSource { Image, Drive };

// One file dialog: title, one filter pair and the initial file name. No overwrite prompt, and
// the chosen file need not exist.
struct FileDialogRequest {
  std::string title;
  std::string filterDescription;  // e.g. "ISO disc images (*.iso)"
  std::string filterPattern;      // e.g. "*.iso"
  std::string initialName;
};

class ReaderWindow {
 public:
  virtual ~ReaderWindow() = default;

  virtual SectorSource sectorSource() const = 0;

  // lstFiles: the lines of the directory shown.
  virtual int fileCount() const = 0;
  virtual std::string fileLine(int index) const = 0;
  // Index of the selected line, -1 when none is selected.
  virtual int currentFile() const = 0;
  virtual void clearFiles() = 0;
  // Appends lines at the end, in order, as one update of the list.
  virtual void appendFiles(const std::vector<std::string>& lines) = 0;

  // lstHistory: the stack of HistoryEntry texts, root first.
  virtual int historyCount() const = 0;
  virtual std::string historyEntry(int index) const = 0;
  virtual void clearHistory() = 0;
  virtual void pushHistory(const std::string& entry) = 0;
  // Removes the last entry; nothing when the stack is empty.
  virtual void popHistory() = 0;
  virtual void setCurrentHistory(int index) = 0;

  // txtFile: the image path.
  virtual std::string imagePath() const = 0;
  virtual void setImagePath(const std::string& path) = 0;

  // lbDiscSize.
  virtual std::string discSize() const = 0;
  virtual void setDiscSize(const std::string& text) = 0;

  // cbDrives: the current item's text ("" when the list is empty or nothing is selected) and
  // its 0-based index (-1 when nothing is selected).
  virtual std::string driveText() const = 0;
  virtual int driveIndex() const = 0;

  // cmdOpen and lstFiles, disabled while a single entry is saved.
  virtual void setOpenEnabled(bool enabled) = 0;
  virtual void setFilesEnabled(bool enabled) = 0;

  // User-facing services. A dialog returns the chosen path, or nothing when cancelled.
  virtual std::optional<std::string> showOpenDialog(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> showSaveDialog(const FileDialogRequest& request) = 0;
  // Modal box titled "Error" with the stop icon and one OK button.
  virtual void showError(const std::string& message) = 0;
  virtual void beep() = 0;
};

// Reads count 2048-byte sectors at lba from the selected drive: count x 2048 bytes, or an empty
// result after the user has been told why (the drive sector reader's contract). The bytes stay
// in the buffer the drive wrote them into.
using DriveReader = std::function<sector::SectorData(std::int32_t lba, std::int16_t count)>;

}  // namespace brindle::reader
