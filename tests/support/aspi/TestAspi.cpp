// The test ASPI library: the two library functions over emulated drives, plus a control
// function for tests. Built only for the tests; loaded by path through the dynamic caller.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/aspi/TestAspiControl.h"
#include "tests/support/drive/EmulatedDrive.h"
#include "transport/AspiRecords.h"

#ifdef _WIN32
#define BRINDLE_EXPORT __declspec(dllexport)
#else
#define BRINDLE_EXPORT __attribute__((visibility("default")))
#endif

namespace brindle::testing {
namespace {

using namespace brindle::transport;
using Address = std::tuple<std::uint8_t, std::uint8_t, std::uint8_t>;

struct Device {
  std::uint8_t type = 0;
  std::uint8_t driveNumber = 0;
  std::unique_ptr<EmulatedDrive> drive;
};

struct State {
  std::mutex mutex;
  std::condition_variable changed;
  std::int32_t supportWord = 0;
  std::map<Address, Device> devices;
  bool refuseTimeouts = false;
  std::intptr_t completion = 0;
  std::intptr_t delayMs = 0;
  bool released = false;
  int running = 0;
  std::vector<std::thread> threads;
  std::map<std::uint8_t, std::intptr_t> counts;
  std::vector<Address> deviceTypeAddresses;
  std::int32_t lastTimeout = 0;
  std::uint8_t lastExecFlags = 0;
};

State& TheState() {
  static auto* const state = new State();
  return *state;
}

Address AddressOf(const std::uint8_t* block) {
  return {block[2], block[8], block[9]};
}

void FinishExec(AspiExecRequest& request) {
  State& state = TheState();
  std::unique_lock lock(state.mutex);
  if (state.completion == 2) {
    state.changed.wait(lock, [&] { return state.released; });
  } else if (state.completion == 1) {
    const auto delay = std::chrono::milliseconds(state.delayMs);
    lock.unlock();
    std::this_thread::sleep_for(delay);
    lock.lock();
  }
  const auto found = state.devices.find(AddressOf(&request.command));
  std::uint8_t status = kAspiNoDevice;
  if (found != state.devices.end() && found->second.drive) {
    std::span<std::uint8_t> buffer(static_cast<std::uint8_t*>(request.dataAddress),
                                   request.dataLength);
    const auto answer =
        found->second.drive->execute(std::span<const std::uint8_t>(request.cdb, request.cdbLength),
                                     (request.flags & kAspiDataIn) != 0, buffer, 0);
    if (answer.completion == EmulatedDrive::Completion::Done) {
      request.targetStatus = answer.status;
      std::memcpy(request.senseArea, answer.sense.data(),
                  std::min<std::size_t>(request.senseLength, sizeof request.senseArea));
      status = answer.status == EmulatedDrive::kGood ? kAspiComplete : kAspiError;
    } else {
      status = kAspiAborted;
    }
  }
  StoreRequestStatus(request.status, status);
  --state.running;
  state.changed.notify_all();
}

void JoinAll(State& state, std::unique_lock<std::mutex>& lock) {
  state.released = true;
  state.changed.notify_all();
  std::vector<std::thread> threads = std::move(state.threads);
  state.threads.clear();
  lock.unlock();
  for (auto& thread : threads) thread.join();
  lock.lock();
}

}  // namespace
}  // namespace brindle::testing

extern "C" {

BRINDLE_EXPORT std::uint32_t GetASPI32SupportInfo() {
  auto& state = brindle::testing::TheState();
  std::lock_guard lock(state.mutex);
  return static_cast<std::uint32_t>(state.supportWord);
}

BRINDLE_EXPORT std::uint32_t SendASPI32Command(void* block) {
  using namespace brindle::testing;
  using namespace brindle::transport;
  State& state = TheState();
  std::unique_lock lock(state.mutex);
  auto* bytes = static_cast<std::uint8_t*>(block);
  ++state.counts[bytes[0]];
  const auto found = state.devices.find(AddressOf(bytes));
  const bool present = found != state.devices.end();
  switch (bytes[0]) {
    case kAspiGetDeviceType: {
      auto& request = *static_cast<AspiDeviceTypeRequest*>(block);
      state.deviceTypeAddresses.push_back(AddressOf(bytes));
      if (present) request.deviceType = found->second.type;
      request.status = present ? kAspiComplete : kAspiNoDevice;
      return request.status;
    }
    case kAspiGetDiskInfo: {
      auto& request = *static_cast<AspiDiskInfoRequest*>(block);
      if (present) request.driveNumber = found->second.driveNumber;
      request.status = present ? kAspiComplete : kAspiNoDevice;
      return request.status;
    }
    case kAspiTimeouts: {
      auto& request = *static_cast<AspiTimeoutRequest*>(block);
      state.lastTimeout = request.timeout;
      request.status = present && !state.refuseTimeouts ? kAspiComplete : kAspiNoDevice;
      return request.status;
    }
    case kAspiExecute: {
      auto& request = *static_cast<AspiExecRequest*>(block);
      state.lastExecFlags = request.flags;
      ++state.running;
      state.threads.emplace_back([&request] { FinishExec(request); });
      return kAspiPending;
    }
    default:
      bytes[1] = kAspiInvalidRequest;
      return bytes[1];
  }
}

BRINDLE_EXPORT std::intptr_t TestAspiControl(std::intptr_t operation, std::intptr_t a,
                                             std::intptr_t b, std::intptr_t c, std::intptr_t d) {
  using namespace brindle::testing;
  State& state = TheState();
  std::unique_lock lock(state.mutex);
  const Address address{static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                        static_cast<std::uint8_t>(c)};
  switch (operation) {
    case kAspiReset:
      JoinAll(state, lock);
      state.supportWord = 0;
      state.devices.clear();
      state.refuseTimeouts = false;
      state.completion = 0;
      state.delayMs = 0;
      state.released = false;
      state.counts.clear();
      state.deviceTypeAddresses.clear();
      state.lastTimeout = 0;
      state.lastExecFlags = 0;
      return 0;
    case kAspiSetSupportWord:
      state.supportWord = static_cast<std::int32_t>(a);
      return 0;
    case kAspiAddDevice: {
      Device device;
      device.type = static_cast<std::uint8_t>(d);
      if (device.type == kDeviceTypeCdrom) device.drive = std::make_unique<EmulatedDrive>();
      state.devices[address] = std::move(device);
      return 0;
    }
    case kAspiSetImage: {
      auto found = state.devices.find(address);
      if (found == state.devices.end() || !found->second.drive) return -1;
      found->second.drive->setImage(*reinterpret_cast<const std::vector<std::uint8_t>*>(d));
      return 0;
    }
    case kAspiSetDriveNumber:
      state.devices[address].driveNumber = static_cast<std::uint8_t>(d);
      return 0;
    case kAspiRefuseTimeouts:
      state.refuseTimeouts = a != 0;
      return 0;
    case kAspiSetCompletion:
      state.completion = a;
      state.delayMs = b;
      state.released = false;
      return 0;
    case kAspiSetSense: {
      auto found = state.devices.find(address);
      if (found == state.devices.end() || !found->second.drive) return -1;
      found->second.drive->failNextCommands(
          1, SenseCode{static_cast<std::uint8_t>(d >> 16), static_cast<std::uint8_t>(d >> 8),
                       static_cast<std::uint8_t>(d)});
      return 0;
    }
    case kAspiAbortNext: {
      auto found = state.devices.find(address);
      if (found == state.devices.end() || !found->second.drive) return -1;
      found->second.drive->failNextRequests(1);
      return 0;
    }
    case kAspiReleaseHeld:
      state.released = true;
      state.changed.notify_all();
      return 0;
    case kAspiWaitIdle:
      state.changed.wait(lock, [&] { return state.running == 0; });
      JoinAll(state, lock);
      state.released = state.completion != 2;
      return 0;
    case kAspiCountRequests:
      return state.counts[static_cast<std::uint8_t>(a)];
    case kAspiDeviceTypeAddress: {
      if (a < 0 || static_cast<std::size_t>(a) >= state.deviceTypeAddresses.size()) return -1;
      const auto [ha, target, lun] = state.deviceTypeAddresses[static_cast<std::size_t>(a)];
      return std::intptr_t{ha} << 16 | std::intptr_t{target} << 8 | lun;
    }
    case kAspiLastTimeout:
      return state.lastTimeout;
    case kAspiLastExecFlags:
      return state.lastExecFlags;
    case kAspiRunningRequests:
      return state.running;
    default:
      return -1;
  }
}

}  // extern "C"
