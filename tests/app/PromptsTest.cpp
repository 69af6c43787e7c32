// The real dialogs and message boxes, inspected without running them.
#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QRegularExpression>

#include "WindowTestSupport.h"
#include "app/QtPrompts.h"

namespace brindle::testing {
namespace {

using app::DecodeText;
using app::MakeErrorBox;
using app::MakeFileDialog;
using app::MakeWarningBox;
using app::NameFilter;

// The filter texts as the dialog's file-type list shows them.
QStringList ShownFilters(const QFileDialog& dialog) {
  QStringList shown;
  if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
    for (int i = 0; i < types->count(); ++i) shown.append(types->itemText(i));
  }
  return shown;
}

TEST(MessageBoxes, ErrorBoxHasTheTitleStopIconAndOneOkButton) {
  auto box =
      MakeErrorBox(nullptr, QStringLiteral("The given file could not be opened for reading."));
  EXPECT_EQ(box->windowTitle().toStdString(), "Error");
  EXPECT_EQ(box->icon(), QMessageBox::Critical);
  EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
  EXPECT_EQ(box->buttons().size(), 1);
  EXPECT_EQ(box->text().toStdString(), "The given file could not be opened for reading.");
  EXPECT_EQ(box->textFormat(), Qt::AutoText);
}

TEST(MessageBoxes, WarningBoxHasTheApplicationsTitleAndExclamationIcon) {
  auto box = MakeWarningBox(nullptr, QStringLiteral("Brindle"),
                            QStringLiteral("Kein funktionierendes Interface gefunden!"));
  EXPECT_EQ(box->windowTitle().toStdString(), "Brindle");
  EXPECT_EQ(box->icon(), QMessageBox::Warning);
  EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
  EXPECT_EQ(box->text().toStdString(), "Kein funktionierendes Interface gefunden!");
}

TEST(FileDialogs, CarryTitleFilterAndInitialNameAndNeverAskBeforeReplacing) {
  auto open = MakeFileDialog(
      nullptr, {"Please select a disc image...", "ISO disc images (*.iso)", "*.iso", ""},
      QFileDialog::AcceptOpen);
  EXPECT_EQ(open->windowTitle().toStdString(), "Please select a disc image...");
  EXPECT_EQ(ShownFilters(*open), QStringList{QStringLiteral("ISO disc images (*.iso)")});
  EXPECT_EQ(open->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(open->fileMode(), QFileDialog::AnyFile);  // the reader checks existence itself

  auto save = MakeFileDialog(nullptr, {"Save file as...", "All files (*.*)", "*.*", "LAUNCHME"},
                             QFileDialog::AcceptSave);
  EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_TRUE(save->testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_EQ(ShownFilters(*save), QStringList{QStringLiteral("All files (*.*)")});
  ASSERT_EQ(save->selectedFiles().size(), 1);
  EXPECT_TRUE(save->selectedFiles().front().endsWith(QStringLiteral("/LAUNCHME")));
}

TEST(FileDialogs, LeaveNoSettingsBehind) {
  // The tests' own settings folder (see main.cpp), where Qt would write QtProject.conf.
  const QDir config(qEnvironmentVariable("XDG_CONFIG_HOME"));
  ASSERT_FALSE(config.path().isEmpty());
  auto dialog = MakeFileDialog(
      nullptr, {"Extract files to...", "All files (*.*)", "*.*", "Filename will be ignored"},
      QFileDialog::AcceptSave);
  dialog->show();
  dialog->reject();
  dialog.reset();  // Qt saves a dialog's settings as it goes
  EXPECT_FALSE(config.exists(QStringLiteral("QtProject.conf")));
  EXPECT_TRUE(config.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST(FileDialogs, AnInitialNameLongerThan256CharactersIsCut) {
  auto save =
      MakeFileDialog(nullptr, {"Save file as...", "All files (*.*)", "*.*", std::string(300, 'n')},
                     QFileDialog::AcceptSave);
  ASSERT_EQ(save->selectedFiles().size(), 1);
  const QString name = save->selectedFiles().front().section(QLatin1Char('/'), -1);
  EXPECT_EQ(name, QString(256, QLatin1Char('n')));
}

TEST(FileDialogs, FiltersMatchAsOnTheHomePlatform) {
  const auto matches = [](const QString& pattern, const QString& name) {
    for (const QString& one : pattern.split(QLatin1Char(' '))) {
      if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(one))
              .match(name)
              .hasMatch()) {
        return true;
      }
    }
    return false;
  };
  const QString iso = app::HostPattern(QStringLiteral("*.iso"));
  EXPECT_TRUE(matches(iso, QStringLiteral("game.iso")));
  EXPECT_TRUE(matches(iso, QStringLiteral("GAME.ISO")));
  EXPECT_TRUE(matches(iso, QStringLiteral("Game.Iso")));
  EXPECT_FALSE(matches(iso, QStringLiteral("game.bin")));
  EXPECT_FALSE(matches(iso, QStringLiteral("game.iso.bak")));
  const QString all = app::HostPattern(QStringLiteral("*.*"));
  EXPECT_TRUE(matches(all, QStringLiteral("README")));
  EXPECT_TRUE(matches(all, QStringLiteral("a.b")));
  // The user still sees exactly the description.
  EXPECT_EQ(NameFilter({"", "ISO disc images (*.iso)", "*.iso", ""}).toStdString(),
            "ISO disc images (*.iso) (*.[iI][sS][oO])");
  EXPECT_EQ(NameFilter({"", "Anything", "", ""}).toStdString(), "Anything");
}

TEST(Texts, ReaderTextIsUtf8WhenValidAndLatinOneOtherwise) {
  EXPECT_EQ(DecodeText("Caf\xC3\xA9"), QString::fromUtf8("Caf\u00e9"));
  EXPECT_EQ(DecodeText("Caf\xE9"), QString::fromUtf8("Caf\u00e9"));
  EXPECT_EQ(DecodeText(std::string("a\0b", 3)).size(), 3);
  EXPECT_EQ(DecodeText(""), QString());
}

}  // namespace
}  // namespace brindle::testing
