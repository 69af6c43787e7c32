// The one-time choice of transport and the drive list built from it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "transport/ISCSI.h"

namespace brindle::transport {

inline constexpr const char* kNoInterfaceMessage = "Kein funktionierendes Interface gefunden!";
inline constexpr const char* kWarningTitle = "Brindle";
inline constexpr const char* kListBuiltTag = "1111";
inline constexpr const char* kInquiryFailedText = "[INQUIRY FAILED]";

// The drive list (cbDrives) as the selection sees it.
class DriveListView {
 public:
  virtual ~DriveListView() = default;
  // Appends label as the last entry.
  virtual void addDrive(const std::string& label) = 0;
  // Makes entry index (0-based) the selected one.
  virtual void selectDrive(int index) = 0;
  // The list's marker: "" until the list has been built.
  virtual std::string tag() const = 0;
  virtual void setTag(const std::string& tag) = 0;
  // Modal box with the exclamation icon, one OK button and title.
  virtual void showWarning(const std::string& message, const std::string& title) = 0;
};

// Makes a transport; may be empty or return nullptr when the transport cannot exist here.
using TransportFactory = std::function<std::unique_ptr<ISCSI>()>;

// Chooses the transport once: the pass-through one when it is installed and initialized, else
// the ASPI one, with the warning when that is not usable either (an empty or null ASPI factory
// counts as unusable and leaves no transport). Fills the list from the choice, sets the marker
// and returns the chosen transport (nullptr when none).
std::unique_ptr<ISCSI> SelectTransport(DriveListView& list, const TransportFactory& makeSpti,
                                       const TransportFactory& makeAspi);

// One label per drive of transport (nullptr: none), in its order, each after one INQUIRY;
// selects the first entry when there is one.
void FillDriveList(ISCSI* transport, DriveListView& list);

}  // namespace brindle::transport
