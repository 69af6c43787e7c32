// The machine the ASPI transport tests run on: the recording OS fake, with "WNASPI32.DLL"
// standing for a library chosen by path, and a hook for the bounded wait; plus a second,
// independent handle on the test ASPI library for steering it.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Os.h"
#include "tests/support/aspi/TestAspiControl.h"
#include "tests/support/drive/FakeOs.h"
#include "transport/AspiRecords.h"
#include "transport/clsCDECL.h"
#include "transport/modMMC.h"

namespace brindle::testing {

class AspiMachine : public FakeOs {
 public:
  AspiMachine() { scriptWaitResult(platform::kWaitTimeout); }

  // The file that LoadLibraryA("WNASPI32.DLL") loads ("" or a missing file: none).
  std::string aspiLibrary = BRINDLE_TEST_ASPI_PATH;
  // Runs in place of the bounded wait; without it the wait times out at once.
  std::function<std::uint32_t()> onWait;

  platform::ModuleHandle LoadLibraryA(const std::string& name) override {
    return FakeOs::LoadLibraryA(name == transport::kAspiLibraryName ? aspiLibrary : name);
  }
  std::uint32_t WaitForSingleObject(platform::Handle handle, std::uint32_t ms) override {
    const std::uint32_t timedOut = FakeOs::WaitForSingleObject(handle, ms);
    return onWait ? onWait() : timedOut;
  }
};

// Steers the test ASPI library through a caller of its own, outside the fake's records.
class TestAspiLibrary {
 public:
  TestAspiLibrary() : system_(platform::MakeSystemOs()), caller_(*system_) {
    if (!caller_.DllLoad(BRINDLE_TEST_ASPI_PATH)) ADD_FAILURE() << "cannot load the test library";
    Control(kAspiReset);
  }
  ~TestAspiLibrary() {
    Control(kAspiReset);
    caller_.DllUnload();
  }

  std::intptr_t Control(TestAspiOperation operation, std::intptr_t a = 0, std::intptr_t b = 0,
                        std::intptr_t c = 0, std::intptr_t d = 0) {
    return caller_.CallFunc(kTestAspiControl, {operation, a, b, c, d});
  }
  void AddCdrom(int adapter, int target, int lun, int driveNumber = 0) {
    Control(kAspiAddDevice, adapter, target, lun, transport::kDeviceTypeCdrom);
    Control(kAspiSetDriveNumber, adapter, target, lun, driveNumber);
  }
  void SetImage(int adapter, int target, int lun, const std::vector<std::uint8_t>& image) {
    Control(kAspiSetImage, adapter, target, lun, reinterpret_cast<std::intptr_t>(&image));
  }

 private:
  std::unique_ptr<platform::Os> system_;
  transport::clsCDECL caller_;
};

// An image whose sector n is filled with the byte n + 1.
inline std::vector<std::uint8_t> NumberedImage(int sectors) {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(sectors) * 2048);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i / 2048 + 1);
  return image;
}

// READ(10) of `count` sectors from `lba`.
inline std::array<std::uint8_t, 10> Read10(std::int32_t lba, std::int16_t count) {
  return transport::MakeRead10Cdb(lba, count);
}

}  // namespace brindle::testing
