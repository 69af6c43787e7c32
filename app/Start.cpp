#include "app/Start.h"

#include <QFileInfo>

#include "BrindleVersion.h"
#include "app/frmMain.h"

namespace brindle::app {

StartRequest ParseStartArguments(const QStringList& arguments) {
  StartRequest request;
  bool help = false;
  bool version = false;
  bool optionsEnded = false;
  int files = 0;
  for (const QString& argument : arguments) {
    if (!optionsEnded && argument == QLatin1String("--")) {
      optionsEnded = true;
    } else if (!optionsEnded && (argument == QLatin1String("--help") || argument == "-h")) {
      help = true;
    } else if (!optionsEnded && argument == QLatin1String("--version")) {
      version = true;
    } else if (!optionsEnded && argument.size() > 1 && argument.startsWith(QLatin1Char('-'))) {
      if (request.error.isEmpty())
        request.error = QStringLiteral("unknown option %1").arg(argument);
    } else {
      if (++files == 1) {
        request.file = argument;
      } else if (request.error.isEmpty()) {
        request.error = QStringLiteral("only one FILE may be given");
      }
    }
  }
  if (help) {
    request.action = StartRequest::Action::Help;
  } else if (version) {
    request.action = StartRequest::Action::Version;
  } else if (!request.error.isEmpty()) {
    request.action = StartRequest::Action::UsageError;
  }
  return request;
}

QString VersionText() {
  return QStringLiteral("brindle %1").arg(QLatin1String(kVersion));
}

QString HelpText() {
  return QStringLiteral(
      "Usage: brindle [OPTION]... [FILE]\n"
      "Opens the Brindle window, which reads discs formatted with the 3DO Opera file system.\n"
      "With FILE, the disc image FILE is opened at start as if chosen with the \"...\" button.\n"
      "\n"
      "  -h, --help     print this help and exit\n"
      "      --version  print the version and exit\n"
      "      --         end of options: the next argument is FILE even if it begins with '-'\n"
      "\n"
      "The window system's own options (such as -platform NAME) are understood too.\n"
      "Exit status: 0, or 2 for a usage error.\n");
}

std::optional<std::string> AnsweringPrompts::openFile(QWidget* owner,
                                                      const reader::FileDialogRequest& request) {
  if (!answer_) return shown_.openFile(owner, request);
  std::optional<std::string> answer = std::move(answer_);
  answer_.reset();
  return answer;
}

void OpenAtStart(frmMain& form, AnsweringPrompts& prompts, const QString& file) {
  prompts.answerNextOpen(QFileInfo(file).absoluteFilePath().toStdString());
  form.cmdOpen_Click();
}

}  // namespace brindle::app
