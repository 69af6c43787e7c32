// Ctrl+C anywhere in the window leaves exactly the selected entry's name on the clipboard.
#include <QClipboard>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>

#include "WindowTestSupport.h"

namespace brindle::testing {
namespace {

class ClipboardTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    openImage(
        writeImage(OperaImageBuilder()
                       .root({OperaEntry::File("LAUNCHME", 10),
                              OperaEntry::File("  padded name", 20), OperaEntry::Dir("Folder", {})})
                       .build()));
    ASSERT_EQ(form().fileCount(), 3);
    QGuiApplication::clipboard()->setText(QStringLiteral("left over"));
  }

  static std::string clipboardText() { return QGuiApplication::clipboard()->text().toStdString(); }

  void pressCtrlC(QWidget* target) { QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier); }
};

TEST_F(ClipboardTest, CopiesTheTrimmedNameNotTheWholeLineFromTheFocusedList) {
  clickRow(0);
  form().lstFiles->setFocus();
  pressCtrlC(form().lstFiles);
  EXPECT_EQ(clipboardText(), "LAUNCHME");

  clickRow(1);
  pressCtrlC(form().lstFiles);
  EXPECT_EQ(clipboardText(), "padded name");

  clickRow(2);
  pressCtrlC(form().lstFiles);
  EXPECT_EQ(clipboardText(), "Folder");
}

TEST_F(ClipboardTest, NothingSelectedLeavesEmptyText) {
  form().lstFiles->setFocus();
  // The list's focus frame on a line is not a selection.
  form().lstFiles->setCurrentRow(0, QItemSelectionModel::NoUpdate);
  pressCtrlC(form().lstFiles);
  EXPECT_EQ(clipboardText(), "");
}

TEST_F(ClipboardTest, WorksWhicheverControlHasTheFocus) {
  clickRow(0);
  for (QWidget* target :
       std::initializer_list<QWidget*>{form().cmdOpen, form().Command2, form().optCDROM, &form()}) {
    QGuiApplication::clipboard()->setText(QStringLiteral("left over"));
    pressCtrlC(target);
    EXPECT_EQ(clipboardText(), "LAUNCHME") << target->objectName().toStdString();
  }
}

TEST_F(ClipboardTest, OtherKeysLeaveTheClipboardAlone) {
  clickRow(0);
  QTest::keyClick(form().lstFiles, Qt::Key_C);
  QTest::keyClick(form().lstFiles, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
  QTest::keyClick(form().lstFiles, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(clipboardText(), "left over");
}

TEST_F(ClipboardTest, ThePlatformsControlCharacterCountsAsCtrlC) {
  clickRow(0);
  // Some platforms deliver Ctrl+C as the character 3 with no letter key.
  QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(3)));
  QApplication::sendEvent(form().lstFiles, &press);
  EXPECT_EQ(clipboardText(), "LAUNCHME");
}

TEST(KeyAscii, TranslatesControlLettersAndTypedText) {
  EXPECT_EQ(app::KeyAscii(QKeyEvent(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier)), 3);
  EXPECT_EQ(app::KeyAscii(QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier)), 1);
  EXPECT_EQ(app::KeyAscii(
                QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier)),
            26);
  EXPECT_EQ(app::KeyAscii(QKeyEvent(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, "c")), 'c');
  EXPECT_EQ(app::KeyAscii(
                QKeyEvent(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier, "c")),
            'c');
  EXPECT_EQ(app::KeyAscii(QKeyEvent(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier)), 0);
}


TEST_F(ClipboardTest, AClickBelowTheLastLineKeepsTheSelection) {
  clickRow(1);
  QWidget* viewport = form().lstFiles->viewport();
  QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(20, viewport->height() - 5));
  QTest::keyClick(form().lstFiles, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "padded name");
}

}  // namespace
}  // namespace brindle::testing
