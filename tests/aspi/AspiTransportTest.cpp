// The ASPI transport over the test ASPI library: the scan, drive letters, commands and what a
// missing library leaves.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "tests/aspi/AspiTestSupport.h"
#include "transport/clsASPI.h"

namespace brindle::testing {
namespace {

using ::testing::ElementsAre;
using transport::clsASPI;
namespace t = transport;

class AspiTransport : public ::testing::Test {
 protected:
  std::unique_ptr<clsASPI> MakeUnique() {
    return std::make_unique<clsASPI>(os_, [this] { ++pumps_; });
  }
  std::intptr_t Count(std::uint8_t command) {
    return library_.Control(kAspiCountRequests, command);
  }

  TestAspiLibrary library_;
  AspiMachine os_;
  int pumps_ = 0;
};

std::string Handle(int adapter, int target, int lun) {
  return {static_cast<char>(adapter), static_cast<char>(target), static_cast<char>(lun)};
}

TEST_F(AspiTransport, ScanProbesSixtyFourAddressesPerAdapterLunFastest) {
  library_.Control(kAspiSetSupportWord, 0x102);
  auto aspi = MakeUnique();
  EXPECT_TRUE(aspi->Installed());
  EXPECT_TRUE(aspi->Initialized());
  EXPECT_EQ(aspi->Interface(), "ASPI");
  EXPECT_EQ(Count(t::kAspiGetDeviceType), 128);
  EXPECT_EQ(library_.Control(kAspiDeviceTypeAddress, 0), 0x000000);
  EXPECT_EQ(library_.Control(kAspiDeviceTypeAddress, 1), 0x000001);
  EXPECT_EQ(library_.Control(kAspiDeviceTypeAddress, 8), 0x000100);
  EXPECT_EQ(library_.Control(kAspiDeviceTypeAddress, 64), 0x010000);
  EXPECT_EQ(library_.Control(kAspiDeviceTypeAddress, 127), 0x010707);
  EXPECT_EQ(aspi->DriveCount(), 0);
}

TEST_F(AspiTransport, StatusOtherThanReadyIsNotInitializedButTheCountIsStillScanned) {
  library_.Control(kAspiSetSupportWord, 0xE800);
  auto none = MakeUnique();
  EXPECT_TRUE(none->Installed());
  EXPECT_FALSE(none->Initialized());
  EXPECT_EQ(Count(t::kAspiGetDeviceType), 0);
  EXPECT_EQ(none->DriveCount(), 0);

  library_.Control(kAspiSetSupportWord, 0x8001);  // status 0x80: an ordinary value, not 1
  library_.AddCdrom(0, 2, 0);
  auto notReady = MakeUnique();
  EXPECT_FALSE(notReady->Initialized());
  EXPECT_EQ(notReady->DriveCount(), 1);

  // Initialized asks the library every time.
  library_.Control(kAspiSetSupportWord, 0x0101);
  EXPECT_TRUE(notReady->Initialized());
}

TEST_F(AspiTransport, KeepsOnlyCdromDevicesInAddressOrder) {
  library_.Control(kAspiSetSupportWord, 0x102);
  library_.Control(kAspiAddDevice, 0, 0, 0, 0);  // a disk
  library_.AddCdrom(1, 0, 0);
  library_.AddCdrom(0, 1, 0);
  auto aspi = MakeUnique();
  ASSERT_EQ(aspi->DriveCount(), 2);
  const std::string first = aspi->DriveHandle(1);
  EXPECT_EQ(first, Handle(0, 1, 0));
  EXPECT_EQ(aspi->DriveHandle(2), Handle(1, 0, 0));
  EXPECT_EQ(aspi->HostAdapter(first), 0);
  EXPECT_EQ(aspi->TargetID(first), 1);
  EXPECT_EQ(aspi->LUN(first), 0);
  EXPECT_EQ(aspi->HostAdapter(aspi->DriveHandle(2)), 1);
  EXPECT_EQ(aspi->DriveHandle(0), "");
  EXPECT_EQ(aspi->DriveHandle(3), "");
}

TEST_F(AspiTransport, LetterFromAddressExaminesEveryLetterAndTheLastMatchWins) {
  library_.Control(kAspiSetSupportWord, 0x101);
  library_.AddCdrom(0, 1, 0);
  os_.setDriveType('D', platform::kDriveCdrom);
  os_.setAddress('D', 0, 0, 1, 0);
  os_.setDriveType('E', platform::kDriveCdrom);
  os_.setAddress('E', 0, 0, 2, 0);  // another device
  os_.setDriveType('F', platform::kDriveCdrom);
  os_.setAddress('F', 0, 3, 1, 0);  // same device; the path id is not compared
  os_.setDriveType('G', 3);         // a fixed disk with a matching address is not looked at
  os_.setAddress('G', 0, 0, 1, 0);
  auto aspi = MakeUnique();
  os_.clearCalls();
  EXPECT_EQ(aspi->DriveChar(aspi->DriveHandle(1)), "F");

  std::vector<std::string> roots;
  for (const auto& call : os_.callsTo("GetDriveTypeA")) roots.push_back(call.text);
  ASSERT_EQ(roots.size(), 26u);
  EXPECT_EQ(roots.front(), "A:");
  EXPECT_EQ(roots.back(), "Z:");

  const auto opens = os_.callsTo("CreateFileA");
  ASSERT_EQ(opens.size(), 3u);  // D, E, F
  EXPECT_EQ(opens[0].text, "\\\\.\\D:");
  // NT 5 or later asks for read and write; share 3, open existing, normal attributes.
  EXPECT_THAT(opens[0].args, ElementsAre(0xC0000000u, 3u, 3u, 0x80u));
  EXPECT_EQ(os_.openDeviceCount(), 0);
  const auto queries = os_.callsTo("DeviceIoControl");
  ASSERT_EQ(queries.size(), 3u);
  EXPECT_EQ(queries[0].args.at(1), platform::kGetAddressCode);

  os_.setVersion({4, 0, platform::kPlatformWin32Nt});
  os_.clearCalls();
  EXPECT_EQ(aspi->DriveChar(aspi->DriveHandle(1)), "F");
  EXPECT_EQ(os_.callsTo("CreateFileA").at(0).args.at(0), 0x80000000u);
}

TEST_F(AspiTransport, LetterFromAddressIsEmptyWhenNoLetterCanTell) {
  library_.Control(kAspiSetSupportWord, 0x101);
  library_.AddCdrom(0, 1, 0);
  os_.setDriveType('D', platform::kDriveCdrom);
  os_.setAddress('D', 0, 0, 1, 0);
  os_.setOpenFails('D');
  os_.setDriveType('E', platform::kDriveCdrom);
  os_.setAddress('E', 0, 0, 1, 0);
  os_.setAddressFails('E');
  auto aspi = MakeUnique();
  EXPECT_EQ(aspi->DriveChar(aspi->DriveHandle(1)), "");
  EXPECT_EQ(os_.openDeviceCount(), 0);
}

TEST_F(AspiTransport, LetterFromDiskInfoOnWindows9x) {
  os_.setVersion({4, 10, 1});
  library_.Control(kAspiSetSupportWord, 0x101);
  library_.AddCdrom(0, 1, 0, 3);
  library_.AddCdrom(0, 2, 0, 26);
  auto aspi = MakeUnique();
  EXPECT_EQ(aspi->DriveChar(aspi->DriveHandle(1)), "D");
  EXPECT_EQ(aspi->DriveChar(aspi->DriveHandle(2)), "");  // past Z
  EXPECT_EQ(aspi->DriveChar(Handle(0, 5, 0)), "A");      // no device: the byte stays 0
  EXPECT_EQ(Count(t::kAspiGetDiskInfo), 3);
  EXPECT_TRUE(os_.callsTo("CreateFileA").empty());
}

TEST_F(AspiTransport, ReadsStraightIntoTheCallersBuffer) {
  library_.Control(kAspiSetSupportWord, 0x101);
  library_.AddCdrom(0, 1, 0);
  library_.SetImage(0, 1, 0, NumberedImage(4));
  auto aspi = MakeUnique();
  const std::string drive = aspi->DriveHandle(1);
  std::vector<std::uint8_t> buffer(2 * 2048, 0xEE);
  const auto cdb = Read10(2, 2);
  os_.clearCalls();
  EXPECT_EQ(aspi->ExecCMD(drive, cdb, 10, t::kDirectionIn, buffer.data(), 4096, 5), 0);
  EXPECT_EQ(buffer[0], 3);
  EXPECT_EQ(buffer[4095], 4);
  EXPECT_EQ(library_.Control(kAspiLastTimeout), 10);
  EXPECT_EQ(library_.Control(kAspiLastExecFlags), t::kAspiDataIn);
  EXPECT_EQ(aspi->LastSK(), 0);

  // The command's own event: manual reset, not signalled, named "0", reset, then closed.
  const auto created = os_.callsTo("CreateEventA");
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0].text, "0");
  EXPECT_THAT(created[0].args, ElementsAre(1u, 0u));
  ASSERT_EQ(os_.callsTo("ResetEvent").size(), 1u);
  const auto event = os_.callsTo("ResetEvent")[0].args[0];
  ASSERT_EQ(os_.callsTo("CloseHandle").size(), 1u);
  EXPECT_EQ(os_.callsTo("CloseHandle")[0].args[0], event);

  EXPECT_EQ(aspi->ExecCMD(drive, cdb, 10, t::kDirectionIn, buffer.data(), 4096, 0), 0);
  EXPECT_EQ(library_.Control(kAspiLastTimeout), 108000);
  // Any other direction sends data; the drive refuses a READ that comes with data.
  EXPECT_EQ(aspi->ExecCMD(drive, cdb, 10, 1, buffer.data(), 4096, 5), 2);
  EXPECT_EQ(library_.Control(kAspiLastExecFlags), t::kAspiDataOut);
  EXPECT_EQ(aspi->ExecCMD(drive, cdb, 10, -7, buffer.data(), 4096, 5), 2);
  EXPECT_EQ(library_.Control(kAspiLastExecFlags), t::kAspiDataOut);
}

TEST_F(AspiTransport, CheckConditionGivesTwoAndTheMaskedSense) {
  library_.Control(kAspiSetSupportWord, 0x101);
  library_.AddCdrom(0, 1, 0);
  library_.SetImage(0, 1, 0, NumberedImage(1));
  auto aspi = MakeUnique();
  const std::string drive = aspi->DriveHandle(1);
  std::vector<std::uint8_t> buffer(2048);
  library_.Control(kAspiSetSense, 0, 1, 0, 0x25 << 16 | 0x21 << 8 | 0x00);
  EXPECT_EQ(aspi->ExecCMD(drive, Read10(0, 1), 10, 0, buffer.data(), 2048, 5), 2);
  EXPECT_EQ(aspi->LastSK(), 5);
  EXPECT_EQ(aspi->LastASC(), 0x21);
  EXPECT_EQ(aspi->LastASCQ(), 0);
  // Each command replaces the sense bytes; one without sense leaves zeros.
  EXPECT_EQ(aspi->ExecCMD(drive, Read10(0, 1), 10, 0, buffer.data(), 2048, 5), 0);
  EXPECT_EQ(aspi->LastSK(), 0);
  EXPECT_EQ(aspi->LastASC(), 0);
}

TEST_F(AspiTransport, RequestsThatNeverRanGive255InEitherWaitingMode) {
  library_.Control(kAspiSetSupportWord, 0x101);
  library_.AddCdrom(0, 1, 0);
  // Where the bounded wait is used, it lasts until the library has ended the request.
  os_.onWait = [&] {
    library_.Control(kAspiWaitIdle);
    return platform::kWaitObject0;
  };
  auto aspi = MakeUnique();
  std::vector<std::uint8_t> buffer(2048);
  const std::string drive = aspi->DriveHandle(1);
  library_.Control(kAspiAbortNext, 0, 1, 0);
  EXPECT_EQ(aspi->ExecCMD(drive, Read10(0, 1), 10, 0, buffer.data(), 2048, 5), 255);
  // The library refuses an address without a device (target status left 0): not a success.
  // It refuses the time-out there too, so this one goes through the bounded wait.
  EXPECT_EQ(aspi->ExecCMD(Handle(0, 5, 0), Read10(0, 1), 10, 0, buffer.data(), 2048, 5), 255);
  // With the time-out refused, an aborted request is no success either.
  library_.Control(kAspiRefuseTimeouts, 1);
  library_.Control(kAspiAbortNext, 0, 1, 0);
  EXPECT_EQ(aspi->ExecCMD(drive, Read10(0, 1), 10, 0, buffer.data(), 2048, 5), 255);
  EXPECT_EQ(aspi->PendingRequests(), 0u);
}

TEST_F(AspiTransport, CommandBlocksLongerThanSixteenBytesAreRefusedNotCut) {
  library_.Control(kAspiSetSupportWord, 0x101);
  library_.AddCdrom(0, 1, 0);
  library_.SetImage(0, 1, 0, NumberedImage(1));
  auto aspi = MakeUnique();
  const std::string drive = aspi->DriveHandle(1);
  std::vector<std::uint8_t> buffer(2048);
  library_.Control(kAspiSetSense, 0, 1, 0, 0x25 << 16 | 0x21 << 8 | 0x00);
  EXPECT_EQ(aspi->ExecCMD(drive, Read10(0, 1), 10, 0, buffer.data(), 2048, 5), 2);
  std::vector<std::uint8_t> seventeen(17, 0);
  std::copy_n(Read10(0, 1).begin(), 10, seventeen.begin());
  EXPECT_EQ(aspi->ExecCMD(drive, seventeen, 17, 0, buffer.data(), 2048, 5), 255);
  // Nor is a block shorter than its stated length sent.
  EXPECT_EQ(aspi->ExecCMD(drive, std::span(seventeen).first(6), 10, 0, buffer.data(), 2048, 5),
            255);
  EXPECT_EQ(Count(t::kAspiExecute), 1);
  EXPECT_EQ(aspi->LastSK(), 0);  // the refused commands left no sense of an earlier one
}

TEST_F(AspiTransport, MissingLibraryNeverThrowsAndListsNothing) {
  os_.aspiLibrary = "/nonexistent/libwnaspi32.so";
  library_.Control(kAspiSetSupportWord, 0x101);
  library_.AddCdrom(0, 1, 0);
  {
    auto aspi = MakeUnique();
    EXPECT_FALSE(aspi->Installed());
    EXPECT_FALSE(aspi->Initialized());
    EXPECT_EQ(aspi->DriveCount(), 0);
    EXPECT_EQ(aspi->DriveHandle(1), "");
    EXPECT_EQ(aspi->DriveChar(Handle(0, 1, 0)), "");
    std::vector<std::uint8_t> buffer(2048);
    EXPECT_EQ(aspi->ExecCMD(Handle(0, 1, 0), Read10(0, 1), 10, 0, buffer.data(), 2048, 5), 255);
  }
  EXPECT_EQ(os_.callsTo("CreateEventA").size(), os_.callsTo("CloseHandle").size());
  EXPECT_TRUE(os_.callsTo("FreeLibrary").empty());
}

TEST_F(AspiTransport, LibraryWithoutTheFunctionsNeverThrows) {
  os_.aspiLibrary = BRINDLE_CDECL_TARGET_PATH;
  auto aspi = MakeUnique();
  EXPECT_TRUE(aspi->Installed());
  EXPECT_FALSE(aspi->Initialized());
  EXPECT_EQ(aspi->DriveCount(), 0);
  os_.setVersion({4, 10, 1});
  EXPECT_EQ(aspi->DriveChar(Handle(0, 1, 0)), "A");
  std::vector<std::uint8_t> buffer(2048);
  EXPECT_EQ(aspi->ExecCMD(Handle(0, 1, 0), Read10(0, 1), 10, 0, buffer.data(), 2048, 5), 255);
  aspi.reset();
  EXPECT_EQ(os_.callsTo("FreeLibrary").size(), 1u);
}

}  // namespace
}  // namespace brindle::testing
