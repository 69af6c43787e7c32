// The Win32 window as the user meets it: its form, its start-up state and the image source,
// driven with the window messages a user's clicks, double clicks and keys produce.
#include <cmath>

#include "WindowTestSupport.h"
#include "tests/support/drive/FakeOs.h"
#include "transport/clsSPTI.h"

namespace brindle::testing {
namespace {

using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class WindowTest : public WindowFixture {
 protected:
  void SetUp() override {
    // A machine without optical drives or an ASPI library, whatever this one has.
    application = std::make_unique<winapp::Application>(
        prompts, std::make_unique<FakeOs>(),
        [](platform::Os& os, auto) { return std::make_unique<transport::clsSPTI>(os); }, nullptr);
    form().show();
  }

  void expectPlaced(HWND control, int left, int top, int width, int height) {
    const RECT rect = ClientRect(control, form().hwnd());
    EXPECT_EQ(rect.left, form().twips(left));
    EXPECT_EQ(rect.top, form().twips(top));
    EXPECT_EQ(rect.right - rect.left, form().twips(width));
    EXPECT_EQ(rect.bottom - rect.top, form().twips(height));
  }

  static LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
  }

  // The Ctrl+C character typed into control, through the window's own message handling.
  void typeCtrlC(HWND control) {
    PostMessageW(control, WM_CHAR, 3, 0);
    form().MessagePass();
  }

  static std::wstring Clipboard() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return L"<no clipboard>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      text = static_cast<const wchar_t*>(GlobalLock(data));
      GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
  }
};

TEST_F(WindowTest, ShowsTheFormOfTheDesignAtTheDisplaysResolution) {
  EXPECT_EQ(Text(form().hwnd()), "Brindle v0.03");
  RECT client;
  GetClientRect(form().hwnd(), &client);
  EXPECT_EQ(client.right, form().twips(9795));
  EXPECT_EQ(client.bottom, form().twips(5895));
  EXPECT_NE(GetClassLongPtrW(form().hwnd(), GCLP_HICON), 0u);

  // Inside Frame1 at (60, 0) and Frame2 at (7320, 120).
  expectPlaced(form().Frame1, 60, 0, 9675, 5835);
  expectPlaced(form().Label1, 180, 180, 1320, 240);
  expectPlaced(form().txtFile, 180, 480, 6495, 315);
  expectPlaced(form().cmdOpen, 6720, 480, 495, 315);
  expectPlaced(form().Label2, 180, 1200, 960, 240);
  expectPlaced(form().Label3, 4305, 1200, 480, 240);
  expectPlaced(form().Label4, 5865, 1200, 960, 240);
  expectPlaced(form().lstFiles, 180, 1440, 7035, 3870);
  expectPlaced(form().Command2, 180, 5400, 2895, 315);
  expectPlaced(form().Frame2, 7320, 120, 2295, 5205);
  expectPlaced(form().Label5, 7440, 300, 840, 240);
  expectPlaced(form().optDiscImage, 7440, 600, 975, 915);
  expectPlaced(form().optCDROM, 8520, 600, 975, 915);
  expectPlaced(form().Label7, 7440, 1920, 1200, 240);
  expectPlaced(form().lbDiscSize, 8760, 1920, 720, 240);
  const RECT line1 = ClientRect(form().Line1, form().hwnd());
  EXPECT_EQ(line1.left, form().twips(180));
  EXPECT_EQ(line1.top, form().twips(1020));
  // The system's etched rule may reach a pixel or two further than asked.
  EXPECT_NEAR(line1.right, form().twips(7200), 2);
  // The drop-down list, shown in txtFile's place, is as high as the design makes it.
  ShowWindow(form().cbDrives, SW_SHOW);
  expectPlaced(form().cbDrives, 180, 480, 6495, 345);
  ShowWindow(form().cbDrives, SW_HIDE);

  // Captions, and the start-up state.
  EXPECT_EQ(Text(form().Label1), "Disc Image:");
  EXPECT_EQ(Text(form().txtFile), "[no file selected]");
  EXPECT_EQ(Text(form().cmdOpen), "...");
  EXPECT_EQ(Text(form().Label2) + Text(form().Label3) + Text(form().Label4),
            "FilenameTypeFilesize");
  EXPECT_EQ(Text(form().Command2), "extract all files from current directory");
  EXPECT_EQ(Text(form().Label5), "Source:");
  EXPECT_EQ(Text(form().optDiscImage), "Disc Image");
  EXPECT_EQ(Text(form().optCDROM), "CD-ROM");
  EXPECT_EQ(Text(form().Label7), "Disc Size:");
  EXPECT_EQ(Text(form().lbDiscSize), "--- MB");
  EXPECT_TRUE(GetWindowLongW(form().lbDiscSize, GWL_STYLE) & SS_RIGHT);
  EXPECT_TRUE(form().isSourceDown(form().optDiscImage));
  EXPECT_FALSE(form().isSourceDown(form().optCDROM));
  EXPECT_FALSE(IsWindowEnabled(form().txtFile));
  EXPECT_TRUE(IsWindowVisible(form().txtFile));
  EXPECT_FALSE(IsWindowVisible(form().cbDrives));
  EXPECT_FALSE(IsWindowVisible(form().lstHistory));
  EXPECT_EQ(form().fileCount(), 0);
  EXPECT_EQ(SendMessageW(form().cbDrives, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(form().sectorSource(), reader::SectorSource::Image);

  // The fonts of the design; the entry list's is fixed-pitch whatever stood in for it.
  const auto points = [&](double size) { return -std::lround(size * form().twips(1440) / 72.0); };
  EXPECT_EQ(FontOf(form().lstFiles).lfHeight, points(9.75));
  EXPECT_EQ(FontOf(form().cbDrives).lfHeight, points(9));
  EXPECT_EQ(FontOf(form().lbDiscSize).lfWeight, FW_BOLD);
  EXPECT_EQ(FontOf(form().Label1).lfWeight, FW_NORMAL);
  EXPECT_EQ(FontOf(form().lstFiles).lfCharSet, ANSI_CHARSET);
  EXPECT_THAT(std::wstring(FontOf(form().lstFiles).lfFaceName),
              AnyOf(std::wstring(L"Courier New"), std::wstring(L"Liberation Mono")));
  HDC dc = GetDC(form().lstFiles);
  HGDIOBJ previous =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(form().lstFiles, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, previous);
  ReleaseDC(form().lstFiles, dc);
  EXPECT_EQ(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0) << "a variable-pitch list font";

  // Tab order: the focusable controls by tab index; disabled and hidden ones are passed over.
  std::vector<HWND> order;
  HWND at = form().lstFiles;
  for (int i = 0; i < 5; ++i) order.push_back(at = GetNextDlgTabItem(form().hwnd(), at, FALSE));
  EXPECT_THAT(order, ElementsAre(form().cmdOpen, form().Command2, form().optDiscImage,
                                 form().optCDROM, form().lstFiles));
}

TEST_F(WindowTest, OpensNavigatesSavesExtractsAndCopiesNames) {
  const OperaImage disc = OperaImageBuilder()
                              .root({OperaEntry::File("LAUNCHME", 3000),
                                     OperaEntry::Dir("Art", {OperaEntry::File("cover.bmp", 5000)}),
                                     OperaEntry::File(std::string("Caf\xE9"), 10)})
                              .build();
  const std::string image = folder.file("disc.iso");
  ASSERT_TRUE(disc.writeTo(image));

  prompts.openAnswers.push_back(image);
  Click(form().cmdOpen);
  ASSERT_EQ(prompts.openRequests.size(), 1u);
  EXPECT_EQ(prompts.openRequests[0].title, "Please select a disc image...");
  EXPECT_EQ(prompts.openRequests[0].filterDescription, "ISO disc images (*.iso)");
  EXPECT_EQ(prompts.openRequests[0].filterPattern, "*.iso");
  EXPECT_THAT(prompts.errors, IsEmpty());
  EXPECT_EQ(Text(form().txtFile), image);
  ASSERT_EQ(form().fileCount(), 3);
  EXPECT_EQ(form().historyCount(), 1);
  EXPECT_NE(Text(form().lbDiscSize), "--- MB");

  // Ctrl+C typed into the list: exactly the trimmed name, as Unicode text.
  SendMessageW(form().lstFiles, LB_SETCURSEL, rowOf("LAUNCHME"), 0);
  typeCtrlC(form().lstFiles);
  EXPECT_EQ(Clipboard(), L"LAUNCHME");
  SendMessageW(form().lstFiles, LB_SETCURSEL, rowOf("Caf\xE9"), 0);
  typeCtrlC(form().Command2);  // anywhere in the window
  EXPECT_EQ(Clipboard(), L"Caf\u00E9");
  SendMessageW(form().lstFiles, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  typeCtrlC(form().lstFiles);
  EXPECT_EQ(Clipboard(), L"");

  // Into Art and save cover.bmp under the chosen name.
  DoubleClickRow(form().lstFiles, rowOf("Art"));
  EXPECT_EQ(form().historyCount(), 2);
  ASSERT_NE(rowOf("cover.bmp"), -1);
  const std::string saved = folder.file("saved.bmp");
  prompts.saveAnswers.push_back(saved);
  DoubleClickRow(form().lstFiles, rowOf("cover.bmp"));
  ASSERT_EQ(prompts.saveRequests.size(), 1u);
  EXPECT_EQ(prompts.saveRequests[0].initialName, "cover.bmp");
  EXPECT_EQ(ReadFileBytes(saved), disc.contents.at("Art/cover.bmp"));
  EXPECT_TRUE(IsWindowEnabled(form().cmdOpen));
  EXPECT_TRUE(IsWindowEnabled(form().lstFiles));

  // Up again, and extract all of the root.
  DoubleClickRow(form().lstFiles, rowOf(".."));
  EXPECT_EQ(form().historyCount(), 1);
  ASSERT_NE(rowOf("LAUNCHME"), -1);
  const std::filesystem::path out = folder.path() / "out";
  std::filesystem::create_directory(out);
  prompts.saveAnswers.push_back((out / "Filename will be ignored").string());
  Click(form().Command2);
  EXPECT_EQ(prompts.saveRequests.back().title, "Extract files to...");
  EXPECT_THAT(prompts.errors, IsEmpty());
  EXPECT_EQ(ReadFileBytes(out / "LAUNCHME"), disc.contents.at("LAUNCHME"));
  EXPECT_EQ(prompts.beeps, 2);

  // A file that is no disc: one "Error" box, the listing emptied.
  const std::string notADisc = folder.file("notes.iso");
  std::ofstream(notADisc) << "just text";
  prompts.openAnswers.push_back(notADisc);
  Click(form().cmdOpen);
  EXPECT_EQ(prompts.errors.size(), 1u);
  EXPECT_EQ(form().fileCount(), 0);
}

TEST_F(WindowTest, SwitchingSourcesKeepsTheDiscSizeAndForgetsThePath) {
  const std::string image = folder.file("disc.iso");
  ASSERT_TRUE(OperaImageBuilder().root({OperaEntry::File("A", 10)}).build().writeTo(image));
  prompts.openAnswers.push_back(image);
  Click(form().cmdOpen);
  ASSERT_EQ(form().fileCount(), 1);
  const std::string size = Text(form().lbDiscSize);

  // No drive anywhere: the warning, and the drive source all the same.
  Click(form().optCDROM);
  EXPECT_EQ(Text(form().Label1), "CD/DVD-ROM Drive:");
  EXPECT_EQ(Text(form().cmdOpen), "OK");
  EXPECT_TRUE(IsWindowVisible(form().cbDrives));
  EXPECT_FALSE(IsWindowVisible(form().txtFile));
  EXPECT_TRUE(form().isSourceDown(form().optCDROM));
  EXPECT_EQ(form().fileCount(), 0);
  EXPECT_THAT(prompts.warnings, ElementsAre("Brindle: Kein funktionierendes Interface gefunden!"));
  EXPECT_EQ(form().sectorSource(), reader::SectorSource::Drive);

  Click(form().optDiscImage);
  EXPECT_EQ(Text(form().Label1), "Disc Image:");
  EXPECT_EQ(Text(form().cmdOpen), "...");
  EXPECT_EQ(Text(form().txtFile), "[no file selected]");
  EXPECT_TRUE(IsWindowVisible(form().txtFile));
  EXPECT_FALSE(IsWindowVisible(form().cbDrives));
  EXPECT_EQ(Text(form().lbDiscSize), size);
  EXPECT_TRUE(form().isSourceDown(form().optDiscImage));

  // The list was built once: no second warning.
  Click(form().optCDROM);
  EXPECT_EQ(prompts.warnings.size(), 1u);
}

}  // namespace
}  // namespace brindle::testing
