// The application: the window and the drive side it reaches discs in drives through.
//
// It owns CurrentTransport, the one SCSI transport every drive command goes through, from the
// first switch to the drive source until the program ends, and the operating-system layer the
// transports talk to. The window goes first, then the transport (closing its drives or
// unloading its library), then the operating-system layer the transport still uses.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/Prompts.h"
#include "app/frmMain.h"
#include "platform/Os.h"
#include "sector/SectorData.h"
#include "transport/DriveList.h"
#include "transport/ISCSI.h"

namespace brindle::app {

class Application {
 public:
  // Makes one transport over the operating-system layer it is given.
  using MakeTransport = std::function<std::unique_ptr<transport::ISCSI>(platform::Os&)>;

  // The running system's drives, through the pass-through transport or the ASPI library.
  explicit Application(Prompts& prompts);
  // The given operating-system layer and transports (tests choose emulated drives).
  Application(Prompts& prompts, std::unique_ptr<platform::Os> os, MakeTransport makeSpti,
              MakeTransport makeAspi);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  frmMain& window() { return *form_; }
  // The chosen transport; null until SelectTransport has chosen one.
  transport::ISCSI* currentTransport() const { return CurrentTransport.get(); }

  // Runs on the first switch to the drive source: chooses the transport, fills cbDrives with
  // one label per drive, selects the first, and sets the list's built marker.
  void SelectTransport();
  // Reads count sectors at lba of the drive selected in cbDrives: count x 2048 bytes, or an
  // empty result after telling the user why (no drive selected, drive not ready).
  sector::SectorData ReadSectors(std::int32_t lba, std::int16_t count);

 private:
  std::unique_ptr<platform::Os> os_;
  MakeTransport makeSpti_;
  MakeTransport makeAspi_;
  std::unique_ptr<transport::ISCSI> CurrentTransport;
  std::unique_ptr<frmMain> form_;
};

}  // namespace brindle::app
