#include "transport/DriveList.h"

#include "transport/modMMC.h"

namespace brindle::transport {
namespace {

std::unique_ptr<ISCSI> Make(const TransportFactory& factory) {
  return factory ? factory() : nullptr;
}

// Installed first, Initialized second, always both.
bool Usable(ISCSI& transport) {
  const bool installed = transport.Installed();
  const bool initialized = transport.Initialized();
  return installed && initialized;
}

}  // namespace

std::unique_ptr<ISCSI> SelectTransport(DriveListView& list, const TransportFactory& makeSpti,
                                       const TransportFactory& makeAspi) {
  std::unique_ptr<ISCSI> current = Make(makeSpti);
  if (current == nullptr || !Usable(*current)) {
    // The rejected pass-through transport closes its devices before the library is loaded.
    current.reset();
    current = Make(makeAspi);
    if (current == nullptr || !Usable(*current)) {
      list.showWarning(kNoInterfaceMessage, kWarningTitle);
    }
  }
  FillDriveList(current.get(), list);
  list.setTag(kListBuiltTag);
  return current;
}

void FillDriveList(ISCSI* transport, DriveListView& list) {
  if (transport == nullptr) return;
  transport::InquiryData record;  // cleared once, not between drives
  const std::int16_t count = transport->DriveCount();
  for (std::int16_t i = 1; i <= count; ++i) {
    const std::string handle = transport->DriveHandle(i);
    const std::int32_t result = transport::MmcInquiry(*transport, handle, record);
    std::string label = transport->DriveChar(handle) + ": ";
    if (result == kResultGood) {
      label += record.vendor() + " " + record.product();
    } else {
      label += kInquiryFailedText;
    }
    list.addDrive(label);
  }
  if (count > 0) list.selectDrive(0);
}

}  // namespace brindle::transport
