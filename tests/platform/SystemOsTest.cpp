// The system backend of this platform: the calls that need no drive.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/Os.h"

namespace brindle::platform {
namespace {

using Clock = std::chrono::steady_clock;

TEST(SystemOs, ReportsAnNtFamilyVersion) {
  auto os = MakeSystemOs();
  OsVersion version;
  ASSERT_TRUE(os->GetVersionExA(version));
  EXPECT_EQ(version.platformId, kPlatformWin32Nt);
  EXPECT_GE(version.majorVersion, 5u);
}

TEST(SystemOs, LastErrorRoundTrips) {
  auto os = MakeSystemOs();
  os->SetLastError(0);
  EXPECT_EQ(os->GetLastError(), 0u);
  os->SetLastError(31);
  EXPECT_EQ(os->GetLastError(), 31u);
}

TEST(SystemOs, EventWaitTimesOutThenSeesTheInitialSignal) {
  auto os = MakeSystemOs();
  const Handle unsignalled = os->CreateEventA(true, false, "");
  ASSERT_NE(unsignalled, kInvalidHandle);
  const auto start = Clock::now();
  EXPECT_EQ(os->WaitForSingleObject(unsignalled, 50), kWaitTimeout);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(45));
  EXPECT_EQ(os->WaitForSingleObject(unsignalled, 0), kWaitTimeout);

  // Manual reset: stays signalled until reset.
  const Handle manual = os->CreateEventA(true, true, "");
  EXPECT_EQ(os->WaitForSingleObject(manual, 0), kWaitObject0);
  EXPECT_EQ(os->WaitForSingleObject(manual, 0), kWaitObject0);
  EXPECT_TRUE(os->ResetEvent(manual));
  EXPECT_EQ(os->WaitForSingleObject(manual, 0), kWaitTimeout);

  // Auto reset: one wait consumes the signal.
  const Handle automatic = os->CreateEventA(false, true, "");
  EXPECT_EQ(os->WaitForSingleObject(automatic, 0), kWaitObject0);
  EXPECT_EQ(os->WaitForSingleObject(automatic, 0), kWaitTimeout);

  EXPECT_TRUE(os->CloseHandle(unsignalled));
  EXPECT_TRUE(os->CloseHandle(manual));
  EXPECT_TRUE(os->CloseHandle(automatic));
}

TEST(SystemOs, MissingLibraryAndSymbolAreReportedAsNone) {
  auto os = MakeSystemOs();
  EXPECT_EQ(os->LoadLibraryA("brindle-no-such-library-anywhere.dll"), 0);
  EXPECT_NE(os->GetLastError(), 0u);
  EXPECT_EQ(os->GetProcAddress(0, "Anything"), nullptr);
  EXPECT_FALSE(os->FreeLibrary(0));
}

}  // namespace
}  // namespace brindle::platform
