// The real dialogs and message boxes behind Prompts.
//
// Each dialog is built by a Make... function and only then run, so tests can check a box's
// title, icon, buttons and text (or a dialog's title, filter and initial name) without exec'ing
// it.
#pragma once

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <memory>
#include <string>

#include "app/Prompts.h"

namespace brindle::app {

inline constexpr const char* kErrorTitle = "Error";

// Text from the reader as Qt text: UTF-8 when it is valid UTF-8, otherwise one Latin-1
// character per byte (names read off a disc are 8-bit text).
QString DecodeText(const std::string& text);

// The pattern as the host's file dialog should match it: as on the system's home platform,
// letters match either case and "*.*" matches every name, with or without a dot.
QString HostPattern(const QString& pattern);
// The Qt name filter for one description/pattern pair: the description, then the host pattern in
// parentheses. Dialogs hide that last part, so the user sees exactly the description.
QString NameFilter(const reader::FileDialogRequest& request);

// The modal "Error" box: stop icon, one OK button.
std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* owner, const QString& text);
// The modal warning box: exclamation icon, the title, one OK button.
std::unique_ptr<QMessageBox> MakeWarningBox(QWidget* owner, const QString& title,
                                            const QString& text);
// Keeps Qt's file dialog from saving its settings and reading them back: the program keeps no
// state between runs. Called by MakeFileDialog; once is enough for the whole process.
void KeepNoDialogSettings();
// A file dialog with the request's title, one filter and initial name (cut to 256 characters);
// it never asks before replacing a file and never requires the file to exist.
std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* owner,
                                            const reader::FileDialogRequest& request,
                                            QFileDialog::AcceptMode mode);

class QtPrompts final : public Prompts {
 public:
  std::optional<std::string> openFile(QWidget* owner,
                                      const reader::FileDialogRequest& request) override;
  std::optional<std::string> saveFile(QWidget* owner,
                                      const reader::FileDialogRequest& request) override;
  void error(QWidget* owner, const std::string& message) override;
  void warning(QWidget* owner, const std::string& title, const std::string& message) override;
  void beep() override;
};

}  // namespace brindle::app
