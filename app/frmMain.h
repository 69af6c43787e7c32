// frmMain: the tool's only window.
//
// It holds the reader's state in its controls (lstFiles, lstHistory, txtFile, lbDiscSize,
// cbDrives and the source) and is the reader's view of the window (ReaderWindow). Its event
// handlers switch the source, copy the selected name on Ctrl+C and pass the open, double-click
// and extract-all actions to the reader. The layout is fixed: every control sits where the
// window's design puts it, in twips at 15 twips per pixel.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/Prompts.h"
#include "reader/ActionGuard.h"
#include "reader/ReaderWindow.h"
#include "reader/VolumeReader.h"
#include "transport/DriveList.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace brindle::app {

class Line;

// Pixels for a length in twips.
constexpr int Twips(int twips) {
  return twips / 15;
}

class frmMain final : public QWidget, public reader::ReaderWindow, public transport::DriveListView {
  Q_OBJECT

 public:
  // What the window needs from the application for the drive source: choosing the transport
  // and filling cbDrives (run on the first switch to the drive source, while the Tag of
  // cbDrives is empty), and reading sectors of the selected drive. An empty SelectTransport
  // does nothing; an empty reader tells the user that no drive is selected.
  struct DriveSide {
    std::function<void()> SelectTransport;
    reader::DriveReader readDrive;
  };

  explicit frmMain(Prompts& prompts, DriveSide drives = {}, QWidget* parent = nullptr);
  ~frmMain() override;

  // The controls, named as in the window's design. Owned by the window.
  QGroupBox* Frame1 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* txtFile = nullptr;
  QComboBox* cbDrives = nullptr;
  QPushButton* cmdOpen = nullptr;
  Line* Line1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QListWidget* lstFiles = nullptr;
  QPushButton* Command2 = nullptr;
  QGroupBox* Frame2 = nullptr;
  QLabel* Label5 = nullptr;
  QToolButton* optDiscImage = nullptr;
  QToolButton* optCDROM = nullptr;
  Line* Line2 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* lbDiscSize = nullptr;
  QListWidget* lstHistory = nullptr;

  // One pass of pending-message processing, as the ASPI transport runs between two polls. While
  // an action runs, user input to the window is dropped, so no second action can start.
  void MessagePass();
  // Whether a user action is running.
  bool busy() const { return guard_.busy(); }

  // Event handlers. Form_Load runs once, from the constructor. The source buttons, the open
  // button, the double click and extract-all each run as one action: refused while another runs.
  void Form_Load();
  void optDiscImage_Click();
  void optCDROM_Click();
  // A character typed anywhere in the window, seen before the focused control gets it; 3 is
  // Ctrl+C, which leaves the selected entry's name on the clipboard.
  void Form_KeyPress(int keyascii);
  void cmdOpen_Click();
  void lstFiles_DblClick();
  void Command2_Click();

  // DriveListView: cbDrives as the transport selection fills it. Labels are Latin-1 byte
  // strings; the Tag is the list's built marker.
  void addDrive(const std::string& label) override;
  void selectDrive(int index) override;
  std::string tag() const override;
  void setTag(const std::string& tag) override;
  void showWarning(const std::string& message, const std::string& title) override;

  // ReaderWindow.
  reader::SectorSource sectorSource() const override { return source_; }
  int fileCount() const override;
  std::string fileLine(int index) const override;
  int currentFile() const override;
  void clearFiles() override;
  void appendFiles(const std::vector<std::string>& lines) override;
  int historyCount() const override;
  std::string historyEntry(int index) const override;
  void clearHistory() override;
  void pushHistory(const std::string& entry) override;
  void popHistory() override;
  void setCurrentHistory(int index) override;
  std::string imagePath() const override;
  void setImagePath(const std::string& path) override;
  std::string discSize() const override;
  void setDiscSize(const std::string& text) override;
  std::string driveText() const override;
  int driveIndex() const override;
  void setOpenEnabled(bool enabled) override;
  void setFilesEnabled(bool enabled) override;
  std::optional<std::string> showOpenDialog(const reader::FileDialogRequest& request) override;
  std::optional<std::string> showSaveDialog(const reader::FileDialogRequest& request) override;
  void showError(const std::string& message) override;
  void beep() override;

 signals:
  // The window has been painted for the first time.
  void firstPainted();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void createControls();
  // The bodies of the two source buttons' actions.
  void showImageSource();
  void showDriveSource();
  void orderTabs();
  void connectEvents();
  sector::SectorData readDrive(std::int32_t lba, std::int16_t count);

  Prompts& prompts_;
  DriveSide drives_;
  reader::SectorSource source_ = reader::SectorSource::Image;
  reader::VolumeReader reader_;
  reader::ActionGuard guard_;
  bool painted_ = false;
};

// The character a key press types, as the window's key preview sees it: Ctrl with a letter
// gives its control character (Ctrl+C is 3); otherwise the event's first character; 0 for none.
int KeyAscii(const QKeyEvent& event);

}  // namespace brindle::app
