// The system's dialogs and message boxes behind Prompts.
#pragma once

#include <string>

#include "winapp/Prompts.h"

namespace brindle::winapp {

// The filter of a file dialog as the system takes it: description, pattern, each ended by a
// zero, and one more zero at the end.
std::wstring DialogFilter(const reader::FileDialogRequest& request);

class Win32Prompts final : public Prompts {
 public:
  std::optional<std::string> openFile(HWND owner,
                                      const reader::FileDialogRequest& request) override;
  std::optional<std::string> saveFile(HWND owner,
                                      const reader::FileDialogRequest& request) override;
  void error(HWND owner, const std::string& message) override;
  void warning(HWND owner, const std::string& title, const std::string& message) override;
  void beep() override;
};

}  // namespace brindle::winapp
