#include "app/QtPrompts.h"

#include <QApplication>
#include <QRegularExpression>
#include <QSettings>
#include <QStringDecoder>

namespace brindle::app {
namespace {

// The longest initial name the file dialogs take; a longer one is cut.
constexpr qsizetype kMaxInitialName = 256;

std::optional<std::string> RunFileDialog(QWidget* owner, const reader::FileDialogRequest& request,
                                         QFileDialog::AcceptMode mode) {
  auto dialog = MakeFileDialog(owner, request, mode);
  if (dialog->exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog->selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.front().toStdString();
}

}  // namespace

QString DecodeText(const std::string& text) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return decoded;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString HostPattern(const QString& pattern) {
  QStringList hostPatterns;
  for (const QString& one :
       pattern.split(QRegularExpression(QStringLiteral("[ ;]")), Qt::SkipEmptyParts)) {
    if (one == QStringLiteral("*.*")) {
      hostPatterns.append(QStringLiteral("*"));
      continue;
    }
    QString host;
    for (const QChar c : one) {
      const bool letter = c.unicode() < 0x80 && c.isLetter();
      host += letter ? QStringLiteral("[%1%2]").arg(c.toLower(), c.toUpper()) : QString(c);
    }
    hostPatterns.append(host);
  }
  return hostPatterns.join(QLatin1Char(' '));
}

QString NameFilter(const reader::FileDialogRequest& request) {
  const QString description = DecodeText(request.filterDescription);
  const QString pattern = HostPattern(DecodeText(request.filterPattern));
  if (pattern.isEmpty()) return description;
  return QStringLiteral("%1 (%2)").arg(description, pattern);
}

std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* owner, const QString& text) {
  return std::make_unique<QMessageBox>(QMessageBox::Critical, QString::fromLatin1(kErrorTitle),
                                       text, QMessageBox::Ok, owner);
}

std::unique_ptr<QMessageBox> MakeWarningBox(QWidget* owner, const QString& title,
                                            const QString& text) {
  return std::make_unique<QMessageBox>(QMessageBox::Warning, title, text, QMessageBox::Ok, owner);
}

void KeepNoDialogSettings() {
  // Qt's file dialog saves its recent folders, view and sidebar in the user's settings file when
  // it closes, and reads them back when the next one opens, in this run or the next. Point every
  // settings file at a place below which no file can be made or found: the dialog then starts
  // fresh each run and writes nothing.
  static const bool redirected = [] {
    const QString nowhere = QStringLiteral("/dev/null");
    for (const auto scope : {QSettings::UserScope, QSettings::SystemScope}) {
      QSettings::setPath(QSettings::NativeFormat, scope, nowhere);
      QSettings::setPath(QSettings::IniFormat, scope, nowhere);
    }
    return true;
  }();
  (void)redirected;
}

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* owner,
                                            const reader::FileDialogRequest& request,
                                            QFileDialog::AcceptMode mode) {
  KeepNoDialogSettings();
  auto dialog = std::make_unique<QFileDialog>(owner, DecodeText(request.title));
  dialog->setAcceptMode(mode);
  // The reader checks existence itself and replaces files without asking.
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog->setOption(QFileDialog::HideNameFilterDetails, true);
  dialog->setNameFilter(NameFilter(request));
  dialog->selectFile(DecodeText(request.initialName).left(kMaxInitialName));
  return dialog;
}

std::optional<std::string> QtPrompts::openFile(QWidget* owner,
                                               const reader::FileDialogRequest& request) {
  return RunFileDialog(owner, request, QFileDialog::AcceptOpen);
}

std::optional<std::string> QtPrompts::saveFile(QWidget* owner,
                                               const reader::FileDialogRequest& request) {
  return RunFileDialog(owner, request, QFileDialog::AcceptSave);
}

void QtPrompts::error(QWidget* owner, const std::string& message) {
  MakeErrorBox(owner, DecodeText(message))->exec();
}

void QtPrompts::warning(QWidget* owner, const std::string& title, const std::string& message) {
  MakeWarningBox(owner, DecodeText(title), DecodeText(message))->exec();
}

void QtPrompts::beep() {
  QApplication::beep();
}

}  // namespace brindle::app
