// The OS facade on Linux: optical drives through SG_IO, libraries through dlopen, events through
// eventfd, the last error through errno.
#include "platform/OsLinux.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <span>

#include "platform/Os.h"
#include "platform/Records.h"
#include "platform/SgIo.h"

namespace brindle::platform {
namespace linux_os {
namespace {

constexpr char kFirstOpticalLetter = 'D';
constexpr std::uint32_t kMajorVersion = 10;  // reported as an NT 10.0 system
constexpr const char* kAspiLibraryName = "WNASPI32.DLL";
constexpr const char* kAspiSharedObject = "libwnaspi32.so";
// The folder an installed program keeps the ASPI stand-in in, relative to its own folder.
#ifndef BRINDLE_ASPI_INSTALLED_FOLDER
#define BRINDLE_ASPI_INSTALLED_FOLDER "../lib/brindle"
#endif
constexpr const char* kAspiInstalledFolder = BRINDLE_ASPI_INSTALLED_FOLDER;

std::optional<std::string> DeviceForLetter(char letter) {
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (upper < kFirstOpticalLetter || upper > 'Z') return std::nullopt;
  return "/dev/sr" + std::to_string(upper - kFirstOpticalLetter);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::optional<std::string> DeviceForRoot(std::string_view root) {
  if (root.size() == 3 && root[2] == '\\') root.remove_suffix(1);
  if (root.size() != 2 || root[1] != ':') return std::nullopt;
  return DeviceForLetter(root[0]);
}

std::optional<std::string> DeviceForPath(std::string_view path) {
  constexpr std::string_view kPrefix = "\\\\.\\";
  if (path.size() != kPrefix.size() + 2 || path.substr(0, kPrefix.size()) != kPrefix) {
    return std::nullopt;
  }
  return DeviceForRoot(path.substr(kPrefix.size()));
}

std::string ExecutableFolder() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  std::string path(buffer, static_cast<std::size_t>(length));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string{} : path.substr(0, slash);
}

namespace {

class LinuxOs final : public Os {
 public:
  std::uint32_t GetDriveTypeA(const std::string& root) override {
    const auto device = DeviceForRoot(root);
    struct stat info {};
    if (device && ::stat(device->c_str(), &info) == 0 && S_ISBLK(info.st_mode)) return kDriveCdrom;
    return kDriveNoRootDir;
  }

  Handle CreateFileA(const std::string& path, std::uint32_t access, std::uint32_t /*shareMode*/,
                     std::uint32_t /*creationDisposition*/,
                     std::uint32_t /*flagsAndAttributes*/) override {
    const auto device = DeviceForPath(path);
    if (!device) {
      errno = ENOENT;
      return kInvalidHandle;
    }
    // O_NONBLOCK: a drive with no disc must still open, so that it can say so.
    constexpr int kFlags = O_NONBLOCK | O_CLOEXEC;
    int fd = -1;
    if ((access & kGenericWrite) != 0) fd = ::open(device->c_str(), O_RDWR | kFlags);
    // Every command we send is allowed on a read-only open.
    if (fd < 0) fd = ::open(device->c_str(), O_RDONLY | kFlags);
    return fd < 0 ? kInvalidHandle : Handle{fd};
  }

  bool DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                       std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                       std::uint32_t* bytesReturned) override {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    if (device < 0 || device > INT_MAX) {
      errno = EBADF;
      return false;
    }
    const int fd = static_cast<int>(device);
    switch (controlCode) {
      case kPassThroughDirectCode:
        return PassThrough(fd, inBuffer, inSize, outBuffer, outSize, bytesReturned);
      case kGetAddressCode:
        return GetAddress(fd, outBuffer, outSize, bytesReturned);
      default:
        errno = EINVAL;
        return false;
    }
  }

  bool CloseHandle(Handle handle) override {
    if (handle < 0 || handle > INT_MAX) {
      errno = EBADF;
      return false;
    }
    {
      std::lock_guard lock(eventsMutex_);
      events_.erase(static_cast<int>(handle));
    }
    return ::close(static_cast<int>(handle)) == 0;
  }

  bool GetVersionExA(OsVersion& version) override {
    version = OsVersion{kMajorVersion, 0, kPlatformWin32Nt};
    return true;
  }

  Handle CreateEventA(bool manualReset, bool initialState, const std::string& /*name*/) override {
    const int fd = ::eventfd(initialState ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) return kInvalidHandle;
    std::lock_guard lock(eventsMutex_);
    events_[fd] = manualReset;
    return fd;
  }

  bool ResetEvent(Handle event) override {
    if (!IsEvent(event)) {
      errno = EBADF;
      return false;
    }
    std::uint64_t count = 0;
    if (::read(static_cast<int>(event), &count, sizeof count) < 0 && errno != EAGAIN) return false;
    return true;
  }

  std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds) override {
    bool manualReset = false;
    if (!IsEvent(handle, &manualReset)) {
      errno = EBADF;
      return kWaitFailed;
    }
    const int fd = static_cast<int>(handle);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
      int wait = -1;
      if (milliseconds != kInfinite) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        wait = static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
      }
      pollfd entry{fd, POLLIN, 0};
      const int ready = ::poll(&entry, 1, wait);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return kWaitFailed;
      }
      if (ready == 0) {
        if (milliseconds != kInfinite && Clock::now() >= deadline) return kWaitTimeout;
        continue;
      }
      if (manualReset) return kWaitObject0;
      // An auto-reset event is consumed by the wait that sees it.
      std::uint64_t count = 0;
      if (::read(fd, &count, sizeof count) == sizeof count) return kWaitObject0;
      if (errno != EAGAIN && errno != EINTR) return kWaitFailed;
    }
  }

  void Sleep(std::uint32_t milliseconds) override {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }

  ModuleHandle LoadLibraryA(const std::string& name) override {
    void* module = nullptr;
    if (name.find('/') == std::string::npos && EqualsIgnoringCase(name, kAspiLibraryName)) {
      // The ASPI stand-in: beside the executable first (a build folder), then where the
      // installed program keeps it, then wherever the loader looks.
      const std::string folder = ExecutableFolder();
      if (!folder.empty()) {
        module = Open(folder + "/" + kAspiSharedObject);
        if (module == nullptr) {
          module = Open(folder + "/" + kAspiInstalledFolder + "/" + kAspiSharedObject);
        }
      }
      if (module == nullptr) module = Open(kAspiSharedObject);
    } else {
      module = Open(name);
    }
    if (module == nullptr) errno = ENOENT;
    return reinterpret_cast<ModuleHandle>(module);
  }

  void* GetProcAddress(ModuleHandle module, const std::string& name) override {
    if (module == 0) return nullptr;
    return ::dlsym(reinterpret_cast<void*>(module), name.c_str());
  }

  bool FreeLibrary(ModuleHandle module) override {
    return module != 0 && ::dlclose(reinterpret_cast<void*>(module)) == 0;
  }

  void SetLastError(std::uint32_t code) override { errno = static_cast<int>(code); }
  std::uint32_t GetLastError() override { return static_cast<std::uint32_t>(errno); }

 private:
  static void* Open(const std::string& name) {
    return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  }

  bool IsEvent(Handle handle, bool* manualReset = nullptr) {
    if (handle < 0 || handle > INT_MAX) return false;
    std::lock_guard lock(eventsMutex_);
    const auto found = events_.find(static_cast<int>(handle));
    if (found == events_.end()) return false;
    if (manualReset != nullptr) *manualReset = found->second;
    return true;
  }

  static bool PassThrough(int fd, void* inBuffer, std::uint32_t inSize, void* outBuffer,
                          std::uint32_t outSize, std::uint32_t* bytesReturned) {
    ScsiPassThroughDirect request;
    if (inBuffer == nullptr || inSize < sizeof request || outBuffer == nullptr ||
        outSize < sizeof request) {
      errno = EINVAL;
      return false;
    }
    std::memcpy(&request, inBuffer, sizeof request);
    linux_sg::SenseBytes sense{};
    sg_io_hdr_t io;
    if (!linux_sg::PrepareRequest(request, outSize, sense, io)) {
      errno = EINVAL;
      return false;
    }
    if (::ioctl(fd, SG_IO, &io) < 0) return false;
    if (!linux_sg::DriveAnswered(io)) {
      errno = EIO;
      return false;
    }
    if (outBuffer != inBuffer) std::memcpy(outBuffer, &request, sizeof request);
    linux_sg::StoreAnswer(io, sense, std::span(static_cast<std::uint8_t*>(outBuffer), outSize));
    if (bytesReturned != nullptr) *bytesReturned = outSize;
    return true;
  }

  static bool GetAddress(int fd, void* outBuffer, std::uint32_t outSize,
                         std::uint32_t* bytesReturned) {
    if (outBuffer == nullptr || outSize < sizeof(ScsiAddress)) {
      errno = EINVAL;
      return false;
    }
    struct {
      int fourInOne;  // id | lun << 8 | channel << 16 | host << 24
      int hostUniqueId;
    } idLun{};
    int bus = 0;
    if (::ioctl(fd, SCSI_IOCTL_GET_IDLUN, &idLun) < 0) return false;
    if (::ioctl(fd, SCSI_IOCTL_GET_BUS_NUMBER, &bus) < 0) return false;
    const auto word = static_cast<std::uint32_t>(idLun.fourInOne);
    ScsiAddress address{};
    address.Length = sizeof address;
    address.PortNumber = static_cast<std::uint8_t>(bus);
    address.PathId = static_cast<std::uint8_t>(word >> 16);
    address.TargetId = static_cast<std::uint8_t>(word);
    address.Lun = static_cast<std::uint8_t>(word >> 8);
    std::memcpy(outBuffer, &address, sizeof address);
    if (bytesReturned != nullptr) *bytesReturned = sizeof address;
    return true;
  }

  std::mutex eventsMutex_;
  std::map<int, bool> events_;  // open events and whether each resets by hand
};

}  // namespace
}  // namespace linux_os

std::unique_ptr<Os> MakeSystemOs() {
  return std::make_unique<linux_os::LinuxOs>();
}

}  // namespace brindle::platform
