// Choosing the transport and building the drive list, with the real pass-through transport over
// emulated drives.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/drive/FakeOs.h"
#include "transport/DriveList.h"
#include "transport/clsSPTI.h"

namespace brindle::transport {
namespace {

using ::testing::ElementsAre;
using testing::FakeOs;
using ::testing::IsEmpty;

struct Warning {
  std::string message;
  std::string title;
  bool operator==(const Warning&) const = default;
};

// cbDrives over plain containers.
class PlainDriveList : public DriveListView {
 public:
  void addDrive(const std::string& label) override { labels.push_back(label); }
  void selectDrive(int index) override { selected = index; }
  std::string tag() const override { return tagText; }
  void setTag(const std::string& tag) override { tagText = tag; }
  void showWarning(const std::string& message, const std::string& title) override {
    warnings.push_back({message, title});
  }

  std::vector<std::string> labels;
  int selected = -1;
  std::string tagText;
  std::vector<Warning> warnings;
};

TransportFactory SptiOver(FakeOs& os) {
  return [&os] { return std::make_unique<clsSPTI>(os); };
}

TEST(DriveList, LabelsKeepThePaddingTheDriveSends) {
  FakeOs os;
  os.addDrive('D').setIdentity("ABCD", "CD-ROM 52X");
  os.addDrive('E').setIdentity("PLEXTOR", "DVDR   PX-716A");
  PlainDriveList list;
  const auto chosen = SelectTransport(list, SptiOver(os), {});
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->Interface(), "SPTI");
  EXPECT_THAT(list.labels,
              ElementsAre("D: ABCD     CD-ROM 52X      ", "E: PLEXTOR  DVDR   PX-716A  "));
  EXPECT_EQ(list.selected, 0);
  EXPECT_EQ(list.tagText, "1111");
  EXPECT_THAT(list.warnings, IsEmpty());
}

TEST(DriveList, LabelBytesAreTakenAsSentOneInquiryPerDrive) {
  FakeOs os;
  os.addDrive('D').setIdentity(std::string("V\0ND\xE9R", 6), "PRODUCT");
  os.addDrive('E').setInquiryFails(true);
  os.addDrive('F').setIdentity("F", "");
  PlainDriveList list;
  SelectTransport(list, SptiOver(os), {});
  EXPECT_THAT(list.labels, ElementsAre(std::string("D: V\0ND\xE9R", 9) + "   PRODUCT         ",
                                       "E: [INQUIRY FAILED]", "F: F                        "));
  // One INQUIRY per drive, in order, with the 6-byte command for 76 bytes.
  const auto& sent = os.passThroughRequests();
  ASSERT_EQ(sent.size(), 3u);
  for (const auto& request : sent) {
    EXPECT_THAT(std::vector<std::uint8_t>(request.Cdb, request.Cdb + request.CdbLength),
                ElementsAre(0x12, 0, 0, 0, 76, 0));
    EXPECT_EQ(request.DataTransferLength, 76u);
    EXPECT_EQ(request.TimeOutValue, 5u);
    EXPECT_EQ(request.DataIn, 1);
  }
}

TEST(DriveList, FailedInquiryStillListsTheDrive) {
  FakeOs os;
  os.addDrive('D').failNextRequests(1);
  os.addDrive('G').setIdentity("QEMU", "QEMU CD-ROM");
  PlainDriveList list;
  SelectTransport(list, SptiOver(os), {});
  EXPECT_THAT(list.labels, ElementsAre("D: [INQUIRY FAILED]", "G: QEMU     QEMU CD-ROM     "));
  EXPECT_EQ(list.selected, 0);
}

TEST(DriveList, FallsBackWhenThePassThroughIsNotInstalled) {
  FakeOs machine;         // no CD-ROM letter: not installed
  FakeOs otherInterface;  // the fallback's drives
  otherInterface.addDrive('K').setIdentity("ASPIDRV", "ROM");
  bool sptiReleasedBeforeFallback = false;
  PlainDriveList list;
  const auto chosen = SelectTransport(list, SptiOver(machine), [&]() -> std::unique_ptr<ISCSI> {
    sptiReleasedBeforeFallback = machine.openDeviceCount() == 0;
    return std::make_unique<clsSPTI>(otherInterface);
  });
  ASSERT_NE(chosen, nullptr);
  EXPECT_TRUE(sptiReleasedBeforeFallback);
  EXPECT_THAT(list.labels, ElementsAre("K: ASPIDRV  ROM             "));
  EXPECT_THAT(list.warnings, IsEmpty());
  EXPECT_EQ(list.tagText, "1111");
}

TEST(DriveList, FirstDriveThatCannotOpenRejectsThePassThroughAndClosesTheOthers) {
  FakeOs os;
  os.addDrive('D');
  os.addDrive('E');
  os.setOpenFails('D');
  int openWhenFallbackMade = -1;
  PlainDriveList list;
  const auto chosen = SelectTransport(list, SptiOver(os), [&]() -> std::unique_ptr<ISCSI> {
    openWhenFallbackMade = os.openDeviceCount();
    return nullptr;
  });
  EXPECT_EQ(chosen, nullptr);
  EXPECT_EQ(openWhenFallbackMade, 0);  // E: was opened, then closed with the rejected transport
  EXPECT_THAT(list.warnings,
              ElementsAre(Warning{"Kein funktionierendes Interface gefunden!", "Brindle"}));
  EXPECT_THAT(list.labels, IsEmpty());
  EXPECT_EQ(list.selected, -1);
  EXPECT_EQ(list.tagText, "1111");
}

TEST(DriveList, UnusableFallbackStaysCurrentAndItsDrivesAreListedAfterTheWarning) {
  FakeOs nothing;
  FakeOs fallbackOs;
  fallbackOs.addDrive('E');
  fallbackOs.setOpenFails('E');  // listed, but not installed
  PlainDriveList list;
  const auto chosen = SelectTransport(list, SptiOver(nothing), SptiOver(fallbackOs));
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(list.warnings.size(), 1u);
  EXPECT_THAT(list.labels, ElementsAre("E: [INQUIRY FAILED]"));
  EXPECT_EQ(list.selected, 0);
}

TEST(DriveList, NoFallbackAtAllWarnsAndLeavesAnEmptyListWithoutSelection) {
  FakeOs nothing;
  PlainDriveList list;
  EXPECT_EQ(SelectTransport(list, SptiOver(nothing), {}), nullptr);
  EXPECT_EQ(SelectTransport(list, {}, {}), nullptr);
  EXPECT_EQ(list.warnings.size(), 2u);
  EXPECT_THAT(list.labels, IsEmpty());
  EXPECT_EQ(list.selected, -1);
}

}  // namespace
}  // namespace brindle::transport
