// The fallback from a pass-through transport with no usable drive to the ASPI library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/aspi/AspiTestSupport.h"
#include "transport/DriveList.h"
#include "transport/clsASPI.h"
#include "transport/clsSPTI.h"

namespace brindle::testing {
namespace {

using ::testing::ElementsAre;
namespace t = transport;

class RecordingDriveList : public t::DriveListView {
 public:
  void addDrive(const std::string& label) override { labels.push_back(label); }
  void selectDrive(int index) override { selected = index; }
  std::string tag() const override { return tag_; }
  void setTag(const std::string& tag) override { tag_ = tag; }
  void showWarning(const std::string& message, const std::string& title) override {
    warnings.push_back(message + "|" + title);
  }

  std::vector<std::string> labels;
  std::vector<std::string> warnings;
  int selected = -1;
  std::string tag_;
};

class AspiFallback : public ::testing::Test {
 protected:
  std::unique_ptr<t::ISCSI> Select() {
    return t::SelectTransport(
        list_, [this] { return std::make_unique<t::clsSPTI>(os_); },
        [this] { return std::make_unique<t::clsASPI>(os_, [] {}); });
  }

  TestAspiLibrary library_;
  AspiMachine os_;
  RecordingDriveList list_;
};

TEST_F(AspiFallback, ListsTheAspiDrivesWithTheirLettersWhenPassThroughHasNone) {
  os_.setVersion({4, 10, 1});  // Windows 98: letters come from the library's disk information
  library_.Control(kAspiSetSupportWord, 0x102);
  library_.AddCdrom(1, 0, 0, 4);
  library_.AddCdrom(0, 1, 0, 3);
  library_.Control(kAspiAddDevice, 0, 0, 0, 0);
  library_.SetImage(0, 1, 0, NumberedImage(1));
  auto chosen = Select();
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->Interface(), "ASPI");
  EXPECT_THAT(list_.labels,
              ElementsAre("D: BRINDLE  EMULATED CD-ROM ", "E: BRINDLE  EMULATED CD-ROM "));
  EXPECT_EQ(list_.selected, 0);
  EXPECT_TRUE(list_.warnings.empty());
  EXPECT_EQ(list_.tag_, "1111");

  // The chosen transport reads the drive behind the first entry.
  std::vector<std::uint8_t> buffer(2048);
  EXPECT_EQ(chosen->ExecCMD(chosen->DriveHandle(1), Read10(0, 1), 10, 0, buffer.data(), 2048, 5),
            0);
  EXPECT_EQ(buffer[0], 1);
}

TEST_F(AspiFallback, DriveWithAFailingInquiryIsListedAsSuch) {
  os_.setVersion({4, 10, 1});
  library_.Control(kAspiSetSupportWord, 0x101);
  library_.AddCdrom(0, 1, 0, 3);
  library_.Control(kAspiAbortNext, 0, 1, 0);
  auto chosen = Select();
  EXPECT_THAT(list_.labels, ElementsAre("D: [INQUIRY FAILED]"));
}

TEST_F(AspiFallback, WarnsAndListsNothingWhenTheLibraryIsAbsent) {
  os_.aspiLibrary = "/nonexistent/libwnaspi32.so";
  auto chosen = Select();
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->Interface(), "ASPI");
  EXPECT_THAT(
      list_.warnings,
      ElementsAre(std::string("Kein funktionierendes Interface gefunden!|") + t::kWarningTitle));
  EXPECT_TRUE(list_.labels.empty());
  EXPECT_EQ(list_.tag_, "1111");
}

TEST_F(AspiFallback, WarnsWhenTheLibraryIsNotReady) {
  library_.Control(kAspiSetSupportWord, 0xE800);
  auto chosen = Select();
  EXPECT_EQ(list_.warnings.size(), 1u);
  EXPECT_TRUE(list_.labels.empty());
}

}  // namespace
}  // namespace brindle::testing
