// The window's drive side: CurrentTransport, the one SCSI transport every drive command goes
// through, chosen on the first switch to the drive source and kept until the program ends, over
// the operating-system layer it talks to. Both windows' applications hold one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Os.h"
#include "sector/SectorData.h"
#include "transport/DriveList.h"
#include "transport/ISCSI.h"

namespace brindle::reader {

class WindowDrives {
 public:
  // Makes one transport over the operating-system layer it is given; messagePass is the
  // window's one pass of pending-message processing, for a transport that waits by polling.
  using MakeTransport = std::function<std::unique_ptr<transport::ISCSI>(
      platform::Os&, std::function<void()> messagePass)>;

  // The running system's drives: the pass-through transport, else the ASPI library.
  WindowDrives();
  // The given operating-system layer and transports (tests choose emulated drives); an empty
  // maker counts as a transport that cannot exist here.
  WindowDrives(std::unique_ptr<platform::Os> os, MakeTransport makeSpti, MakeTransport makeAspi);
  // Releases the transport (closing its drives or unloading its library) before the
  // operating-system layer it still uses.
  ~WindowDrives();
  WindowDrives(const WindowDrives&) = delete;
  WindowDrives& operator=(const WindowDrives&) = delete;

  // The chosen transport; null until SelectTransport has chosen one.
  transport::ISCSI* currentTransport() const { return CurrentTransport.get(); }

  // Chooses the transport, fills list with one label per drive, selects the first and sets the
  // list's built marker.
  void SelectTransport(transport::DriveListView& list, const std::function<void()>& messagePass);
  // count sectors at lba of the drive at selectedIndex (0-based, -1 for none): count x 2048
  // bytes, or an empty result after showError has told the user why.
  sector::SectorData ReadSectors(std::int32_t lba, std::int16_t count, int selectedIndex,
                                 const std::function<void(const std::string&)>& showError);

 private:
  std::unique_ptr<platform::Os> os_;
  MakeTransport makeSpti_;
  MakeTransport makeAspi_;
  std::unique_ptr<transport::ISCSI> CurrentTransport;
};

}  // namespace brindle::reader
