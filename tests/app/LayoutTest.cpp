// The window's controls against its design: place, size, caption, font, containers, tab order.
#include <QAbstractButton>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "WindowTestSupport.h"
#include "app/Controls.h"

namespace brindle::testing {
namespace {

using app::frmMain;

enum class Font { Default, Courier975, Courier9, Courier975Bold };

struct DesignRow {
  const char* name;
  const char* container;
  int left, top, width, height;  // twips
  const char* text;              // nullptr: no text to check
  Font font;
};

// The design table, in twips.
const DesignRow kControls[] = {
    {"Frame1", "frmMain", 60, 0, 9675, 5835, nullptr, Font::Default},
    {"Label1", "Frame1", 120, 180, 1320, 240, "Disc Image:", Font::Courier975},
    {"txtFile", "Frame1", 120, 480, 6495, 315, "[no file selected]", Font::Courier975},
    {"cbDrives", "Frame1", 120, 480, 6495, 345, nullptr, Font::Courier9},
    {"cmdOpen", "Frame1", 6660, 480, 495, 315, "...", Font::Default},
    {"Label2", "Frame1", 120, 1200, 960, 240, "Filename", Font::Courier975},
    {"Label3", "Frame1", 4245, 1200, 480, 240, "Type", Font::Courier975},
    {"Label4", "Frame1", 5805, 1200, 960, 240, "Filesize", Font::Courier975},
    {"lstFiles", "Frame1", 120, 1440, 7035, 3870, nullptr, Font::Courier975},
    {"Command2", "Frame1", 120, 5400, 2895, 315, "extract all files from current directory",
     Font::Default},
    {"Frame2", "Frame1", 7260, 120, 2295, 5205, nullptr, Font::Default},
    {"Label5", "Frame2", 120, 180, 840, 240, "Source:", Font::Courier975},
    {"optDiscImage", "Frame2", 120, 480, 975, 915, "Disc Image", Font::Default},
    {"optCDROM", "Frame2", 1200, 480, 975, 915, "CD-ROM", Font::Default},
    {"Label7", "Frame2", 120, 1800, 1200, 240, "Disc Size:", Font::Courier975},
    {"lbDiscSize", "Frame2", 1440, 1800, 720, 240, "--- MB", Font::Courier975Bold},
    {"lstHistory", "Frame2", 120, 4080, 2055, 1035, nullptr, Font::Default},
};

QString TextOf(const QWidget* widget) {
  if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  return {};
}

class LayoutTest : public WindowTest {};

TEST_F(LayoutTest, EveryControlStandsWhereTheDesignPutsIt) {
  // Controls without a font of their own use the window's dialog font.
  const QFont defaultFont = form().font();
  EXPECT_EQ(defaultFont.pointSizeF(), 8.25);
  for (const DesignRow& row : kControls) {
    SCOPED_TRACE(row.name);
    auto* widget = form().findChild<QWidget*>(QString::fromLatin1(row.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName().toStdString(), row.container);
    EXPECT_EQ(widget->geometry(),
              QRect(row.left / 15, row.top / 15, row.width / 15, row.height / 15));
    if (row.text) {
      EXPECT_EQ(TextOf(widget).toStdString(), row.text);
    }

    const QFont font = widget->font();
    switch (row.font) {
      case Font::Default:
        EXPECT_EQ(font.families(), defaultFont.families());
        EXPECT_EQ(font.pointSizeF(), defaultFont.pointSizeF());
        break;
      case Font::Courier975:
      case Font::Courier9:
      case Font::Courier975Bold:
        EXPECT_EQ(font.family().toStdString(), "Courier New");
        EXPECT_EQ(font.pointSizeF(), row.font == Font::Courier9 ? 9.0 : 9.75);
        EXPECT_EQ(font.weight(), row.font == Font::Courier975Bold ? QFont::Bold : QFont::Normal);
        EXPECT_FALSE(font.italic() || font.underline() || font.strikeOut());
        break;
    }
  }
}

TEST_F(LayoutTest, WindowHasTheFixedClientAreaTitleAndCdIcon) {
  EXPECT_EQ(form().windowTitle().toStdString(), "Brindle v0.03");
  EXPECT_EQ(form().size(), QSize(9795 / 15, 5895 / 15));
  EXPECT_EQ(form().minimumSize(), form().maximumSize());
  // The window icon is the CD-ROM button's picture.
  const QImage windowIcon = form().windowIcon().pixmap(32, 32).toImage();
  EXPECT_FALSE(windowIcon.isNull());
  EXPECT_EQ(windowIcon, form().optCDROM->icon().pixmap(32, 32).toImage());
  EXPECT_NE(windowIcon, form().optDiscImage->icon().pixmap(32, 32).toImage());
}

TEST_F(LayoutTest, PositionsAddUpThroughTheContainers) {
  // Everything sits inside Frame1 at (60, 0) twips.
  EXPECT_EQ(form().lstFiles->mapTo(&form(), QPoint(0, 0)), QPoint(180 / 15, 1440 / 15));
  EXPECT_EQ(form().optCDROM->mapTo(&form(), QPoint(0, 0)), QPoint(8520 / 15, 600 / 15));
}

TEST_F(LayoutTest, LinesAndFramesAreDrawnWithoutCaptions) {
  EXPECT_EQ(form().Line1->from(), QPoint(120 / 15, 1020 / 15));
  EXPECT_EQ(form().Line1->to(), QPoint(7140 / 15, 1020 / 15));
  EXPECT_EQ(form().Line1->parentWidget(), form().Frame1);
  EXPECT_EQ(form().Line2->from(), QPoint(120 / 15, 1620 / 15));
  EXPECT_EQ(form().Line2->to(), QPoint(2160 / 15, 1620 / 15));
  EXPECT_EQ(form().Line2->parentWidget(), form().Frame2);
  EXPECT_TRUE(form().Line1->isVisible());
  EXPECT_EQ(form().Line1->geometry().height(), 1);
  EXPECT_TRUE(form().Frame1->title().isEmpty());
  EXPECT_TRUE(form().Frame2->title().isEmpty());
}

TEST_F(LayoutTest, EntryListUsesAFixedPitchFaceSoColumnsLineUp) {
  const QFontInfo info(form().lstFiles->font());
  EXPECT_TRUE(info.fixedPitch()) << info.family().toStdString();
  const QFontMetrics metrics(form().lstFiles->font());
  EXPECT_EQ(metrics.horizontalAdvance(QStringLiteral("iiii")),
            metrics.horizontalAdvance(QStringLiteral("WWWW")));
}

TEST_F(LayoutTest, SourceButtonsAreExclusivePictureButtons) {
  for (QToolButton* button : {form().optDiscImage, form().optCDROM}) {
    EXPECT_TRUE(button->isCheckable());
    EXPECT_TRUE(button->autoExclusive());
    EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_FALSE(button->icon().isNull());
  }
  EXPECT_TRUE(form().optDiscImage->isChecked());
  EXPECT_FALSE(form().optCDROM->isChecked());
}

TEST_F(LayoutTest, TabKeyWalksTheControlsInTabIndexOrder) {
  const std::vector<std::string> expected = {"lstFiles", "cmdOpen",    "txtFile",      "cbDrives",
                                             "Command2", "lstHistory", "optDiscImage", "optCDROM"};
  std::vector<std::string> chain;
  QWidget* widget = form().lstFiles;
  do {
    const std::string name = widget->objectName().toStdString();
    if (std::find(expected.begin(), expected.end(), name) != expected.end()) chain.push_back(name);
    widget = widget->nextInFocusChain();
  } while (widget != form().lstFiles && chain.size() < expected.size());
  EXPECT_EQ(chain, expected);

  // With the window shown, the first control that takes focus is the entry list, and Tab skips
  // the disabled path field and the hidden lists.
  form().activateWindow();
  form().lstFiles->setFocus();
  QTest::keyClick(form().lstFiles, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), form().cmdOpen);
  QTest::keyClick(form().cmdOpen, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), form().Command2);
}

}  // namespace
}  // namespace brindle::testing
