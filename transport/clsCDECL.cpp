#include "transport/clsCDECL.h"

#include <array>
#include <utility>

namespace brindle::transport {
namespace {

constexpr const char* kSource = "cCDECL";

// Every argument is one pointer-sized integer.
template <std::size_t>
using Word = std::intptr_t;

// Calls `function` as a C-convention function taking sizeof...(I) words and returning a 32-bit
// value. The library's functions are declared that way; the platform's calling convention
// puts the arguments where such a function looks for them and removes them after the call.
template <std::size_t... I>
std::int32_t InvokeWith(void* function, const std::intptr_t* args, std::index_sequence<I...>) {
  using Function = std::int32_t (*)(Word<I>...);
  return reinterpret_cast<Function>(function)(args[I]...);
}

using Invoker = std::int32_t (*)(void*, const std::intptr_t*);

template <std::size_t N>
std::int32_t InvokeN(void* function, const std::intptr_t* args) {
  return InvokeWith(function, args, std::make_index_sequence<N>{});
}

template <std::size_t... N>
constexpr std::array<Invoker, sizeof...(N)> MakeInvokers(std::index_sequence<N...>) {
  return {&InvokeN<N>...};
}

// One invoker per argument count, 0 to 16.
constexpr auto kInvokers = MakeInvokers(std::make_index_sequence<clsCDECL::kMaxParameters + 1>{});

#if defined(__i386__)
// On 32-bit x86 a function that removes its own arguments (stdcall) cannot be handed to a
// caller that removes them too (cdecl): the stack would be unwound twice. A compiled adapter
// per argument count forwards to the wrapped function and leaves the removal to the caller,
// which needs no writable code memory. Like the adapter it stands for, it serves one wrapped
// function at a time.
void* gWrappedFunction = nullptr;

template <std::size_t... I>
__attribute__((cdecl)) std::intptr_t ForwardToCalleeCleanup(Word<I>... args) {
  using Function = std::intptr_t(__attribute__((stdcall))*)(Word<I>...);
  return reinterpret_cast<Function>(gWrappedFunction)(args...);
}

template <std::size_t... I>
void* AdapterFor(std::index_sequence<I...>) {
  return reinterpret_cast<void*>(&ForwardToCalleeCleanup<I...>);
}

template <std::size_t... N>
std::array<void*, sizeof...(N)> MakeAdapters(std::index_sequence<N...>) {
  return {AdapterFor(std::make_index_sequence<N>{})...};
}
#endif

}  // namespace

CdeclError::CdeclError(std::int32_t number, const std::string& description)
    : std::runtime_error(description),
      number_(number),
      source_(kSource),
      description_(description) {}

clsCDECL::clsCDECL(platform::Os& os) : os_(os) {}

bool clsCDECL::DllLoad(const std::string& name) {
  libraryHandle_ = os_.LoadLibraryA(name);
  if (libraryHandle_ == 0) return false;
  newLibrary_ = true;
  return true;
}

bool clsCDECL::DllUnload() {
  if (libraryHandle_ == 0) return false;
  const bool freed = os_.FreeLibrary(libraryHandle_);
  libraryHandle_ = 0;
  return freed;
}

std::int32_t clsCDECL::CallFunc(const std::string& function, std::span<const std::intptr_t> args) {
  if (libraryHandle_ == 0) throw CdeclError(CdeclError::kDllNotLoaded, "DLL not loaded");
  if (function != lastFunction_ || newLibrary_) {
    void* address = os_.GetProcAddress(libraryHandle_, function);
    if (address == nullptr) {
      throw CdeclError(CdeclError::kFunctionNotFound, "Failed to locate function: " + function);
    }
    resolvedAddress_ = address;
    newLibrary_ = false;
    lastFunction_ = function;
  }
  if (args.size() > kMaxParameters) {
    throw CdeclError(CdeclError::kTooManyParameters, "Too many parameters");
  }
  os_.SetLastError(0);
  const std::int32_t result = kInvokers[args.size()](resolvedAddress_, args.data());
  lastErrorValue_ = static_cast<std::int32_t>(os_.GetLastError());
  return result;
}

void* clsCDECL::WrapCallback(void* function, std::int32_t parameterCount) {
#if defined(__i386__)
  static const auto adapters = MakeAdapters(std::make_index_sequence<kMaxParameters + 1>{});
  if (parameterCount < 0 || static_cast<std::size_t>(parameterCount) > kMaxParameters) {
    return nullptr;
  }
  gWrappedFunction = function;
  return adapters[static_cast<std::size_t>(parameterCount)];
#else
  // Every other target has a single C calling convention for such functions (on x86-64 the
  // caller always removes the arguments), so the function is already callable as it is.
  (void)parameterCount;
  return function;
#endif
}

}  // namespace brindle::transport
