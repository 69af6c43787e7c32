// Shared pieces of the Win32 window's tests: the window built by the application object, and
// the user's gestures as window messages.
#pragma once

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "OperaImageBuilder.h"
#include "ScriptedPrompts.h"
#include "reader/EntryLine.h"
#include "winapp/Application.h"
#include "winapp/Text.h"

namespace brindle::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("brindle-winapp-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::string Text(HWND control) {
  wchar_t text[512] = {};
  GetWindowTextW(control, text, 512);
  return winapp::ToUtf8(text);
}

// The control's rectangle in the window's client coordinates.
inline RECT ClientRect(HWND control, HWND window) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

inline void Click(HWND button) {
  SendMessageW(button, BM_CLICK, 0, 0);
}

// The row's centre in the list's client coordinates, the row scrolled into view.
inline LPARAM RowCentre(HWND list, int row) {
  SendMessageW(list, LB_SETTOPINDEX, row, 0);
  RECT item{};
  SendMessageW(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item));
  return MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
}

// A double click as the mouse delivers it to the list: down, up, double-click, up. post queues
// the messages (delivered by the next pass of message processing) instead of sending them.
inline void DoubleClickRow(HWND list, int row, bool post = false) {
  const LPARAM at = RowCentre(list, row);
  const auto deliver = [&](UINT message, WPARAM keys) {
    if (post) {
      PostMessageW(list, message, keys, at);
    } else {
      SendMessageW(list, message, keys, at);
    }
  };
  deliver(WM_LBUTTONDOWN, MK_LBUTTON);
  deliver(WM_LBUTTONUP, 0);
  deliver(WM_LBUTTONDBLCLK, MK_LBUTTON);
  deliver(WM_LBUTTONUP, 0);
}

class WindowFixture : public ::testing::Test {
 protected:
  winapp::frmMain& form() { return application->window(); }

  std::vector<std::string> lines() {
    std::vector<std::string> result;
    for (int i = 0; i < form().fileCount(); ++i) result.push_back(form().fileLine(i));
    return result;
  }
  int rowOf(const std::string& name) {
    for (int i = 0; i < form().fileCount(); ++i) {
      if (reader::EntryName(form().fileLine(i)) == name) return i;
    }
    return -1;
  }

  ScriptedPrompts prompts;
  std::unique_ptr<winapp::Application> application;
  TempFolder folder;
};

}  // namespace brindle::testing
