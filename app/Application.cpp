#include "app/Application.h"

#include "app/Texts.h"
#include "opera/Messages.h"

namespace brindle::app {

Application::Application(Prompts& prompts)
    : form_(std::make_unique<frmMain>(prompts, frmMain::DriveSide{
                                                   [this] { SelectTransport(); },
                                                   [this](std::int32_t lba, std::int16_t count) {
                                                     return ReadSectors(lba, count);
                                                   },
                                               })) {}

Application::~Application() {
  form_.reset();  // the window goes first; then the transport releases its drives
}

void Application::SelectTransport() {
  // The SCSI transports are chosen here once they are linked into the program:
  //   CurrentTransport = transport::SelectTransport(*form_, makeSpti, makeAspi);
  // (the window is the drive list's view). Until then no transport is chosen and the list
  // stays empty, without a selection, so an open from the drive source tells the user that no
  // drive is selected.
  form_->setTag(texts::kDrivesBuilt);
}

std::vector<std::uint8_t> Application::ReadSectors(std::int32_t lba, std::int16_t count) {
  (void)lba;
  (void)count;
  if (!CurrentTransport || form_->driveIndex() < 0) {
    form_->showError(opera::messages::kNoDriveSelected);
    return {};
  }
  // The drive sector reader goes here once the transport stack is linked in
  // (sector::ReadSectors over CurrentTransport and the window's selection); a transport cannot
  // be chosen before that, so this point is not reached.
  form_->showError(opera::messages::kNoDriveSelected);
  return {};
}

}  // namespace brindle::app
