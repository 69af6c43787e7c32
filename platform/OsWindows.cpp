// The OS facade on Windows: every call goes to the real Win32 API.
#include <windows.h>
// windows.h first: the pass-through records need its types.
#include <ntddscsi.h>

#include <cstddef>
#include <string>

#include "platform/Os.h"
#include "platform/Records.h"

namespace brindle::platform {

// Our records must be the system's own, field for field.
static_assert(sizeof(ScsiPassThroughDirect) == sizeof(SCSI_PASS_THROUGH_DIRECT));
static_assert(offsetof(ScsiPassThroughDirect, DataTransferLength) ==
              offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength));
static_assert(offsetof(ScsiPassThroughDirect, TimeOutValue) ==
              offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue));
static_assert(offsetof(ScsiPassThroughDirect, DataBuffer) ==
              offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer));
static_assert(offsetof(ScsiPassThroughDirect, SenseInfoOffset) ==
              offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset));
static_assert(offsetof(ScsiPassThroughDirect, Cdb) == offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb));
static_assert(sizeof(ScsiAddress) == sizeof(SCSI_ADDRESS));
static_assert(kPassThroughDirectCode == IOCTL_SCSI_PASS_THROUGH_DIRECT);
static_assert(kGetAddressCode == IOCTL_SCSI_GET_ADDRESS);
static_assert(kDriveCdrom == DRIVE_CDROM);
static_assert(kWaitTimeout == WAIT_TIMEOUT);

namespace {

HANDLE ToHandle(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}
Handle FromHandle(HANDLE handle) {
  return reinterpret_cast<Handle>(handle);
}

// The folder part of path, with its final separator; "" when it has none.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return FolderOf(std::string(path, length));
}

std::string SystemFolder() {
  char path[MAX_PATH];
  const UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(path, length) + "\\";
}

// Loads a library from the program's own folder or the system folder only. A bare name given to
// the ordinary search would also be looked for in the current folder, which the file dialogs of
// other programs, a shortcut or a command prompt may set to any download folder or network
// share, so a library planted there would run inside this program. A name with a folder in it
// is loaded from exactly there.
HMODULE LoadFromTrustedFolders(const std::string& name) {
  if (!FolderOf(name).empty()) return ::LoadLibraryA(name.c_str());
  // The restricted search exists where the loader knows AddDllDirectory (Windows 8, and
  // earlier systems with its update).
  const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  if (kernel != nullptr && ::GetProcAddress(kernel, "AddDllDirectory") != nullptr) {
    return ::LoadLibraryExA(name.c_str(), nullptr,
                            LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  // Elsewhere the same two folders, each by full path; the library's own dependencies are then
  // looked for beside it.
  for (const std::string& folder : {ProgramFolder(), SystemFolder()}) {
    if (folder.empty()) continue;
    const std::string path = folder + name;
    if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    if (HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {
      return module;
    }
  }
  ::SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

class WindowsOs final : public Os {
 public:
  std::uint32_t GetDriveTypeA(const std::string& root) override {
    return ::GetDriveTypeA(root.c_str());
  }

  Handle CreateFileA(const std::string& path, std::uint32_t access, std::uint32_t shareMode,
                     std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) override {
    return FromHandle(::CreateFileA(path.c_str(), access, shareMode, nullptr, creationDisposition,
                                    flagsAndAttributes, nullptr));
  }

  bool DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                       std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                       std::uint32_t* bytesReturned) override {
    DWORD count = 0;
    const BOOL done = ::DeviceIoControl(ToHandle(device), controlCode, inBuffer, inSize, outBuffer,
                                        outSize, &count, nullptr);
    if (bytesReturned != nullptr) *bytesReturned = count;
    return done == TRUE;
  }

  bool CloseHandle(Handle handle) override { return ::CloseHandle(ToHandle(handle)) != FALSE; }

  bool GetVersionExA(OsVersion& version) override {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
    version = OsVersion{info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId};
    return true;
  }

  Handle CreateEventA(bool manualReset, bool initialState, const std::string& name) override {
    HANDLE event = ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE,
                                  name.empty() ? nullptr : name.c_str());
    return event == nullptr ? kInvalidHandle : FromHandle(event);
  }

  bool ResetEvent(Handle event) override {
    return ::ResetEvent(ToHandle(event)) != FALSE;
  }

  std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds) override {
    return ::WaitForSingleObject(ToHandle(handle), milliseconds);
  }

  void Sleep(std::uint32_t milliseconds) override {
    ::Sleep(milliseconds);
  }

  ModuleHandle LoadLibraryA(const std::string& name) override {
    return reinterpret_cast<ModuleHandle>(LoadFromTrustedFolders(name));
  }

  void* GetProcAddress(ModuleHandle module, const std::string& name) override {
    return reinterpret_cast<void*>(
        ::GetProcAddress(reinterpret_cast<HMODULE>(module), name.c_str()));
  }

  bool FreeLibrary(ModuleHandle module) override {
    return ::FreeLibrary(reinterpret_cast<HMODULE>(module)) != FALSE;
  }

  void SetLastError(std::uint32_t code) override {
    ::SetLastError(code);
  }
  std::uint32_t GetLastError() override {
    return ::GetLastError();
  }
};

}  // namespace

std::unique_ptr<Os> MakeSystemOs() {
  return std::make_unique<WindowsOs>();
}

}  // namespace brindle::platform
