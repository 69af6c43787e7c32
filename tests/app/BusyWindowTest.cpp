// The window while an action runs, on a drive reached through the ASPI library: the transport
// polls each request and runs the window's message pass in between, and the user's clicks that
// arrive then must not start a second action.
#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>
#include <QToolButton>

#include "WindowTestSupport.h"
#include "tests/aspi/AspiTestSupport.h"
#include "transport/clsASPI.h"

namespace brindle::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class BusyWindowTest : public ::testing::Test {
 protected:
  BusyWindowTest() {
    disc = OperaImageBuilder()
               .root({OperaEntry::File("ALPHA", 5000), OperaEntry::File("BETA", 9000),
                      OperaEntry::Dir("MOVIES", {OperaEntry::File("INTRO", 700)}),
                      OperaEntry::File("GAMMA", 100)})
               .build();
    library.Control(kAspiSetSupportWord, 0x101);
    library.AddCdrom(0, 1, 0, 3);
    library.SetImage(0, 1, 0, disc.bytes);
    // Every request ends a little later, so each read waits in the message pass.
    library.Control(kAspiSetCompletion, 1, 2);
    auto machine = std::make_unique<AspiMachine>();
    application = std::make_unique<app::Application>(
        prompts, std::move(machine),
        [](platform::Os& os, auto) { return std::make_unique<transport::clsSPTI>(os); },
        [](platform::Os& os, std::function<void()> messagePass) {
          return std::make_unique<transport::clsASPI>(os, std::move(messagePass));
        });
    form().show();
  }

  app::frmMain& form() { return application->window(); }

  // A user's click on widget at point, queued as the window system queues it: delivered by the
  // next pass of message processing.
  static void QueueClick(QWidget* widget, QPoint point, bool twice) {
    const QPointF local(point);
    const QPointF global(widget->mapToGlobal(point));
    const auto post = [&](QEvent::Type type) {
      QCoreApplication::postEvent(
          widget,
          new QMouseEvent(type, local, global, Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier));
    };
    post(QEvent::MouseButtonPress);
    post(QEvent::MouseButtonRelease);
    if (twice) {
      post(QEvent::MouseButtonDblClick);
      post(QEvent::MouseButtonRelease);
    }
  }

  std::vector<std::string> lines() {
    std::vector<std::string> result;
    for (int i = 0; i < form().fileCount(); ++i) result.push_back(form().fileLine(i));
    return result;
  }

  TestAspiLibrary library;
  OperaImage disc;
  ScriptedPrompts prompts;
  std::unique_ptr<app::Application> application;
  TempFolder folder;
};

TEST_F(BusyWindowTest, DoubleClickDuringExtractAllChangesNeitherTheListingNorTheFiles) {
  QTest::mouseClick(form().optCDROM, Qt::LeftButton);
  ASSERT_EQ(application->currentTransport()->Interface(), "ASPI");
  QTest::mouseClick(form().cmdOpen, Qt::LeftButton);
  ASSERT_THAT(prompts.errors, IsEmpty());
  const std::vector<std::string> listing = lines();
  ASSERT_EQ(listing.size(), 4u);

  // While the folder is asked for, the user double-clicks MOVIES; the clicks wait in the queue
  // and arrive during the first read of the copy. The cursor is noted at each prompt.
  std::vector<Qt::CursorShape> cursors;
  prompts.onPrompt = [&](const std::string& what) {
    cursors.push_back(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape()
                                                     : Qt::ArrowCursor);
    if (what != "save") return;
    QListWidget* list = form().lstFiles;
    int movies = -1;
    for (int i = 0; i < list->count(); ++i) {
      if (reader::EntryName(form().fileLine(i)) == "MOVIES") movies = i;
    }
    QueueClick(list->viewport(), list->visualItemRect(list->item(movies)).center(), true);
  };
  const std::filesystem::path out = folder.path();
  prompts.saveAnswers.push_back((out / "Filename will be ignored").string());
  QTest::mouseClick(form().Command2, Qt::LeftButton);

  EXPECT_THAT(prompts.log, ElementsAre("save", "beep"));
  EXPECT_THAT(prompts.errors, IsEmpty());
  // The dialog shows the ordinary cursor, the rest of the action the wait cursor.
  EXPECT_THAT(cursors, ElementsAre(Qt::ArrowCursor, Qt::WaitCursor));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(lines(), listing);
  EXPECT_EQ(form().historyCount(), 1);
  EXPECT_EQ(ReadFileBytes((out / "ALPHA").string()), disc.contents.at("ALPHA"));
  EXPECT_EQ(ReadFileBytes((out / "BETA").string()), disc.contents.at("BETA"));
  EXPECT_EQ(ReadFileBytes((out / "GAMMA").string()), disc.contents.at("GAMMA"));
  EXPECT_FALSE(std::filesystem::exists(out / "INTRO"));

  // The clicks were dropped, not kept for later: the window is idle and unchanged.
  QCoreApplication::processEvents();
  EXPECT_EQ(lines(), listing);
  EXPECT_FALSE(form().busy());
}

TEST_F(BusyWindowTest, SourceClicksWhileTheDriveListIsBuiltAreDropped) {
  // Back to the image source and again to the drive, queued before the first switch to the
  // drive: they arrive while its INQUIRY waits.
  QueueClick(form().optDiscImage, form().optDiscImage->rect().center(), false);
  QueueClick(form().optCDROM, form().optCDROM->rect().center(), false);
  QTest::mouseClick(form().optCDROM, Qt::LeftButton);

  ASSERT_EQ(form().cbDrives->count(), 1);
  EXPECT_EQ(form().driveIndex(), 0);
  EXPECT_EQ(form().sectorSource(), reader::SectorSource::Drive);
  EXPECT_TRUE(form().optCDROM->isChecked());
  EXPECT_EQ(library.Control(kAspiCountRequests, transport::kAspiExecute), 1);
  EXPECT_THAT(prompts.warnings, IsEmpty());
}

}  // namespace
}  // namespace brindle::testing
