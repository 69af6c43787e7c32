// The drive sector reader over the real pass-through transport and emulated drives: attempts,
// pauses, messages, and the bytes handed back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sector/ReadSectors.h"
#include "tests/support/drive/FakeOs.h"
#include "transport/clsSPTI.h"

namespace brindle::sector {
namespace {

using ::testing::ElementsAre;
using testing::EmulatedDrive;
using testing::FakeOs;
using ::testing::IsEmpty;

std::vector<std::uint8_t> Disc(int sectors, std::uint8_t salt) {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(sectors) * 2048);
  for (std::size_t i = 0; i < image.size(); ++i) {
    image[i] = static_cast<std::uint8_t>((i % 251) ^ (i / 2048) ^ salt);
  }
  return image;
}

class Reader : public ::testing::Test {
 protected:
  Reader() {
    os.addDrive('D', Disc(40, 0x11));
    os.addDrive('E', Disc(40, 0x77));
    transport = std::make_unique<transport::clsSPTI>(os);  // finds the drives above
    access.transport = [this] { return transport.get(); };
    access.selectedIndex = [this] { return selected; };
    access.os = &os;
    access.showError = [this](const std::string& message) { messages.push_back(message); };
  }

  EmulatedDrive& d() { return os.drive('D'); }

  FakeOs os;
  std::unique_ptr<transport::ISCSI> transport;
  int selected = 0;
  std::vector<std::string> messages;
  DriveAccess access;
};

TEST_F(Reader, ReturnsTheSectorsInDiscOrderFromOneCommand) {
  const auto disc = Disc(40, 0x11);
  for (std::int16_t count : {1, 2, 15}) {
    const SectorData data = ReadSectors(access, 17, count);
    ASSERT_EQ(data.size(), static_cast<std::size_t>(count) * 2048);
    EXPECT_TRUE(std::equal(data.bytes().begin(), data.bytes().end(), disc.begin() + 17 * 2048));
  }
  EXPECT_THAT(d().reads(), ElementsAre(EmulatedDrive::Read{17, 1}, EmulatedDrive::Read{17, 2},
                                       EmulatedDrive::Read{17, 15}));
  EXPECT_THAT(messages, IsEmpty());
  EXPECT_THAT(os.sleeps(), IsEmpty());
}

TEST_F(Reader, BufferIsPageAlignedAndHandedToTheDriverDirectly) {
  const SectorData data = ReadSectors(access, 0, 3);
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data.data()) % 4096, 0u);
  EXPECT_EQ(os.passThroughRequests().at(0).DataBuffer, data.data());
  EXPECT_EQ(os.passThroughRequests().at(0).DataTransferLength, 3u * 2048);
}

TEST_F(Reader, RetriesOnceAfterHalfASecond) {
  d().failNextCommands(1);
  const SectorData data = ReadSectors(access, 5, 1);
  ASSERT_EQ(data.size(), 2048u);
  EXPECT_EQ(data[0], Disc(40, 0x11)[5 * 2048]);
  EXPECT_THAT(messages, IsEmpty());
  EXPECT_THAT(os.sleeps(), ElementsAre(500u));
  EXPECT_EQ(d().commandCount(), 2);
}

TEST_F(Reader, TwoFailuresGiveOneMessageWithTheCallersLbaAndNothing) {
  struct Case {
    std::int32_t lba;
    std::int16_t count;
    const char* message;
  };
  const Case cases[] = {{0, 1, "Could not read sector 0. Drive not ready."},
                        {1234, 4, "Could not read sector 1234. Drive not ready."},
                        {-7, 1, "Could not read sector -7. Drive not ready."}};
  d().setMediumPresent(false);
  for (const Case& c : cases) {
    messages.clear();
    os.clearCalls();
    const int before = d().commandCount();
    EXPECT_TRUE(ReadSectors(access, c.lba, c.count).empty());
    EXPECT_THAT(messages, ElementsAre(c.message));
    EXPECT_EQ(d().commandCount() - before, 2);
    EXPECT_THAT(os.sleeps(), ElementsAre(500u));
    // The pause lies between the two commands.
    std::vector<std::string> order;
    for (const auto& call : os.calls()) {
      if (call.function == "Sleep" || call.function == "DeviceIoControl")
        order.push_back(call.function);
    }
    EXPECT_THAT(order, ElementsAre("DeviceIoControl", "Sleep", "DeviceIoControl"));
  }
}

TEST_F(Reader, EveryKindOfFailureCountsTheSame) {
  d().failNextRequests(2);  // 255 twice
  EXPECT_TRUE(ReadSectors(access, 3, 1).empty());
  d().setHanging(true);  // never answers: both commands time out
  EXPECT_TRUE(ReadSectors(access, 3, 1).empty());
  d().setHanging(false);
  EXPECT_TRUE(ReadSectors(access, 39, 2).empty());  // past the end of the disc
  EXPECT_EQ(messages.size(), 3u);
  // The next call starts from scratch.
  EXPECT_EQ(ReadSectors(access, 3, 1).size(), 2048u);
}

TEST_F(Reader, FollowsTheSelectionAtEveryCall) {
  const SectorData first = ReadSectors(access, 1, 1);
  ASSERT_EQ(first.size(), 2048u);
  EXPECT_EQ(first[0], Disc(40, 0x11)[2048]);
  selected = 1;
  const SectorData second = ReadSectors(access, 1, 1);
  ASSERT_EQ(second.size(), 2048u);
  EXPECT_EQ(second[0], Disc(40, 0x77)[2048]);
  EXPECT_EQ(os.drive('E').reads().size(), 1u);
  EXPECT_EQ(d().reads().size(), 1u);
}

TEST_F(Reader, RefusesBeforeSendingWhenThereIsNoDriveToReadFrom) {
  selected = -1;
  EXPECT_TRUE(ReadSectors(access, 0, 1).empty());
  selected = 2;  // past the transport's drives
  EXPECT_TRUE(ReadSectors(access, 0, 1).empty());
  selected = 0;
  transport.reset();
  EXPECT_TRUE(ReadSectors(access, 0, 1).empty());
  access.transport = nullptr;
  EXPECT_TRUE(ReadSectors(access, 0, 1).empty());
  EXPECT_THAT(messages, ElementsAre(kNoDriveSelectedMessage, kNoDriveSelectedMessage,
                                    kNoDriveSelectedMessage, kNoDriveSelectedMessage));
  EXPECT_EQ(d().commandCount() + os.drive('E').commandCount(), 0);
  EXPECT_THAT(os.sleeps(), IsEmpty());
}

TEST_F(Reader, RefusesCountsOutsideOneToFifteen) {
  for (std::int16_t count : {0, -1, 16, 32767}) {
    EXPECT_TRUE(ReadSectors(access, 0, count).empty());
  }
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0], "Could not read sector 0: 0 sectors asked for, a read takes 1 to 15.");
  EXPECT_EQ(d().commandCount(), 0);
}

TEST_F(Reader, ResultIsOnePageAlignedBlockOfTheSectorsRead) {
  const SectorData read = ReadSectors(access, 2, 2);
  const auto disc = Disc(40, 0x11);
  ASSERT_EQ(read.size(), 2u * 2048);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(read.data()) % kBufferAlignment, 0u);
  EXPECT_TRUE(std::equal(read.bytes().begin(), read.bytes().end(), disc.begin() + 2 * 2048));
  EXPECT_TRUE(ReadSectors(access, 2, 0).empty());
}

}  // namespace
}  // namespace brindle::sector
