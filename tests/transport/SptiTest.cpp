// The pass-through transport over a recording OS whose drives are emulated: what it asks the OS
// for, and what it reports back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/Records.h"
#include "tests/support/drive/FakeOs.h"
#include "transport/clsSPTI.h"

namespace brindle::transport {
namespace {

using platform::OsVersion;
using ::testing::Each;
using ::testing::ElementsAre;
using testing::EmulatedDrive;
using testing::FakeOs;
using ::testing::Field;

constexpr std::array<std::uint8_t, 6> kInquiry{0x12, 0, 0, 0, 76, 0};

std::vector<std::uint8_t> Image(int sectors) {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(sectors) * 2048);
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<std::uint8_t>(i * 7 + i / 2048);
  return image;
}

std::array<std::uint8_t, 10> Read10(std::uint8_t lba) {
  return {0x28, 0, 0, 0, 0, lba, 0, 0, 1, 0};
}

class Spti : public ::testing::Test {
 protected:
  Spti() {
    os.addDrive('D', Image(4));
    os.setDriveType('C', 3);  // a fixed disk
    os.addDrive('F', Image(2));
  }
  FakeOs os;
};

TEST_F(Spti, FindsCdromLettersInOrderAndNamesDrivesByLetter) {
  clsSPTI spti(os);
  EXPECT_EQ(spti.Interface(), "SPTI");
  EXPECT_TRUE(spti.Initialized());
  EXPECT_EQ(spti.DriveCount(), 2);
  EXPECT_EQ(spti.DriveHandle(1), "D");
  EXPECT_EQ(spti.DriveHandle(2), "F");
  EXPECT_EQ(spti.DriveChar("F"), "F");
  // Outside 1..DriveCount there is no drive.
  EXPECT_EQ(spti.DriveHandle(0), "");
  EXPECT_EQ(spti.DriveHandle(3), "");
  EXPECT_EQ(spti.DriveHandle(-1), "");
  // Every letter asked once, as "X:" without a backslash; nothing opened yet.
  const auto roots = os.callsTo("GetDriveTypeA");
  ASSERT_EQ(roots.size(), 26u);
  EXPECT_EQ(roots.front().text, "A:");
  EXPECT_EQ(roots.back().text, "Z:");
  EXPECT_TRUE(os.callsTo("CreateFileA").empty());
}

TEST_F(Spti, OpensEveryCdromOnceOnFirstNeedWithTheMaskForTheOsVersion) {
  struct Case {
    OsVersion version;
    std::uint32_t access;
  };
  const Case cases[] = {{{5, 0, 2}, 0xC0000000u},    // Windows 2000
                        {{10, 0, 2}, 0xC0000000u},   // later NT
                        {{4, 0, 2}, 0x80000000u},    // NT 4
                        {{4, 10, 1}, 0x80000000u}};  // Windows 98
  for (const Case& c : cases) {
    os.clearCalls();
    os.setVersion(c.version);
    clsSPTI spti(os);
    EXPECT_TRUE(spti.Installed());
    std::array<std::uint8_t, 76> data{};
    spti.ExecCMD("D", kInquiry, 6, kDirectionIn, data.data(), 76, 5);
    spti.ExecCMD("F", kInquiry, 6, kDirectionIn, data.data(), 76, 5);
    const auto opens = os.callsTo("CreateFileA");
    ASSERT_EQ(opens.size(), 2u) << c.version.majorVersion;
    EXPECT_EQ(opens[0].text, "\\\\.\\D:");
    EXPECT_EQ(opens[1].text, "\\\\.\\F:");
    EXPECT_THAT(opens, Each(Field(&FakeOs::Call::args,
                                  ElementsAre(c.access, 3u /*share*/, 3u /*OPEN_EXISTING*/, 0u))));
  }
}

TEST_F(Spti, UnreadableVersionOpensReadOnly) {
  os.setVersionFails();
  clsSPTI spti(os);
  EXPECT_TRUE(spti.Installed());
  EXPECT_EQ(os.callsTo("CreateFileA").at(0).args.at(0), 0x80000000u);
}

TEST_F(Spti, InstalledFollowsTheFirstDriveOnly) {
  os.setOpenFails('D');
  {
    clsSPTI spti(os);
    EXPECT_FALSE(spti.Installed());
    std::array<std::uint8_t, 2048> data{};
    EXPECT_EQ(spti.ExecCMD("D", Read10(0), 10, kDirectionIn, data.data(), 2048, 5),
              kResultNoDevice);
    EXPECT_EQ(spti.ExecCMD("F", Read10(0), 10, kDirectionIn, data.data(), 2048, 5), kResultGood);
  }
  FakeOs empty;
  clsSPTI none(empty);
  EXPECT_EQ(none.DriveCount(), 0);
  EXPECT_FALSE(none.Installed());
  EXPECT_TRUE(empty.callsTo("CreateFileA").empty());
}

TEST_F(Spti, FillsThePassThroughRecordForEachCommand) {
  clsSPTI spti(os);
  std::array<std::uint8_t, 2048> data{};
  ASSERT_EQ(spti.ExecCMD("D", Read10(3), 10, kDirectionIn, data.data(), 2048, 0), kResultGood);
  ASSERT_EQ(spti.ExecCMD("D", Read10(3), 10, kDirectionIn, data.data(), 2048, 5), kResultGood);
  ASSERT_EQ(spti.ExecCMD("D", Read10(3), 10, kDirectionOut, data.data(), 2048, 5), 2);
  ASSERT_EQ(spti.ExecCMD("D", Read10(3), 10, 7, data.data(), 2048, -1), 2);

  const auto& sent = os.passThroughRequests();
  ASSERT_EQ(sent.size(), 4u);
  const platform::ScsiPassThroughDirect& first = sent[0];
  EXPECT_EQ(first.Length, sizeof(platform::ScsiPassThroughDirect));
  EXPECT_EQ(first.ScsiStatus, 0);
  EXPECT_EQ(first.PathId, 0);
  EXPECT_EQ(first.TargetId, 0);
  EXPECT_EQ(first.Lun, 0);
  EXPECT_EQ(first.CdbLength, 10);
  EXPECT_EQ(first.SenseInfoLength, 31);
  EXPECT_EQ(first.SenseInfoOffset, platform::kSenseAreaOffset);
  EXPECT_EQ(first.DataTransferLength, 2048u);
  EXPECT_EQ(first.DataBuffer, data.data());
  EXPECT_THAT(first.Cdb, ElementsAre(0x28, 0, 0, 0, 0, 3, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0));
  // Time-out: 0 -> the 3-hour default, otherwise as given, widened with its sign.
  EXPECT_EQ(sent[0].TimeOutValue, 10800u);
  EXPECT_EQ(sent[1].TimeOutValue, 5u);
  EXPECT_EQ(sent[3].TimeOutValue, 0xFFFFFFFFu);
  // Direction 0 is data in; any other value data out.
  EXPECT_EQ(sent[0].DataIn, 1);
  EXPECT_EQ(sent[2].DataIn, 0);
  EXPECT_EQ(sent[3].DataIn, 0);

  const auto ioctls = os.callsTo("DeviceIoControl");
  ASSERT_EQ(ioctls.size(), 4u);
  // control code, in/out are the same 80-byte (96 on 64-bit) block
  EXPECT_EQ(ioctls[0].args[1], 0x4D014u);
  EXPECT_EQ(ioctls[0].args[2], ioctls[0].args[4]);
  EXPECT_EQ(ioctls[0].args[3], sizeof(platform::PassThroughBuffer));
  EXPECT_EQ(ioctls[0].args[5], sizeof(platform::PassThroughBuffer));
}

TEST_F(Spti, DataLandsInTheCallersBuffer) {
  clsSPTI spti(os);
  std::array<std::uint8_t, 2048> data{};
  ASSERT_EQ(spti.ExecCMD("F", Read10(1), 10, kDirectionIn, data.data(), 2048, 5), kResultGood);
  const auto image = Image(2);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), image.begin() + 2048));
  EXPECT_THAT(os.drive('F').reads(), ElementsAre(EmulatedDrive::Read{1, 1}));
}

TEST_F(Spti, CheckConditionReturnsTheStatusAndTheSenseBytesUnmasked) {
  clsSPTI spti(os);
  std::array<std::uint8_t, 2048> data{};
  EXPECT_EQ(spti.LastSK(), 0);
  os.drive('D').setMediumPresent(false);
  EXPECT_EQ(spti.ExecCMD("D", Read10(0), 10, kDirectionIn, data.data(), 2048, 5), 2);
  EXPECT_EQ(spti.LastSK(), 0x02);
  EXPECT_EQ(spti.LastASC(), 0x3A);
  EXPECT_EQ(spti.LastASCQ(), 0x00);

  // Sense bytes 2, 12 and 13 whole: a key byte with flag bits stays as the drive sent it.
  os.drive('D').failNextCommands(1, {0xE5, 0x21, 0x07});
  EXPECT_EQ(spti.ExecCMD("D", Read10(0), 10, kDirectionIn, data.data(), 2048, 5), 2);
  EXPECT_EQ(spti.LastSK(), 0xE5);
  EXPECT_EQ(spti.LastASC(), 0x21);
  EXPECT_EQ(spti.LastASCQ(), 0x07);

  // A good command leaves zeroed sense.
  os.drive('D').setMediumPresent(true);
  EXPECT_EQ(spti.ExecCMD("D", Read10(0), 10, kDirectionIn, data.data(), 2048, 5), 0);
  EXPECT_EQ(spti.LastSK(), 0);
  EXPECT_EQ(spti.LastASC(), 0);
}

TEST_F(Spti, FailedRequestIs255AndUnknownLetterIs24WithSenseKept) {
  clsSPTI spti(os);
  std::array<std::uint8_t, 2048> data{};
  os.drive('D').setMediumPresent(false);
  ASSERT_EQ(spti.ExecCMD("D", Read10(0), 10, kDirectionIn, data.data(), 2048, 5), 2);

  for (const char* letter : {"C", "E", "Q"}) {
    EXPECT_EQ(spti.ExecCMD(letter, Read10(0), 10, kDirectionIn, data.data(), 2048, 5), 24);
    EXPECT_EQ(spti.LastSK(), 0x02) << letter;
    EXPECT_EQ(spti.LastASC(), 0x3A) << letter;
  }
  const auto before = os.passThroughRequests().size();

  // Handles that are no letter are refused the same way, without reaching any device.
  for (const char* handle : {"", "1", "@", "[", "\xC4"}) {
    EXPECT_EQ(spti.ExecCMD(handle, Read10(0), 10, kDirectionIn, data.data(), 2048, 5), 24);
  }
  EXPECT_EQ(os.passThroughRequests().size(), before);

  os.drive('D').failNextRequests(1);
  EXPECT_EQ(spti.ExecCMD("D", Read10(0), 10, kDirectionIn, data.data(), 2048, 5), 255);
  EXPECT_EQ(spti.LastSK(), 0);
  os.drive('D').setHanging(true);
  EXPECT_EQ(spti.ExecCMD("D", Read10(0), 10, kDirectionIn, data.data(), 2048, 5), 255);
  EXPECT_EQ(os.drive('D').commands().back().timeoutSeconds, 5u);
}

TEST_F(Spti, LowerCaseLetterAddressesTheSameDevice) {
  clsSPTI spti(os);
  std::array<std::uint8_t, 2048> upper{};
  std::array<std::uint8_t, 2048> lower{};
  ASSERT_EQ(spti.ExecCMD("F", Read10(1), 10, kDirectionIn, upper.data(), 2048, 5), 0);
  ASSERT_EQ(spti.ExecCMD("f", Read10(1), 10, kDirectionIn, lower.data(), 2048, 5), 0);
  EXPECT_EQ(upper, lower);
  const auto ioctls = os.callsTo("DeviceIoControl");
  EXPECT_EQ(ioctls[0].args[0], ioctls[1].args[0]);
  EXPECT_EQ(os.drive('F').commandCount(), 2);
}

TEST_F(Spti, RefusesCdbLengthsTheRecordCannotHold) {
  clsSPTI spti(os);
  std::array<std::uint8_t, 20> longCdb{0x28};
  std::array<std::uint8_t, 2048> data{};
  EXPECT_EQ(spti.ExecCMD("D", longCdb, 17, kDirectionIn, data.data(), 2048, 5), 255);
  EXPECT_EQ(spti.ExecCMD("D", longCdb, 255, kDirectionIn, data.data(), 2048, 5), 255);
  // Longer than the array handed in.
  EXPECT_EQ(spti.ExecCMD("D", kInquiry, 7, kDirectionIn, data.data(), 76, 5), 255);
  // A negative length or a length without a buffer.
  EXPECT_EQ(spti.ExecCMD("D", kInquiry, 6, kDirectionIn, data.data(), -1, 5), 255);
  EXPECT_EQ(spti.ExecCMD("D", kInquiry, 6, kDirectionIn, nullptr, 76, 5), 255);
  EXPECT_TRUE(os.passThroughRequests().empty());
  // Exactly 16 goes out.
  std::array<std::uint8_t, 16> sixteen{0x12, 0, 0, 0, 76};
  EXPECT_EQ(spti.ExecCMD("D", sixteen, 16, kDirectionIn, data.data(), 76, 5), 0);
  EXPECT_EQ(os.passThroughRequests().size(), 1u);
}

TEST_F(Spti, AddressQueryReportsPortTargetAndLunOrZero) {
  os.setAddress('D', 3, 1, 4, 2);
  os.setAddressFails('F');
  clsSPTI spti(os);
  EXPECT_EQ(spti.HostAdapter("D"), 3);
  EXPECT_EQ(spti.TargetID("D"), 4);
  EXPECT_EQ(spti.LUN("D"), 2);
  const auto query = os.callsTo("DeviceIoControl").at(0);
  EXPECT_EQ(query.args[1], 0x41018u);
  EXPECT_EQ(query.args[3], 8u);
  EXPECT_EQ(query.args[5], 8u);

  EXPECT_EQ(spti.HostAdapter("F"), 0);
  EXPECT_EQ(spti.TargetID("F"), 0);
  EXPECT_EQ(spti.LUN("F"), 0);
  EXPECT_EQ(spti.HostAdapter("E"), 0);
  EXPECT_EQ(spti.HostAdapter(""), 0);
}

TEST_F(Spti, DestructionClosesExactlyTheOpenedDevices) {
  os.setOpenFails('F');
  os.addDrive('G');
  {
    clsSPTI spti(os);
    ASSERT_TRUE(spti.Installed());
    EXPECT_EQ(os.openDeviceCount(), 2);
  }
  EXPECT_EQ(os.openDeviceCount(), 0);
  EXPECT_EQ(os.callsTo("CloseHandle").size(), 2u);

  os.clearCalls();
  { clsSPTI untouched(os); }
  EXPECT_TRUE(os.callsTo("CloseHandle").empty());
}

TEST(SptiControlCodes, ComposeToThePassThroughAndAddressCodes) {
  EXPECT_EQ(clsSPTI::MakeControlCode(4, 0x405, 0, 3), platform::kPassThroughDirectCode);
  EXPECT_EQ(clsSPTI::MakeControlCode(4, 0x406, 0, 0), platform::kGetAddressCode);
  EXPECT_EQ(clsSPTI::MakeControlCode(0xFFFF, 0xFFF, 3, 3), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace brindle::transport
