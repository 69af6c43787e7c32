// What the window program's command line asks for at start: the version, the help text, or the
// window, with a disc image to open at once.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

#include "app/Prompts.h"

namespace brindle::app {

class frmMain;

struct StartRequest {
  enum class Action {
    Window,      // open the window (with file, if given)
    Version,     // print the version and exit
    Help,        // print the help text and exit
    UsageError,  // print error and the help text to standard error, exit with status 2
  };
  Action action = Action::Window;
  std::optional<QString> file;
  QString error;
};

// Reads the arguments after the program's name: at most one FILE, "--help" or "-h",
// "--version", and "--" before a FILE that begins with "-". Help and version win over anything
// else on the line, so they are answered even before the window system has taken its own options
// out.
StartRequest ParseStartArguments(const QStringList& arguments);

// "brindle 0.3".
QString VersionText();
QString HelpText();

// Prompts that answer the next open-file dialog themselves, with a path given in advance, and
// pass every other prompt, and every later open-file dialog, to the prompts the user sees.
class AnsweringPrompts final : public Prompts {
 public:
  explicit AnsweringPrompts(Prompts& shown) : shown_(shown) {}

  // The answer to the next open-file dialog, which is then not shown.
  void answerNextOpen(std::string path) { answer_ = std::move(path); }

  std::optional<std::string> openFile(QWidget* owner,
                                      const reader::FileDialogRequest& request) override;
  std::optional<std::string> saveFile(QWidget* owner,
                                      const reader::FileDialogRequest& request) override {
    return shown_.saveFile(owner, request);
  }
  void error(QWidget* owner, const std::string& message) override { shown_.error(owner, message); }
  void warning(QWidget* owner, const std::string& title, const std::string& message) override {
    shown_.warning(owner, title, message);
  }
  void beep() override { shown_.beep(); }

 private:
  Prompts& shown_;
  std::optional<std::string> answer_;
};

// Opens the disc image at file as if the user had chosen it with "...": the window's open action
// runs, and its file dialog is answered with file as an absolute path, the form the dialog gives.
// prompts must be the window's prompts.
void OpenAtStart(frmMain& form, AnsweringPrompts& prompts, const QString& file);

}  // namespace brindle::app
