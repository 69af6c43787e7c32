// The two functions the ASPI transport calls by name. Commands 1, 6 and 8 are answered before
// SendASPI32Command returns; an execute request is queued to one background worker, which
// runs it through SG_IO straight into the caller's buffer and ends it by writing the status
// byte last.
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

#include "aspi/AspiCore.h"
#include "aspi/LinuxDevices.h"

namespace brindle::aspi {
namespace {

using transport::AspiDeviceTypeRequest;
using transport::AspiDiskInfoRequest;
using transport::AspiExecRequest;
using transport::AspiTimeoutRequest;

struct Job {
  AspiExecRequest* request;
  std::string path;
  std::int32_t timeoutHalfSeconds;
};

using AddressKey = std::tuple<std::uint8_t, std::uint8_t, std::uint8_t>;

// Lives for the whole process: the worker may still be running when the library is released,
// and the library is built so that the loader keeps its code mapped.
struct Library {
  std::mutex mutex;
  std::condition_variable wake;
  std::vector<OpticalDevice> devices;
  bool scanned = false;
  std::map<AddressKey, std::int32_t> timeouts;
  std::deque<Job> queue;
  bool workerStarted = false;

  void ScanIfNeeded() {
    if (!scanned) {
      devices = FindOpticalDevices();
      scanned = true;
    }
  }
};

Library& TheLibrary() {
  static auto* const library = new Library();
  return *library;
}

void RunJob(const Job& job, std::map<std::string, int>& openDrives) {
  AspiExecRequest& request = *job.request;
  int& fd = openDrives.try_emplace(job.path, -1).first->second;
  if (fd < 0) fd = OpenDrive(job.path);
  SenseBuffer sense{};
  sg_io_hdr_t io;
  PrepareSgIo(request, sense, job.timeoutHalfSeconds, io);
  const bool sent = fd >= 0 && ::ioctl(fd, SG_IO, &io) == 0;
  if (!sent && fd >= 0) {
    // The device may have gone away; open it afresh for the next command.
    ::close(fd);
    fd = -1;
  }
  CompleteExecRequest(request, sent, io, sense);
}

void Worker() {
  Library& library = TheLibrary();
  std::map<std::string, int> openDrives;  // kept by the worker alone
  for (;;) {
    Job job;
    {
      std::unique_lock lock(library.mutex);
      library.wake.wait(lock, [&] { return !library.queue.empty(); });
      job = library.queue.front();
      library.queue.pop_front();
    }
    RunJob(job, openDrives);
  }
}

void DeviceType(AspiDeviceTypeRequest& request) {
  Library& library = TheLibrary();
  std::string path;
  {
    std::lock_guard lock(library.mutex);
    library.ScanIfNeeded();
    const auto* device =
        FindDevice(library.devices, request.hostAdapter, request.target, request.lun);
    if (device == nullptr) {
      request.status = transport::kAspiNoDevice;
      return;
    }
    path = device->path;
  }
  // The kernel gives /dev/srN only to CD/DVD devices, so a drive too busy to answer INQUIRY is
  // still one.
  request.deviceType = InquireDeviceType(path).value_or(transport::kDeviceTypeCdrom);
  request.status = transport::kAspiComplete;
}

void DiskInfo(AspiDiskInfoRequest& request) {
  Library& library = TheLibrary();
  std::lock_guard lock(library.mutex);
  library.ScanIfNeeded();
  const auto* device =
      FindDevice(library.devices, request.hostAdapter, request.target, request.lun);
  if (device == nullptr) {
    request.status = transport::kAspiNoDevice;
    return;
  }
  request.driveNumber = device->driveNumber;
  request.status = transport::kAspiComplete;
}

void Timeouts(AspiTimeoutRequest& request) {
  Library& library = TheLibrary();
  std::lock_guard lock(library.mutex);
  library.ScanIfNeeded();
  if (FindDevice(library.devices, request.hostAdapter, request.target, request.lun) == nullptr) {
    request.status = transport::kAspiNoDevice;
    return;
  }
  if ((request.flags & transport::kAspiDataOut) != 0) {
    library.timeouts[{request.hostAdapter, request.target, request.lun}] = request.timeout;
  }
  request.status = transport::kAspiComplete;
}

// The request's status as the caller may see it on return; the block is not touched after
// it is queued, since it belongs to the worker and the caller from then on.
std::uint8_t Execute(AspiExecRequest& request) {
  Library& library = TheLibrary();
  std::lock_guard lock(library.mutex);
  library.ScanIfNeeded();
  if (const std::uint8_t refused = CheckExecRequest(library.devices, request); refused != 0) {
    transport::StoreRequestStatus(request.status, refused);
    return refused;
  }
  const auto* device =
      FindDevice(library.devices, request.hostAdapter, request.target, request.lun);
  const auto timeout = library.timeouts.find({request.hostAdapter, request.target, request.lun});
  library.queue.push_back(
      Job{&request, device->path, timeout == library.timeouts.end() ? 0 : timeout->second});
  if (!library.workerStarted) {
    std::thread(Worker).detach();
    library.workerStarted = true;
  }
  library.wake.notify_one();
  return transport::kAspiPending;
}

}  // namespace
}  // namespace brindle::aspi

extern "C" {

// Status 1 and the adapter count when optical drives were found; 0xE800 (no adapters) when not.
// Looks for drives afresh at every call.
__attribute__((visibility("default"))) std::uint32_t GetASPI32SupportInfo() {
  using namespace brindle::aspi;
  Library& library = TheLibrary();
  std::lock_guard lock(library.mutex);
  library.devices = FindOpticalDevices();
  library.scanned = true;
  return static_cast<std::uint32_t>(SupportWord(library.devices));
}

// Carries out one request block; returns its status byte (0 for an execute request that is
// still running).
__attribute__((visibility("default"))) std::uint32_t SendASPI32Command(void* block) {
  using namespace brindle::aspi;
  using namespace brindle::transport;
  if (block == nullptr) return kAspiInvalidRequest;
  auto* header = static_cast<std::uint8_t*>(block);
  switch (header[0]) {
    case kAspiGetDeviceType:
      DeviceType(*static_cast<AspiDeviceTypeRequest*>(block));
      break;
    case kAspiGetDiskInfo:
      DiskInfo(*static_cast<AspiDiskInfoRequest*>(block));
      break;
    case kAspiTimeouts:
      Timeouts(*static_cast<AspiTimeoutRequest*>(block));
      break;
    case kAspiExecute:
      return Execute(*static_cast<AspiExecRequest*>(block));
    default:
      header[1] = kAspiInvalidRequest;
      break;
  }
  return header[1];
}

}  // extern "C"
