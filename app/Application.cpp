#include "app/Application.h"

#include <QCoreApplication>

#include "sector/ReadSectors.h"
#include "transport/clsASPI.h"
#include "transport/clsSPTI.h"

namespace brindle::app {

Application::Application(Prompts& prompts)
    : Application(
          prompts, platform::MakeSystemOs(),
          [](platform::Os& os) { return std::make_unique<transport::clsSPTI>(os); },
          [](platform::Os& os) {
            // The ASPI transport polls its requests; between two polls the window handles its
            // events.
            return std::make_unique<transport::clsASPI>(os,
                                                        [] { QCoreApplication::processEvents(); });
          }) {}

Application::Application(Prompts& prompts, std::unique_ptr<platform::Os> os, MakeTransport makeSpti,
                         MakeTransport makeAspi)
    : os_(std::move(os)),
      makeSpti_(std::move(makeSpti)),
      makeAspi_(std::move(makeAspi)),
      form_(std::make_unique<frmMain>(prompts, frmMain::DriveSide{
                                                   [this] { SelectTransport(); },
                                                   [this](std::int32_t lba, std::int16_t count) {
                                                     return ReadSectors(lba, count);
                                                   },
                                               })) {}

Application::~Application() {
  form_.reset();
  CurrentTransport.reset();
}

void Application::SelectTransport() {
  const auto bind = [this](const MakeTransport& make) -> transport::TransportFactory {
    if (!make) return nullptr;
    return [this, &make] { return make(*os_); };
  };
  CurrentTransport = transport::SelectTransport(*form_, bind(makeSpti_), bind(makeAspi_));
}

sector::SectorData Application::ReadSectors(std::int32_t lba, std::int16_t count) {
  const sector::DriveAccess access{
      [this] { return CurrentTransport.get(); },
      [this] { return form_->driveIndex(); },
      os_.get(),
      [this](const std::string& message) { form_->showError(message); },
  };
  return sector::ReadSectors(access, lba, count);
}

}  // namespace brindle::app
