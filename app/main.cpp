// brindle: the window.
#include <QApplication>
#include <cstdio>

#include "app/Application.h"
#include "app/QtPrompts.h"
#include "app/Start.h"

namespace {

void Print(std::FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
}

}  // namespace

int main(int argc, char** argv) {
  using brindle::app::StartRequest;
  // The version and the help text are answered before the window system is reached, so they
  // need no display.
  QStringList rawArguments;
  for (int i = 0; i < argc; ++i) rawArguments.append(QString::fromLocal8Bit(argv[i]));
  const StartRequest early = brindle::app::ParseStartArguments(rawArguments.mid(1));
  if (early.action == StartRequest::Action::Version) {
    Print(stdout, brindle::app::VersionText() + QLatin1Char('\n'));
    return 0;
  }
  if (early.action == StartRequest::Action::Help) {
    Print(stdout, brindle::app::HelpText());
    return 0;
  }

  QApplication qtApplication(argc, argv);
  // The window system's options are gone from the arguments now.
  const StartRequest start =
      brindle::app::ParseStartArguments(QCoreApplication::arguments().mid(1));
  if (start.action == StartRequest::Action::UsageError) {
    Print(stderr, QStringLiteral("brindle: %1\n").arg(start.error) + brindle::app::HelpText());
    return 2;
  }

  brindle::app::QtPrompts shown;
  brindle::app::AnsweringPrompts prompts(shown);
  brindle::app::Application application(prompts);
  brindle::app::frmMain& form = application.window();
  // For measuring the start-up time: quit as soon as the window has been painted once.
  if (qEnvironmentVariableIsSet("BRINDLE_EXIT_AFTER_SHOW")) {
    QObject::connect(&form, &brindle::app::frmMain::firstPainted, &qtApplication,
                     &QCoreApplication::quit, Qt::QueuedConnection);
  }
  form.show();
  if (start.file) brindle::app::OpenAtStart(form, prompts, *start.file);
  return qtApplication.exec();
}
