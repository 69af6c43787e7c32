// frmMain as the reader sees it: its state kept in the controls, and the user-facing services.
#include "winapp/Text.h"
#include "winapp/frmMain.h"

namespace brindle::winapp {
namespace {

std::wstring WindowText(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

std::string ItemText(HWND list, int index) {
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  if (index < 0 || index >= count) return {};
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
  if (length < 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return ToBytes(text);
}

int ListCount(HWND list) {
  return static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
}

void AddItem(HWND list, const std::string& bytes) {
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromBytes(bytes).c_str()));
}

// The arrow over a dialog or message box that an action shows, the cursor it had after it.
class NormalCursor {
 public:
  NormalCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_ARROW))) {}
  ~NormalCursor() { SetCursor(previous_); }
  NormalCursor(const NormalCursor&) = delete;
  NormalCursor& operator=(const NormalCursor&) = delete;

 private:
  HCURSOR previous_;
};

}  // namespace

int frmMain::fileCount() const {
  return ListCount(lstFiles);
}

std::string frmMain::fileLine(int index) const {
  return ItemText(lstFiles, index);
}

int frmMain::currentFile() const {
  const LRESULT selected = SendMessageW(lstFiles, LB_GETCURSEL, 0, 0);
  return selected == LB_ERR ? -1 : static_cast<int>(selected);
}

void frmMain::clearFiles() {
  SendMessageW(lstFiles, LB_RESETCONTENT, 0, 0);
}

void frmMain::appendFiles(const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  // One repaint for the whole batch.
  SendMessageW(lstFiles, WM_SETREDRAW, FALSE, 0);
  SendMessageW(lstFiles, LB_INITSTORAGE, lines.size(), lines.size() * 66 * sizeof(wchar_t));
  for (const std::string& line : lines) AddItem(lstFiles, line);
  SendMessageW(lstFiles, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(lstFiles, nullptr, TRUE);
}

int frmMain::historyCount() const {
  return ListCount(lstHistory);
}

std::string frmMain::historyEntry(int index) const {
  return ItemText(lstHistory, index);
}

void frmMain::clearHistory() {
  SendMessageW(lstHistory, LB_RESETCONTENT, 0, 0);
}

void frmMain::pushHistory(const std::string& entry) {
  AddItem(lstHistory, entry);
}

void frmMain::popHistory() {
  const int count = historyCount();
  if (count > 0) SendMessageW(lstHistory, LB_DELETESTRING, count - 1, 0);
}

void frmMain::setCurrentHistory(int index) {
  SendMessageW(lstHistory, LB_SETCURSEL, index, 0);
}

std::string frmMain::imagePath() const {
  return ToUtf8(WindowText(txtFile));
}

void frmMain::setImagePath(const std::string& path) {
  SetWindowTextW(txtFile, DecodeText(path).c_str());
}

std::string frmMain::discSize() const {
  return ToUtf8(WindowText(lbDiscSize));
}

void frmMain::setDiscSize(const std::string& text) {
  SetWindowTextW(lbDiscSize, DecodeText(text).c_str());
}

std::string frmMain::driveText() const {
  const int index = driveIndex();
  if (index < 0) return {};
  const LRESULT length = SendMessageW(cbDrives, CB_GETLBTEXTLEN, index, 0);
  if (length < 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(cbDrives, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return ToBytes(text);
}

int frmMain::driveIndex() const {
  const LRESULT selected = SendMessageW(cbDrives, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void frmMain::setOpenEnabled(bool enabled) {
  EnableWindow(cmdOpen, enabled ? TRUE : FALSE);
}

void frmMain::setFilesEnabled(bool enabled) {
  EnableWindow(lstFiles, enabled ? TRUE : FALSE);
}

std::optional<std::string> frmMain::showOpenDialog(const reader::FileDialogRequest& request) {
  const NormalCursor cursor;
  return prompts_.openFile(hwnd_, request);
}

std::optional<std::string> frmMain::showSaveDialog(const reader::FileDialogRequest& request) {
  const NormalCursor cursor;
  return prompts_.saveFile(hwnd_, request);
}

void frmMain::showError(const std::string& message) {
  const NormalCursor cursor;
  prompts_.error(hwnd_, message);
}

void frmMain::beep() {
  prompts_.beep();
}

void frmMain::addDrive(const std::string& label) {
  SendMessageW(cbDrives, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromBytes(label).c_str()));
}

void frmMain::selectDrive(int index) {
  SendMessageW(cbDrives, CB_SETCURSEL, index, 0);
}

void frmMain::showWarning(const std::string& message, const std::string& title) {
  const NormalCursor cursor;
  prompts_.warning(hwnd_, title, message);
}

}  // namespace brindle::winapp
