// frmMain as the reader sees it: its state kept in the controls, and the user-facing services.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>

#include "app/frmMain.h"

namespace brindle::app {
namespace {

// Entry lines, history entries and drive labels hold one Latin-1 character per byte.
QString FromBytes(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
  return text.toLatin1().toStdString();
}

std::string ItemText(const QListWidget* list, int index) {
  const QListWidgetItem* item = index >= 0 && index < list->count() ? list->item(index) : nullptr;
  return item ? ToBytes(item->text()) : std::string();
}

// The arrow over a dialog or message box that an action shows, the wait cursor again after it.
class NormalCursor {
 public:
  NormalCursor() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
  ~NormalCursor() { QApplication::restoreOverrideCursor(); }
  NormalCursor(const NormalCursor&) = delete;
  NormalCursor& operator=(const NormalCursor&) = delete;
};

}  // namespace

int frmMain::fileCount() const {
  return lstFiles->count();
}

std::string frmMain::fileLine(int index) const {
  return ItemText(lstFiles, index);
}

int frmMain::currentFile() const {
  // The selected line, not merely the one with the focus frame.
  const QListWidgetItem* item = lstFiles->currentItem();
  return item && item->isSelected() ? lstFiles->row(item) : -1;
}

void frmMain::clearFiles() {
  lstFiles->clear();
}

void frmMain::appendFiles(const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  QStringList texts;
  texts.reserve(static_cast<qsizetype>(lines.size()));
  for (const std::string& line : lines) texts.append(FromBytes(line));
  lstFiles->addItems(texts);  // one insertion into the list's model
}

int frmMain::historyCount() const {
  return lstHistory->count();
}

std::string frmMain::historyEntry(int index) const {
  return ItemText(lstHistory, index);
}

void frmMain::clearHistory() {
  lstHistory->clear();
}

void frmMain::pushHistory(const std::string& entry) {
  lstHistory->addItem(FromBytes(entry));
}

void frmMain::popHistory() {
  if (lstHistory->count() > 0) delete lstHistory->takeItem(lstHistory->count() - 1);
}

void frmMain::setCurrentHistory(int index) {
  lstHistory->setCurrentRow(index);
}

std::string frmMain::imagePath() const {
  return txtFile->text().toStdString();
}

void frmMain::setImagePath(const std::string& path) {
  txtFile->setText(QString::fromStdString(path));
}

std::string frmMain::discSize() const {
  return lbDiscSize->text().toStdString();
}

void frmMain::setDiscSize(const std::string& text) {
  lbDiscSize->setText(QString::fromStdString(text));
}

std::string frmMain::driveText() const {
  return ToBytes(cbDrives->currentText());
}

int frmMain::driveIndex() const {
  return cbDrives->currentIndex();
}

void frmMain::setOpenEnabled(bool enabled) {
  cmdOpen->setEnabled(enabled);
}

void frmMain::setFilesEnabled(bool enabled) {
  lstFiles->setEnabled(enabled);
}

std::optional<std::string> frmMain::showOpenDialog(const reader::FileDialogRequest& request) {
  const NormalCursor cursor;
  return prompts_.openFile(this, request);
}

std::optional<std::string> frmMain::showSaveDialog(const reader::FileDialogRequest& request) {
  const NormalCursor cursor;
  return prompts_.saveFile(this, request);
}

void frmMain::showError(const std::string& message) {
  const NormalCursor cursor;
  prompts_.error(this, message);
}

void frmMain::beep() {
  prompts_.beep();
}

void frmMain::addDrive(const std::string& label) {
  cbDrives->addItem(FromBytes(label));
}

void frmMain::selectDrive(int index) {
  cbDrives->setCurrentIndex(index);
}

std::string frmMain::tag() const {
  return cbDrives->property("Tag").toString().toStdString();
}

void frmMain::setTag(const std::string& tag) {
  cbDrives->setProperty("Tag", QString::fromStdString(tag));
}

void frmMain::showWarning(const std::string& message, const std::string& title) {
  const NormalCursor cursor;
  prompts_.warning(this, title, message);
}

}  // namespace brindle::app
