// A recording fake of the OS facade whose CD-ROM drives are emulated drives.
//
// Drive letters, drive types, open results, the OS version and the SCSI addresses are set up by
// the test; every call is recorded with its arguments (access masks, control codes, time-outs,
// Sleep durations). Sleep never sleeps. Events and libraries go to the real system backend, so a
// library loaded by path can signal an event the transport waits on; a test may instead script
// what WaitForSingleObject answers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Os.h"
#include "platform/Records.h"
#include "tests/support/drive/EmulatedDrive.h"

namespace brindle::testing {

class FakeOs : public platform::Os {
 public:
  // One call as the code under test made it: the function's name, its text argument (root,
  // path, event or library name; "" when none) and its numeric arguments in order.
  struct Call {
    std::string function;
    std::string text;
    std::vector<std::uint64_t> args;
  };

  // Windows error codes the fake reports through GetLastError.
  static constexpr std::uint32_t kErrorInvalidFunction = 1;
  static constexpr std::uint32_t kErrorFileNotFound = 2;
  static constexpr std::uint32_t kErrorInvalidHandle = 6;
  static constexpr std::uint32_t kErrorInvalidParameter = 87;
  static constexpr std::uint32_t kErrorSemTimeout = 121;
  static constexpr std::uint32_t kErrorIoDevice = 1117;

  FakeOs();
  ~FakeOs() override;

  // Machine set-up. letter is 'A' to 'Z' (either case).
  // A CD-ROM drive at letter holding image; returns the drive for scripting faults.
  EmulatedDrive& addDrive(char letter, std::vector<std::uint8_t> image = {});
  EmulatedDrive& drive(char letter);
  void setDriveType(char letter, std::uint32_t type);
  void setOpenFails(char letter, bool fails = true);
  void setVersion(platform::OsVersion version);
  void setVersionFails(bool fails = true);
  void setAddress(char letter, std::uint8_t port, std::uint8_t path, std::uint8_t target,
                  std::uint8_t lun);
  void setAddressFails(char letter, bool fails = true);
  // Answer every WaitForSingleObject with result at once instead of waiting on the real event.
  void scriptWaitResult(std::optional<std::uint32_t> result);

  // What was called.
  const std::vector<Call>& calls() const { return calls_; }
  std::vector<Call> callsTo(std::string_view function) const;
  std::vector<std::uint32_t> sleeps() const;
  // Each pass-through header as the driver received it.
  const std::vector<platform::ScsiPassThroughDirect>& passThroughRequests() const {
    return passThroughs_;
  }
  // Device handles opened and not closed yet.
  int openDeviceCount() const { return static_cast<int>(openDevices_.size()); }
  void clearCalls();
  // Stop (or resume) recording calls and requests; for long benchmark runs.
  void setRecording(bool recording) { recording_ = recording; }

  // platform::Os
  std::uint32_t GetDriveTypeA(const std::string& root) override;
  platform::Handle CreateFileA(const std::string& path, std::uint32_t access,
                               std::uint32_t shareMode, std::uint32_t creationDisposition,
                               std::uint32_t flagsAndAttributes) override;
  bool DeviceIoControl(platform::Handle device, std::uint32_t controlCode, void* inBuffer,
                       std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                       std::uint32_t* bytesReturned) override;
  bool CloseHandle(platform::Handle handle) override;
  bool GetVersionExA(platform::OsVersion& version) override;
  platform::Handle CreateEventA(bool manualReset, bool initialState,
                                const std::string& name) override;
  bool ResetEvent(platform::Handle event) override;
  std::uint32_t WaitForSingleObject(platform::Handle handle, std::uint32_t milliseconds) override;
  void Sleep(std::uint32_t milliseconds) override;
  platform::ModuleHandle LoadLibraryA(const std::string& name) override;
  void* GetProcAddress(platform::ModuleHandle module, const std::string& name) override;
  bool FreeLibrary(platform::ModuleHandle module) override;
  void SetLastError(std::uint32_t code) override;
  std::uint32_t GetLastError() override;

 private:
  struct Letter {
    std::uint32_t type = platform::kDriveNoRootDir;
    bool openFails = false;
    bool addressFails = false;
    platform::ScsiAddress address{};
    std::unique_ptr<EmulatedDrive> drive;
  };

  void record(const char* function, const std::string& text,
              std::initializer_list<std::uint64_t> args);
  Letter* find(char letter);
  Letter& at(char letter);
  bool passThrough(Letter& letter, void* inBuffer, std::uint32_t inSize, void* outBuffer,
                   std::uint32_t outSize, std::uint32_t* bytesReturned);
  bool address(Letter& letter, void* outBuffer, std::uint32_t outSize,
               std::uint32_t* bytesReturned);
  bool fail(std::uint32_t error);

  std::unique_ptr<platform::Os> system_;  // events and libraries
  std::map<char, Letter> letters_;
  std::map<platform::Handle, char> openDevices_;
  platform::Handle nextDevice_ = 0x40000000;  // far from real event handles
  platform::OsVersion version_{10, 0, platform::kPlatformWin32Nt};
  bool versionFails_ = false;
  std::optional<std::uint32_t> waitResult_;
  std::uint32_t lastError_ = 0;
  bool recording_ = true;
  std::vector<Call> calls_;
  std::vector<platform::ScsiPassThroughDirect> passThroughs_;
};

}  // namespace brindle::testing
