#include "reader/WindowDrives.h"

#include "sector/ReadSectors.h"
#include "transport/clsASPI.h"
#include "transport/clsSPTI.h"

namespace brindle::reader {

WindowDrives::WindowDrives()
    : WindowDrives(
          platform::MakeSystemOs(),
          [](platform::Os& os, std::function<void()>) {
            return std::make_unique<transport::clsSPTI>(os);
          },
          [](platform::Os& os, std::function<void()> messagePass) {
            // The ASPI transport polls its requests; between two polls the window handles its
            // pending messages.
            return std::make_unique<transport::clsASPI>(os, std::move(messagePass));
          }) {}

WindowDrives::WindowDrives(std::unique_ptr<platform::Os> os, MakeTransport makeSpti,
                           MakeTransport makeAspi)
    : os_(std::move(os)), makeSpti_(std::move(makeSpti)), makeAspi_(std::move(makeAspi)) {}

WindowDrives::~WindowDrives() {
  CurrentTransport.reset();
}

void WindowDrives::SelectTransport(transport::DriveListView& list,
                                   const std::function<void()>& messagePass) {
  const auto bind = [this, &messagePass](const MakeTransport& make) -> transport::TransportFactory {
    if (!make) return nullptr;
    return [this, &make, &messagePass] { return make(*os_, messagePass); };
  };
  CurrentTransport = transport::SelectTransport(list, bind(makeSpti_), bind(makeAspi_));
}

sector::SectorData WindowDrives::ReadSectors(
    std::int32_t lba, std::int16_t count, int selectedIndex,
    const std::function<void(const std::string&)>& showError) {
  const sector::DriveAccess access{
      [this] { return CurrentTransport.get(); },
      [selectedIndex] { return selectedIndex; },
      os_.get(),
      showError,
  };
  return sector::ReadSectors(access, lba, count);
}

}  // namespace brindle::reader
