// Functions for the dynamic caller's tests: they record what they receive, so a test can see
// the arguments in the order and number the caller passed them.
#include <cerrno>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#define BRINDLE_EXPORT extern "C" __declspec(dllexport)
#else
#define BRINDLE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
std::intptr_t gReceived[16];
std::int32_t gCalls = 0;
}  // namespace

// Takes no argument; returns 4242.
BRINDLE_EXPORT std::int32_t NoArguments() {
  ++gCalls;
  return 4242;
}

// Returns first - 2 * second + 3 * third, which tells every order of three values apart.
BRINDLE_EXPORT std::int32_t Weigh3(std::intptr_t first, std::intptr_t second, std::intptr_t third) {
  ++gCalls;
  return static_cast<std::int32_t>(first - 2 * second + 3 * third);
}

// Keeps all sixteen arguments for Received; returns the sixteenth.
BRINDLE_EXPORT std::int32_t Keep16(std::intptr_t a1, std::intptr_t a2, std::intptr_t a3,
                                   std::intptr_t a4, std::intptr_t a5, std::intptr_t a6,
                                   std::intptr_t a7, std::intptr_t a8, std::intptr_t a9,
                                   std::intptr_t a10, std::intptr_t a11, std::intptr_t a12,
                                   std::intptr_t a13, std::intptr_t a14, std::intptr_t a15,
                                   std::intptr_t a16) {
  ++gCalls;
  const std::intptr_t all[16] = {a1, a2,  a3,  a4,  a5,  a6,  a7,  a8,
                                 a9, a10, a11, a12, a13, a14, a15, a16};
  for (int i = 0; i < 16; ++i) gReceived[i] = all[i];
  return static_cast<std::int32_t>(a16);
}

// Argument i (0-based) of the last Keep16 call.
BRINDLE_EXPORT std::int32_t Received(std::intptr_t i) {
  return i >= 0 && i < 16 ? static_cast<std::int32_t>(gReceived[i]) : -1;
}

// How many of the functions above were called (Received not counted).
BRINDLE_EXPORT std::int32_t CallCount() {
  return gCalls;
}

// Leaves `code` as the thread's last error, as a system call that failed would.
BRINDLE_EXPORT std::int32_t FailWith(std::intptr_t code) {
  ++gCalls;
#ifdef _WIN32
  ::SetLastError(static_cast<DWORD>(code));
#else
  errno = static_cast<int>(code);
#endif
  return -1;
}

// Returns its argument; leaves the last error alone.
BRINDLE_EXPORT std::int32_t Echo(std::intptr_t value) {
  ++gCalls;
  return static_cast<std::int32_t>(value);
}
