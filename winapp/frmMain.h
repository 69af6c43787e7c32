// frmMain: the tool's only window, over the system's own controls.
//
// It holds the reader's state in its controls (lstFiles, lstHistory, txtFile, lbDiscSize,
// cbDrives and the source) and is the reader's view of the window (ReaderWindow). Its event
// handlers switch the source, copy the selected name on Ctrl+C and pass the open, double-click
// and extract-all actions to the reader. The layout is fixed: every control sits where the
// window's design puts it, in twips converted at the display's resolution.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "reader/ActionGuard.h"
#include "reader/ReaderWindow.h"
#include "reader/VolumeReader.h"
#include "transport/DriveList.h"
#include "winapp/Prompts.h"

namespace brindle::winapp {

// The controls' identifiers, as WM_COMMAND names them.
enum ControlId : int {
  kFrame1 = 100,
  kLabel1,
  kTxtFile,
  kCbDrives,
  kCmdOpen,
  kLine1,
  kLabel2,
  kLabel3,
  kLabel4,
  kLstFiles,
  kCommand2,
  kFrame2,
  kLabel5,
  kOptDiscImage,
  kOptCDROM,
  kLine2,
  kLabel7,
  kLbDiscSize,
  kLstHistory,
};

// The resources the window shows (see brindle.rc).
inline constexpr int kIconCdrom = 1;
inline constexpr int kIconDiscImage = 2;

class frmMain final : public reader::ReaderWindow, public transport::DriveListView {
 public:
  // What the window needs from the application for the drive source: choosing the transport
  // and filling cbDrives (run on the first switch to the drive source), and reading sectors of
  // the selected drive. An empty reader tells the user that no drive is selected.
  struct DriveSide {
    std::function<void()> SelectTransport;
    reader::DriveReader readDrive;
  };

  // Creates the window, hidden; show() shows it.
  explicit frmMain(Prompts& prompts, DriveSide drives = {});
  ~frmMain() override;
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Shows the window and paints it completely before returning.
  void show();

  // The controls, named as in the window's design.
  HWND Frame1 = nullptr, Label1 = nullptr, txtFile = nullptr, cbDrives = nullptr, cmdOpen = nullptr,
       Line1 = nullptr, Label2 = nullptr, Label3 = nullptr, Label4 = nullptr, lstFiles = nullptr,
       Command2 = nullptr, Frame2 = nullptr, Label5 = nullptr, optDiscImage = nullptr,
       optCDROM = nullptr, Line2 = nullptr, Label7 = nullptr, lbDiscSize = nullptr,
       lstHistory = nullptr;

  // Pixels for a length in twips at the display's resolution.
  int twips(int length) const { return MulDiv(length, dpi_, 1440); }
  // Whether the source button is down (its source is the chosen one).
  bool isSourceDown(HWND button) const;

  // One message taken from the queue, as the message loop handles it: the window's key preview,
  // then tab navigation, then the control. While an action runs, user input is dropped.
  void HandleMessage(MSG& message);
  // One pass of pending-message processing, as the ASPI transport runs between two polls.
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
  // Opens the disc image at path (UTF-8) as the open button does after its dialog: how the window
  // opens the file it is started with ("Open with", a file dropped on the program).
  void OpenImageAt(const std::string& path);
  void lstFiles_DblClick();
  void Command2_Click();

  // DriveListView: cbDrives as the transport selection fills it.
  void addDrive(const std::string& label) override;
  void selectDrive(int index) override;
  std::string tag() const override { return drivesTag_; }
  void setTag(const std::string& tag) override { drivesTag_ = tag; }
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

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void createFonts();
  void createControls();
  HWND create(const wchar_t* windowClass, const char* text, DWORD style, int id, int left, int top,
              int width, int height, HFONT font, DWORD exStyle = 0);
  void onCommand(int id, int code);
  void drawSourceButton(const DRAWITEMSTRUCT& item);
  void showImageSource();
  void showDriveSource();
  void setSource(reader::SectorSource source);
  void setText(HWND control, const char* text);
  // Drops the clicks and keys queued while an action ran.
  void dropQueuedInput();
  sector::SectorData readDrive(std::int32_t lba, std::int16_t count);

  Prompts& prompts_;
  DriveSide drives_;
  reader::SectorSource source_ = reader::SectorSource::Image;
  reader::VolumeReader reader_;
  reader::ActionGuard guard_;
  std::string drivesTag_;
  HWND hwnd_ = nullptr;
  int dpi_ = 96;
  HFONT courier_ = nullptr;       // Courier New 9.75
  HFONT courierSmall_ = nullptr;  // Courier New 9
  HFONT courierBold_ = nullptr;   // Courier New 9.75, bold
  HFONT dialog_ = nullptr;        // the default dialog font
  HICON iconCdrom_ = nullptr;
  HICON iconDiscImage_ = nullptr;
};

}  // namespace brindle::winapp
