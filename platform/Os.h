// The operating-system calls the transports make, as one interface with typed arguments.
//
// The transports are written against these Win32 calls, so their code reads like the
// algorithms they implement. The Windows backend passes each call to the real API; the Linux
// backend maps drive letters D:, E:, ... to /dev/sr0, /dev/sr1, ..., the pass-through request to
// SG_IO, libraries to dlopen and events to eventfd. Tests use a recording fake (tests/support).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace brindle::platform {

// A kernel object: a device, an event. kInvalidHandle (-1) when an open failed.
using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

// A loaded library; 0 when none.
using ModuleHandle = std::intptr_t;

inline constexpr std::uint32_t kDriveNoRootDir = 1;         // GetDriveTypeA: no such drive
inline constexpr std::uint32_t kDriveCdrom = 5;             // GetDriveTypeA: DRIVE_CDROM
inline constexpr std::uint32_t kGenericRead = 0x80000000u;  // CreateFileA access masks
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kFileShareReadWrite = 3;      // FILE_SHARE_READ | FILE_SHARE_WRITE
inline constexpr std::uint32_t kOpenExisting = 3;            // OPEN_EXISTING
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;  // FILE_ATTRIBUTE_NORMAL
inline constexpr std::uint32_t kWaitObject0 = 0;             // WaitForSingleObject results
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;  // WaitForSingleObject: no time limit
inline constexpr std::uint32_t kPlatformWin32Nt = 2;     // OSVERSIONINFO dwPlatformId

// The fields of OSVERSIONINFO that the transports read.
struct OsVersion {
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t platformId = 0;
};

class Os {
 public:
  virtual ~Os() = default;

  // root is a letter and a colon ("D:"); kDriveCdrom for an optical drive.
  virtual std::uint32_t GetDriveTypeA(const std::string& root) = 0;
  // path is a device path ("\\.\D:"); returns the handle or kInvalidHandle.
  virtual Handle CreateFileA(const std::string& path, std::uint32_t access, std::uint32_t shareMode,
                             std::uint32_t creationDisposition,
                             std::uint32_t flagsAndAttributes) = 0;
  // Synchronous device control; true when the request was carried out. The buffers are the
  // platform's records (platform/Records.h) for the control code given.
  virtual bool DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                               std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                               std::uint32_t* bytesReturned) = 0;
  virtual bool CloseHandle(Handle handle) = 0;
  // False when the version cannot be read.
  virtual bool GetVersionExA(OsVersion& version) = 0;

  virtual Handle CreateEventA(bool manualReset, bool initialState, const std::string& name) = 0;
  virtual bool ResetEvent(Handle event) = 0;
  // kWaitObject0 when signalled, kWaitTimeout when the time ran out.
  virtual std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;

  // A bare name is looked for beside the program and in the system's library folder, never in
  // the current folder; a name with a folder is loaded from there. 0 when not found.
  virtual ModuleHandle LoadLibraryA(const std::string& name) = 0;
  // nullptr when the library does not export name.
  virtual void* GetProcAddress(ModuleHandle module, const std::string& name) = 0;
  virtual bool FreeLibrary(ModuleHandle module) = 0;
  virtual void SetLastError(std::uint32_t code) = 0;
  virtual std::uint32_t GetLastError() = 0;
};

// The backend of the platform this program was built for.
std::unique_ptr<Os> MakeSystemOs();

}  // namespace brindle::platform
