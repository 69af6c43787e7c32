// The application: the window and the drive side it reaches discs in drives through.
//
// The drive side owns CurrentTransport from the first switch to the drive source until the
// program ends. The window goes first, then the drive side (its transport, then the
// operating-system layer the transport still uses).
#pragma once

#include <cstdint>
#include <memory>

#include "reader/WindowDrives.h"
#include "winapp/Prompts.h"
#include "winapp/frmMain.h"

namespace brindle::winapp {

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
  // The chosen transport; null until the first switch to the drive source chose one.
  transport::ISCSI* currentTransport() const { return drives_->currentTransport(); }

  // The message loop, until the window is closed: the program's exit code.
  int Run();

 private:
  Application(Prompts& prompts, std::unique_ptr<reader::WindowDrives> drives);

  std::unique_ptr<reader::WindowDrives> drives_;
  std::unique_ptr<frmMain> form_;
};

}  // namespace brindle::winapp
