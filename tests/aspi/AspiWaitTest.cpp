// How the ASPI transport waits for an execute request that ends on another thread: polling
// with message processing when the library took the time-out, the bounded wait when it did
// not, and what a request that outlives the wait keeps.
#include <gtest/gtest.h>

#include <vector>

#include "tests/aspi/AspiTestSupport.h"
#include "transport/clsASPI.h"

namespace brindle::testing {
namespace {

using transport::clsASPI;
namespace t = transport;

enum Completion : std::intptr_t { kAtOnce = 0, kAfterDelay = 1, kWhenReleased = 2 };

class AspiWait : public ::testing::Test {
 protected:
  void SetUp() override {
    library_.Control(kAspiSetSupportWord, 0x101);
    library_.AddCdrom(0, 1, 0);
    library_.SetImage(0, 1, 0, NumberedImage(8));
  }
  std::unique_ptr<clsASPI> MakeAspi() {
    return std::make_unique<clsASPI>(os_, [this] { pump(); });
  }
  std::int32_t ReadSector(clsASPI& aspi, std::uint32_t lba, std::vector<std::uint8_t>& buffer,
                          std::int16_t timeout) {
    buffer.assign(2048, 0xEE);
    return aspi.ExecCMD(aspi.DriveHandle(1), Read10(lba, 1), 10, t::kDirectionIn, buffer.data(),
                        2048, timeout);
  }
  std::vector<std::uint32_t> Waits() {
    std::vector<std::uint32_t> waits;
    for (const auto& call : os_.callsTo("WaitForSingleObject")) {
      waits.push_back(static_cast<std::uint32_t>(call.args.at(1)));
    }
    return waits;
  }

  TestAspiLibrary library_;
  AspiMachine os_;
  std::function<void()> pump = [] {};
};

TEST_F(AspiWait, PollingRunsTheMessagePumpUntilTheRequestEnds) {
  library_.Control(kAspiSetCompletion, kWhenReleased);
  int pumps = 0;
  pump = [&] {
    if (++pumps == 3) library_.Control(kAspiReleaseHeld);
  };
  auto aspi = MakeAspi();
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(ReadSector(*aspi, 5, buffer, 5), 0);
  EXPECT_GE(pumps, 3);
  EXPECT_EQ(buffer[0], 6);
  EXPECT_EQ(buffer[2047], 6);
  // Polling neither sleeps nor waits on the event.
  EXPECT_TRUE(os_.sleeps().empty());
  EXPECT_TRUE(Waits().empty());
  EXPECT_EQ(aspi->PendingRequests(), 0u);
}

TEST_F(AspiWait, PollingSeesARequestEndedLaterOnAnotherThread) {
  library_.Control(kAspiSetCompletion, kAfterDelay, 20);
  auto aspi = MakeAspi();
  std::vector<std::uint8_t> buffer;
  for (std::uint32_t lba = 0; lba < 3; ++lba) {
    EXPECT_EQ(ReadSector(*aspi, lba, buffer, 5), 0);
    EXPECT_EQ(buffer[100], lba + 1);
  }
}

TEST_F(AspiWait, RefusedTimeoutWithZeroStillPolls) {
  library_.Control(kAspiRefuseTimeouts, 1);
  library_.Control(kAspiSetCompletion, kAfterDelay, 5);
  auto aspi = MakeAspi();
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(ReadSector(*aspi, 1, buffer, 0), 0);
  EXPECT_EQ(buffer[0], 2);
  EXPECT_TRUE(Waits().empty());
}

TEST_F(AspiWait, RefusedTimeoutWaitsOnTheEventAndTakesARequestThatEndedMeanwhile) {
  library_.Control(kAspiRefuseTimeouts, 1);
  library_.Control(kAspiSetCompletion, kWhenReleased);
  os_.onWait = [&] {
    library_.Control(kAspiReleaseHeld);
    library_.Control(kAspiWaitIdle);
    return platform::kWaitObject0;
  };
  auto aspi = MakeAspi();
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(ReadSector(*aspi, 3, buffer, 5), 0);
  EXPECT_EQ(os_.sleeps(), std::vector<std::uint32_t>{30});
  EXPECT_EQ(Waits(), std::vector<std::uint32_t>{5000});
  // The data reached the caller's buffer.
  EXPECT_EQ(buffer[0], 4);
  EXPECT_EQ(buffer[2047], 4);

  // A command that ends with CHECK CONDITION within the wait gives its status and sense.
  library_.Control(kAspiSetSense, 0, 1, 0, 0x02 << 16 | 0x3A << 8);
  EXPECT_EQ(ReadSector(*aspi, 3, buffer, 5), 2);
  EXPECT_EQ(aspi->LastSK(), 2);
  EXPECT_EQ(aspi->LastASC(), 0x3A);
}

TEST_F(AspiWait, RefusedTimeoutEvenWhenTheWaitTimesOutTakesAnEndedRequest) {
  library_.Control(kAspiRefuseTimeouts, 1);
  library_.Control(kAspiSetCompletion, kWhenReleased);
  os_.onWait = [&] {
    library_.Control(kAspiReleaseHeld);
    library_.Control(kAspiWaitIdle);
    return platform::kWaitTimeout;
  };
  auto aspi = MakeAspi();
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(ReadSector(*aspi, 2, buffer, 5), 0);
  EXPECT_EQ(buffer[0], 3);
}

TEST_F(AspiWait, RequestThatNeverEndsGives255AndKeepsItsMemoryUntilTheLibraryIsDone) {
  library_.Control(kAspiRefuseTimeouts, 1);
  library_.Control(kAspiSetCompletion, kWhenReleased);
  auto aspi = MakeAspi();
  {
    std::vector<std::uint8_t> buffer;
    EXPECT_EQ(ReadSector(*aspi, 6, buffer, 2), 255);
    EXPECT_EQ(Waits(), std::vector<std::uint32_t>{2000});
    EXPECT_EQ(aspi->LastSK(), 0);
    EXPECT_EQ(aspi->PendingRequests(), 1u);
    // The caller's buffer is the caller's again: the library must not write into it.
    library_.Control(kAspiReleaseHeld);
    library_.Control(kAspiWaitIdle);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(buffer[2047], 0xEE);
  }
  // The request has ended into memory the transport kept; the next command frees it and
  // closes its event.
  const auto closedBefore = os_.callsTo("CloseHandle").size();
  library_.Control(kAspiRefuseTimeouts, 0);
  library_.Control(kAspiSetCompletion, kAtOnce);
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(ReadSector(*aspi, 0, buffer, 5), 0);
  EXPECT_EQ(aspi->PendingRequests(), 0u);
  EXPECT_EQ(os_.callsTo("CloseHandle").size(), closedBefore + 2);  // the kept event and its own
}

TEST_F(AspiWait, TransportReleasedWhileARequestIsPendingLeavesItValid) {
  library_.Control(kAspiRefuseTimeouts, 1);
  library_.Control(kAspiSetCompletion, kWhenReleased);
  auto aspi = MakeAspi();
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(ReadSector(*aspi, 6, buffer, 1), 255);
  aspi.reset();
  // The library is kept loaded, and the request ends into memory that is still there.
  EXPECT_TRUE(os_.callsTo("FreeLibrary").empty());
  library_.Control(kAspiReleaseHeld);
  library_.Control(kAspiWaitIdle);
  EXPECT_EQ(library_.Control(kAspiRunningRequests), 0);
}

}  // namespace
}  // namespace brindle::testing
