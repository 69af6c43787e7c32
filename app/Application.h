// The application: the window and the drive side it reaches discs in drives through.
//
// The drive side owns CurrentTransport from the first switch to the drive source until the
// program ends. The window goes first, then the drive side (its transport, then the
// operating-system layer the transport still uses).
#pragma once

#include <cstdint>
#include <memory>

#include "app/Prompts.h"
#include "app/frmMain.h"
#include "reader/WindowDrives.h"
#include "sector/SectorData.h"
#include "transport/ISCSI.h"

namespace brindle::app {

class Application {
 public:
  using MakeTransport = reader::WindowDrives::MakeTransport;

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
  transport::ISCSI* currentTransport() const { return drives_->currentTransport(); }

  // Runs on the first switch to the drive source: chooses the transport, fills cbDrives with
  // one label per drive, selects the first, and sets the list's built marker.
  void SelectTransport();
  // Reads count sectors at lba of the drive selected in cbDrives: count x 2048 bytes, or an
  // empty result after telling the user why (no drive selected, drive not ready).
  sector::SectorData ReadSectors(std::int32_t lba, std::int16_t count);

 private:
  explicit Application(Prompts& prompts, std::unique_ptr<reader::WindowDrives> drives);

  std::unique_ptr<reader::WindowDrives> drives_;
  std::unique_ptr<frmMain> form_;
};

}  // namespace brindle::app
