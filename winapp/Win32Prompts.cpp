#include "winapp/Win32Prompts.h"

#include <commdlg.h>

#include <vector>

#include "winapp/SystemLibrary.h"
#include "winapp/Text.h"

namespace brindle::winapp {
namespace {

// The longest initial name the file dialogs take; a longer one is cut.
constexpr std::size_t kMaxInitialName = 256;
// Room for the chosen path, long paths included.
constexpr std::size_t kPathRoom = 32768;

std::optional<std::string> RunFileDialog(HWND owner, const reader::FileDialogRequest& request,
                                         bool save) {
  const std::wstring title = DecodeText(request.title);
  const std::wstring filter = DialogFilter(request);
  std::vector<wchar_t> file(kPathRoom, L'\0');
  const std::wstring initial = DecodeText(request.initialName).substr(0, kMaxInitialName);
  initial.copy(file.data(), initial.size());

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrTitle = title.c_str();
  // The reader checks existence itself and replaces files without asking. The current folder
  // stays where it was: the system would otherwise move it to wherever the user picked a file.
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  using RunDialog = BOOL(WINAPI*)(LPOPENFILENAMEW);
  static const RunDialog open = SystemFunction<RunDialog>(L"comdlg32.dll", "GetOpenFileNameW");
  static const RunDialog saveAs = SystemFunction<RunDialog>(L"comdlg32.dll", "GetSaveFileNameW");
  const RunDialog run = save ? saveAs : open;
  if (run == nullptr || !run(&dialog)) return std::nullopt;
  return ToUtf8(file.data());
}

}  // namespace

std::wstring DialogFilter(const reader::FileDialogRequest& request) {
  std::wstring filter = DecodeText(request.filterDescription);
  filter.push_back(L'\0');
  filter += DecodeText(request.filterPattern);
  filter.push_back(L'\0');
  filter.push_back(L'\0');
  return filter;
}

std::optional<std::string> Win32Prompts::openFile(HWND owner,
                                                  const reader::FileDialogRequest& request) {
  return RunFileDialog(owner, request, false);
}

std::optional<std::string> Win32Prompts::saveFile(HWND owner,
                                                  const reader::FileDialogRequest& request) {
  return RunFileDialog(owner, request, true);
}

void Win32Prompts::error(HWND owner, const std::string& message) {
  MessageBoxW(owner, DecodeText(message).c_str(), L"Error", MB_OK | MB_ICONSTOP);
}

void Win32Prompts::warning(HWND owner, const std::string& title, const std::string& message) {
  MessageBoxW(owner, DecodeText(message).c_str(), DecodeText(title).c_str(),
              MB_OK | MB_ICONEXCLAMATION);
}

void Win32Prompts::beep() {
  MessageBeep(MB_OK);
}

}  // namespace brindle::winapp
