// The dynamic caller against a real library loaded by path.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <numeric>
#include <vector>

#include "tests/support/drive/FakeOs.h"
#include "transport/clsCDECL.h"

namespace brindle::testing {
namespace {

using transport::CdeclError;
using transport::clsCDECL;

constexpr const char* kTarget = BRINDLE_CDECL_TARGET_PATH;

// Runs f and returns the CdeclError it throws (fails the test when it throws none).
template <typename F>
CdeclError ErrorOf(F&& f) {
  try {
    f();
  } catch (const CdeclError& error) {
    return error;
  }
  ADD_FAILURE() << "no CdeclError thrown";
  return CdeclError(0, "");
}

// Drops one reference to the target library that a DllLoad left without a matching unload.
void ReleaseOneLoad(platform::Os& os) {
  const auto module = os.LoadLibraryA(kTarget);
  os.FreeLibrary(module);
  os.FreeLibrary(module);
}

int Count(const FakeOs& os, const char* function) {
  return static_cast<int>(os.callsTo(function).size());
}

TEST(CdeclErrors, CarryNumberSourceAndExactDescription) {
  FakeOs os;
  clsCDECL caller(os);
  const auto notLoaded = ErrorOf([&] { caller.CallFunc("Echo", {1}); });
  EXPECT_EQ(notLoaded.Number(), -2147221504);
  EXPECT_EQ(notLoaded.Source(), "cCDECL");
  EXPECT_EQ(notLoaded.Description(), "DLL not loaded");
  EXPECT_EQ(Count(os, "GetProcAddress"), 0);

  ASSERT_TRUE(caller.DllLoad(kTarget));
  const auto missing = ErrorOf([&] { caller.CallFunc("echo", {1}); });
  EXPECT_EQ(missing.Number(), -2147221503);
  EXPECT_EQ(missing.Source(), "cCDECL");
  EXPECT_EQ(missing.Description(), "Failed to locate function: echo");

  const std::vector<std::intptr_t> seventeen(17, 1);
  const auto tooMany = ErrorOf([&] { caller.CallFunc("Echo", seventeen); });
  EXPECT_EQ(tooMany.Number(), -2147221502);
  EXPECT_EQ(tooMany.Description(), "Too many parameters");
  caller.DllUnload();
}

TEST(CdeclErrors, NameIsResolvedBeforeTheArgumentCountIsChecked) {
  FakeOs os;
  clsCDECL caller(os);
  ASSERT_TRUE(caller.DllLoad(kTarget));
  const std::vector<std::intptr_t> seventeen(17, 1);
  EXPECT_EQ(ErrorOf([&] { caller.CallFunc("Nope", seventeen); }).Number(),
            CdeclError::kFunctionNotFound);
  // A valid name with 17 arguments is resolved, then refused, and nothing is called.
  const int before = caller.CallFunc("CallCount");
  EXPECT_EQ(ErrorOf([&] { caller.CallFunc("Keep16", seventeen); }).Number(),
            CdeclError::kTooManyParameters);
  EXPECT_EQ(os.callsTo("GetProcAddress").back().text, "Keep16");
  EXPECT_EQ(caller.CallFunc("CallCount"), before);
  caller.DllUnload();
}

TEST(CdeclErrors, FailedLookupKeepsTheLastResolvedFunction) {
  FakeOs os;
  clsCDECL caller(os);
  ASSERT_TRUE(caller.DllLoad(kTarget));
  EXPECT_EQ(caller.CallFunc("Echo", {7}), 7);
  EXPECT_THROW(caller.CallFunc("Missing"), CdeclError);
  // Echo is still the resolved function: calling it again needs no lookup.
  os.clearCalls();
  EXPECT_EQ(caller.CallFunc("Echo", {8}), 8);
  EXPECT_EQ(Count(os, "GetProcAddress"), 0);
  caller.DllUnload();
}

TEST(CdeclCalls, PassArgumentsInOrderFromNoneToSixteen) {
  FakeOs os;
  clsCDECL caller(os);
  ASSERT_TRUE(caller.DllLoad(kTarget));
  EXPECT_EQ(caller.CallFunc("NoArguments"), 4242);
  EXPECT_EQ(caller.CallFunc("Weigh3", {1, 2, 3}), 1 - 4 + 9);
  EXPECT_EQ(caller.CallFunc("Weigh3", {3, 2, 1}), 3 - 4 + 3);

  std::vector<std::intptr_t> sixteen(16);
  std::iota(sixteen.begin(), sixteen.end(), 101);
  EXPECT_EQ(caller.CallFunc("Keep16", sixteen), 116);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(caller.CallFunc("Received", {i}), 101 + i) << i;

  // Full-width values survive: negative and pointer-sized.
  EXPECT_EQ(caller.CallFunc("Echo", {-2}), -2);
  caller.DllUnload();
}

TEST(CdeclCalls, ResolveOnlyWhenTheNameChangesOrALibraryWasLoaded) {
  FakeOs os;
  clsCDECL caller(os);
  ASSERT_TRUE(caller.DllLoad(kTarget));
  caller.CallFunc("Echo", {1});
  caller.CallFunc("Echo", {2});
  caller.CallFunc("NoArguments");
  caller.CallFunc("Echo", {3});
  const auto lookups = os.callsTo("GetProcAddress");
  ASSERT_EQ(lookups.size(), 3u);
  EXPECT_EQ(lookups[0].text, "Echo");
  EXPECT_EQ(lookups[1].text, "NoArguments");
  EXPECT_EQ(lookups[2].text, "Echo");

  // A second load forces a lookup of the same name, in the new handle.
  ASSERT_TRUE(caller.DllLoad(kTarget));
  os.clearCalls();
  caller.CallFunc("Echo", {4});
  caller.CallFunc("Echo", {5});
  EXPECT_EQ(Count(os, "GetProcAddress"), 1);
  // Both loads are still held (a load does not free the one before): release them.
  caller.DllUnload();
  ReleaseOneLoad(os);
}

TEST(CdeclCalls, LastErrorIsWhatTheFunctionLeftAndZeroWhenItLeftNone) {
  auto system = platform::MakeSystemOs();
  clsCDECL caller(*system);
  EXPECT_EQ(caller.LastError(), 0);
  ASSERT_TRUE(caller.DllLoad(kTarget));
  EXPECT_EQ(caller.CallFunc("FailWith", {EACCES}), -1);
  EXPECT_EQ(caller.LastError(), EACCES);
  system->SetLastError(EIO);  // left over from before the call: cleared by the bracket
  EXPECT_EQ(caller.CallFunc("Echo", {1}), 1);
  EXPECT_EQ(caller.LastError(), 0);
  caller.DllUnload();
}

TEST(CdeclCalls, LastErrorBracketsEachCall) {
  FakeOs os;
  clsCDECL caller(os);
  ASSERT_TRUE(caller.DllLoad(kTarget));
  os.clearCalls();
  caller.CallFunc("Echo", {1});
  std::vector<std::string> sequence;
  for (const auto& call : os.calls()) sequence.push_back(call.function);
  EXPECT_THAT(sequence, ::testing::ElementsAre("GetProcAddress", "SetLastError", "GetLastError"));
  EXPECT_EQ(os.callsTo("SetLastError").front().args, std::vector<std::uint64_t>{0});
  caller.DllUnload();
}

TEST(CdeclLoading, FailedLoadAndUnloadTwice) {
  FakeOs os;
  clsCDECL caller(os);
  EXPECT_FALSE(caller.DllUnload());
  EXPECT_FALSE(caller.DllLoad("/nonexistent/libnothing.so"));
  EXPECT_EQ(ErrorOf([&] { caller.CallFunc("Echo", {1}); }).Number(), CdeclError::kDllNotLoaded);

  ASSERT_TRUE(caller.DllLoad(kTarget));
  EXPECT_EQ(caller.CallFunc("Echo", {1}), 1);
  EXPECT_TRUE(caller.DllUnload());
  EXPECT_FALSE(caller.DllUnload());
  EXPECT_EQ(Count(os, "FreeLibrary"), 1);
  EXPECT_EQ(ErrorOf([&] { caller.CallFunc("Echo", {1}); }).Number(), CdeclError::kDllNotLoaded);

  // A failed load after a good one leaves no library: the handle is replaced by 0.
  ASSERT_TRUE(caller.DllLoad(kTarget));
  EXPECT_FALSE(caller.DllLoad("/nonexistent/libnothing.so"));
  EXPECT_EQ(ErrorOf([&] { caller.CallFunc("Echo", {1}); }).Number(), CdeclError::kDllNotLoaded);
  ReleaseOneLoad(os);
}

#if defined(__i386__)
#define BRINDLE_CALLEE_CLEANUP __attribute__((stdcall))
#else
#define BRINDLE_CALLEE_CLEANUP
#endif

std::intptr_t BRINDLE_CALLEE_CLEANUP Digits3(std::intptr_t a, std::intptr_t b, std::intptr_t c) {
  return a * 100 + b * 10 + c;
}

TEST(CdeclCallbacks, CalleeCleanupFunctionRunsUnderTheCallersConventionWithoutLeakingStack) {
  FakeOs os;
  clsCDECL caller(os);
  using Cdecl3 = std::intptr_t (*)(std::intptr_t, std::intptr_t, std::intptr_t);
  auto wrapped =
      reinterpret_cast<Cdecl3>(caller.WrapCallback(reinterpret_cast<void*>(&Digits3), 3));
  ASSERT_NE(wrapped, nullptr);
#if !defined(__i386__)
  // One calling convention: the function itself is the callback.
  EXPECT_EQ(reinterpret_cast<void*>(wrapped), reinterpret_cast<void*>(&Digits3));
#endif
  // A stack that is unwound twice (or not at all) per call corrupts the caller long before
  // a few thousand calls are through.
  volatile std::intptr_t sentinel = 0x5EED;
  std::intptr_t sum = 0;
  for (int i = 0; i < 5000; ++i) sum += wrapped(1, 2, i % 10);
  EXPECT_EQ(sum, 5000 * 120 + 500 * 45);
  EXPECT_EQ(sentinel, 0x5EED);
}

}  // namespace
}  // namespace brindle::testing
