// The Win32 window on the drive source through the ASPI library: the transport polls each
// request and runs the window's message pass in between, and the user's clicks that arrive then
// must not start a second action.
#include "WindowTestSupport.h"
#include "tests/aspi/AspiTestSupport.h"
#include "transport/clsASPI.h"
#include "transport/clsSPTI.h"

namespace brindle::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DriveWindowTest : public WindowFixture {
 protected:
  DriveWindowTest() {
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
    application = std::make_unique<winapp::Application>(
        prompts, std::make_unique<AspiMachine>(),
        [](platform::Os& os, auto) { return std::make_unique<transport::clsSPTI>(os); },
        [](platform::Os& os, std::function<void()> messagePass) {
          return std::make_unique<transport::clsASPI>(os, std::move(messagePass));
        });
    form().show();
  }

  TestAspiLibrary library;
  OperaImage disc;
};

TEST_F(DriveWindowTest, DoubleClickDuringExtractAllChangesNeitherTheListingNorTheFiles) {
  Click(form().optCDROM);
  ASSERT_NE(application->currentTransport(), nullptr);
  ASSERT_EQ(application->currentTransport()->Interface(), "ASPI");
  EXPECT_EQ(SendMessageW(form().cbDrives, CB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(form().driveIndex(), 0);
  Click(form().cmdOpen);
  ASSERT_THAT(prompts.errors, IsEmpty());
  const std::vector<std::string> listing = lines();
  ASSERT_EQ(listing.size(), 4u);

  // While the folder is asked for, the user double-clicks MOVIES and clicks the image source;
  // the messages wait in the queue and arrive during the first read of the copy. The cursor is
  // noted at each prompt.
  std::vector<HCURSOR> cursors;
  prompts.onPrompt = [&](const std::string& what) {
    cursors.push_back(GetCursor());
    if (what != "save") return;
    DoubleClickRow(form().lstFiles, rowOf("MOVIES"), true);
    PostMessageW(form().optDiscImage, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(form().optDiscImage, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  };
  const std::filesystem::path out = folder.path();
  prompts.saveAnswers.push_back((out / "Filename will be ignored").string());
  Click(form().Command2);

  EXPECT_THAT(prompts.log, ElementsAre("save", "beep"));
  EXPECT_THAT(cursors,
              ElementsAre(LoadCursorW(nullptr, IDC_ARROW), LoadCursorW(nullptr, IDC_WAIT)));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(lines(), listing);
  EXPECT_EQ(form().historyCount(), 1);
  EXPECT_EQ(form().sectorSource(), reader::SectorSource::Drive);
  EXPECT_EQ(ReadFileBytes(out / "ALPHA"), disc.contents.at("ALPHA"));
  EXPECT_EQ(ReadFileBytes(out / "BETA"), disc.contents.at("BETA"));
  EXPECT_EQ(ReadFileBytes(out / "GAMMA"), disc.contents.at("GAMMA"));
  EXPECT_FALSE(std::filesystem::exists(out / "INTRO"));

  // The clicks were dropped, not kept for later.
  form().MessagePass();
  EXPECT_EQ(lines(), listing);
  EXPECT_FALSE(form().busy());
}

}  // namespace
}  // namespace brindle::testing
