// brindle: the window.
#include <QApplication>

#include "app/Application.h"
#include "app/QtPrompts.h"

int main(int argc, char** argv) {
  QApplication qtApplication(argc, argv);
  brindle::app::QtPrompts prompts;
  brindle::app::Application application(prompts);
  brindle::app::frmMain& form = application.window();
  // For measuring the start-up time: quit as soon as the window has been painted once.
  if (qEnvironmentVariableIsSet("BRINDLE_EXIT_AFTER_SHOW")) {
    QObject::connect(&form, &brindle::app::frmMain::firstPainted, &qtApplication,
                     &QCoreApplication::quit, Qt::QueuedConnection);
  }
  form.show();
  return qtApplication.exec();
}
