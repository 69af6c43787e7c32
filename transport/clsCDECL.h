// Calls functions of a library loaded at run time, by name, under the C calling convention.
//
// The ASPI transport reaches WNASPI32.DLL through this class. Every operating-system call goes
// through platform::Os, so the loading, the symbol lookups and the last-error bracket can be
// observed. The class alone in the program reports failures by throwing CdeclError.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>

#include "platform/Os.h"

namespace brindle::transport {

// The three failures of CallFunc. Number, source "cCDECL" and description are what callers see.
class CdeclError : public std::runtime_error {
 public:
  static constexpr std::int32_t kDllNotLoaded = static_cast<std::int32_t>(0x80040000u);
  static constexpr std::int32_t kFunctionNotFound = static_cast<std::int32_t>(0x80040001u);
  static constexpr std::int32_t kTooManyParameters = static_cast<std::int32_t>(0x80040002u);

  CdeclError(std::int32_t number, const std::string& description);

  std::int32_t Number() const { return number_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
};

class clsCDECL {
 public:
  static constexpr std::size_t kMaxParameters = 16;

  // Keeps a reference to os, which must outlive the object. No library is loaded.
  explicit clsCDECL(platform::Os& os);
  // Does not unload the library; its user calls DllUnload.
  ~clsCDECL() = default;
  clsCDECL(const clsCDECL&) = delete;
  clsCDECL& operator=(const clsCDECL&) = delete;

  // Loads the library through LoadLibraryA; true when it loaded. The new handle replaces the
  // old one (a library loaded before is not freed), and the next CallFunc resolves its name.
  bool DllLoad(const std::string& name);
  // Frees the loaded library; false when none is loaded, else whether FreeLibrary succeeded.
  bool DllUnload();

  // Calls the exported function `function` with the arguments in the order given and returns
  // its 32-bit result. The address of the last function resolved is reused while the same
  // name is called and no library was loaded since. Throws CdeclError: kDllNotLoaded,
  // kFunctionNotFound ("Failed to locate function: " + name), kTooManyParameters (checked
  // after the name is resolved; nothing is called).
  std::int32_t CallFunc(const std::string& function, std::span<const std::intptr_t> args);
  std::int32_t CallFunc(const std::string& function, std::initializer_list<std::intptr_t> args) {
    return CallFunc(function, std::span<const std::intptr_t>(args.begin(), args.size()));
  }
  std::int32_t CallFunc(const std::string& function) {
    return CallFunc(function, std::span<const std::intptr_t>());
  }

  // The last-error code read right after the last call CallFunc made; 0 before the first.
  std::int32_t LastError() const { return lastErrorValue_; }

  // An address that a C-convention caller can call with `parameterCount` pointer-sized
  // arguments and that forwards to `function`, which removes its own arguments. One wrapped
  // function at a time (the latest WrapCallback wins), like the adapter it stands for.
  void* WrapCallback(void* function, std::int32_t parameterCount);

 private:
  platform::Os& os_;
  std::int32_t lastErrorValue_ = 0;
  bool newLibrary_ = false;
  platform::ModuleHandle libraryHandle_ = 0;
  // The function the last successful resolution found; calls with the same name reuse it.
  void* resolvedAddress_ = nullptr;
  std::string lastFunction_;
};

}  // namespace brindle::transport
