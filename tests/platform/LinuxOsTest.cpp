// The Linux backend without a drive: letters, device paths, refusals, libraries.
#include <dlfcn.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/Os.h"
#include "platform/OsLinux.h"
#include "platform/Records.h"

namespace brindle::platform {
namespace {

using linux_os::DeviceForPath;
using linux_os::DeviceForRoot;
using ::testing::Optional;

bool IsBlockDevice(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
}

TEST(LinuxLetters, DAndOnAreTheOpticalDrivesInOrder) {
  EXPECT_THAT(DeviceForRoot("D:"), Optional(std::string("/dev/sr0")));
  EXPECT_THAT(DeviceForRoot("e:"), Optional(std::string("/dev/sr1")));
  EXPECT_THAT(DeviceForRoot("Z:\\"), Optional(std::string("/dev/sr22")));
  for (const char* other : {"A:", "C:", "", "D", "DD:", "D:/", "1:", "[:"}) {
    EXPECT_EQ(DeviceForRoot(other), std::nullopt) << other;
  }
  EXPECT_THAT(DeviceForPath("\\\\.\\D:"), Optional(std::string("/dev/sr0")));
  EXPECT_THAT(DeviceForPath("\\\\.\\f:"), Optional(std::string("/dev/sr2")));
  for (const char* other : {"D:", "\\\\.\\C:", "\\\\?\\D:", "/dev/sr0", "\\\\.\\D:\\", ""}) {
    EXPECT_EQ(DeviceForPath(other), std::nullopt) << other;
  }
}

TEST(LinuxLetters, DriveTypeIsCdromExactlyWhereTheDeviceExists) {
  auto os = MakeSystemOs();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root{letter, ':'};
    const bool present = letter >= 'D' && IsBlockDevice("/dev/sr" + std::to_string(letter - 'D'));
    EXPECT_EQ(os->GetDriveTypeA(root), present ? kDriveCdrom : kDriveNoRootDir) << root;
  }
}

TEST(LinuxDevices, OpensNothingButDevicePathsOfOpticalDrives) {
  auto os = MakeSystemOs();
  for (const char* path : {"/etc/passwd", "C:", "\\\\.\\C:", "\\\\.\\PhysicalDrive0"}) {
    errno = 0;
    EXPECT_EQ(os->CreateFileA(path, kGenericRead, kFileShareReadWrite, kOpenExisting, 0),
              kInvalidHandle)
        << path;
    EXPECT_EQ(os->GetLastError(), static_cast<std::uint32_t>(ENOENT));
  }
  // A letter whose device is missing fails the open.
  for (char letter = 'Z'; letter >= 'D'; --letter) {
    if (IsBlockDevice("/dev/sr" + std::to_string(letter - 'D'))) continue;
    EXPECT_EQ(os->CreateFileA(std::string("\\\\.\\") + letter + ":", kGenericRead | kGenericWrite,
                              kFileShareReadWrite, kOpenExisting, 0),
              kInvalidHandle);
    break;
  }
}

TEST(LinuxDevices, PassThroughOnSomethingThatIsNoDriveFails) {
  auto os = MakeSystemOs();
  char name[] = "/tmp/brindle-not-a-drive-XXXXXX";
  const int fd = ::mkstemp(name);
  ASSERT_GE(fd, 0);
  ::unlink(name);

  std::array<std::uint8_t, 2048> data{};
  PassThroughBuffer record;
  std::memset(&record, 0, sizeof record);
  record.header.Length = sizeof record.header;
  record.header.CdbLength = 10;
  record.header.Cdb[0] = 0x28;
  record.header.Cdb[8] = 1;
  record.header.DataIn = kScsiDataIn;
  record.header.DataBuffer = data.data();
  record.header.DataTransferLength = data.size();
  record.header.SenseInfoLength = 31;
  record.header.SenseInfoOffset = kSenseAreaOffset;
  record.header.TimeOutValue = 5;
  std::uint32_t returned = 7;
  // The kernel refuses SG_IO on a plain file.
  EXPECT_FALSE(os->DeviceIoControl(fd, kPassThroughDirectCode, &record, sizeof record, &record,
                                   sizeof record, &returned));
  EXPECT_EQ(returned, 0u);
  // A record we cannot hand over safely never reaches the kernel.
  record.header.CdbLength = 17;
  EXPECT_FALSE(os->DeviceIoControl(fd, kPassThroughDirectCode, &record, sizeof record, &record,
                                   sizeof record, &returned));
  EXPECT_EQ(os->GetLastError(), static_cast<std::uint32_t>(EINVAL));
  record.header.CdbLength = 10;
  EXPECT_FALSE(os->DeviceIoControl(fd, kPassThroughDirectCode, &record, 8, &record, 8, &returned));
  EXPECT_EQ(os->GetLastError(), static_cast<std::uint32_t>(EINVAL));

  ScsiAddress address{8, 0, 0, 0, 0};
  EXPECT_FALSE(os->DeviceIoControl(fd, kGetAddressCode, &address, 8, &address, 8, &returned));
  EXPECT_FALSE(os->DeviceIoControl(fd, 0x12345, &address, 8, &address, 8, &returned));
  EXPECT_FALSE(os->DeviceIoControl(-1, kGetAddressCode, &address, 8, &address, 8, &returned));
  EXPECT_TRUE(os->CloseHandle(fd));
  EXPECT_FALSE(os->CloseHandle(fd));
}

TEST(LinuxLibraries, LoadsByPathAndTheAspiNameBesideTheExecutable) {
  auto os = MakeSystemOs();
  using Answer = int (*)();

  const ModuleHandle byPath = os->LoadLibraryA(BRINDLE_TEST_MODULE);
  ASSERT_NE(byPath, 0);
  auto* function = os->GetProcAddress(byPath, "BrindleTestModuleAnswer");
  ASSERT_NE(function, nullptr);
  EXPECT_EQ(reinterpret_cast<Answer>(function)(), 4242);
  EXPECT_EQ(os->GetProcAddress(byPath, "NotThere"), nullptr);
  EXPECT_TRUE(os->FreeLibrary(byPath));

  // The build puts a libwnaspi32.so beside this test; the ASPI name finds it there first.
  ASSERT_EQ(linux_os::ExecutableFolder() + "/libwnaspi32.so", std::string(BRINDLE_TEST_ASPI_COPY));
  for (const char* name : {"WNASPI32.DLL", "wnaspi32.dll"}) {
    const ModuleHandle aspi = os->LoadLibraryA(name);
    ASSERT_NE(aspi, 0) << name;
    EXPECT_NE(os->GetProcAddress(aspi, "BrindleTestModuleAnswer"), nullptr);
    EXPECT_TRUE(os->FreeLibrary(aspi));
  }
  EXPECT_EQ(os->LoadLibraryA("./no/such/library.so"), 0);
}

}  // namespace
}  // namespace brindle::platform
