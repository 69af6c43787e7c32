#include "platform/SgIo.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace brindle::platform::linux_sg {
namespace {

constexpr unsigned kDidOk = 0;               // host_status: no error
constexpr unsigned kDriverErrorMask = 0x07;  // driver_status low bits other than DRIVER_SENSE
constexpr std::size_t kFixedSenseLength = 18;

}  // namespace

bool PrepareRequest(const ScsiPassThroughDirect& request, std::uint32_t recordSize,
                    SenseBytes& sense, sg_io_hdr_t& io) {
  if (request.Length != sizeof(ScsiPassThroughDirect)) return false;
  if (request.CdbLength == 0 || request.CdbLength > kCdbAreaSize) return false;
  if (request.DataIn != kScsiDataIn && request.DataIn != kScsiDataOut) return false;
  if (request.DataTransferLength > 0 && request.DataBuffer == nullptr) return false;
  if (request.SenseInfoLength > 0) {
    const std::uint64_t end =
        std::uint64_t{request.SenseInfoOffset} + std::uint64_t{request.SenseInfoLength};
    if (request.SenseInfoOffset < sizeof(ScsiPassThroughDirect) || end > recordSize) return false;
  }

  std::memset(&io, 0, sizeof io);
  sense.fill(0);
  io.interface_id = 'S';
  if (request.DataTransferLength == 0) {
    io.dxfer_direction = SG_DXFER_NONE;
  } else {
    io.dxfer_direction = request.DataIn == kScsiDataIn ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
  }
  io.cmd_len = request.CdbLength;
  io.cmdp = const_cast<unsigned char*>(request.Cdb);
  io.dxfer_len = request.DataTransferLength;
  io.dxferp = request.DataBuffer;
  io.mx_sb_len = request.SenseInfoLength;
  io.sbp = sense.data();
  const std::uint64_t milliseconds = std::uint64_t{request.TimeOutValue} * 1000u;
  io.timeout = static_cast<unsigned>(std::min<std::uint64_t>(milliseconds, UINT_MAX));
  return true;
}

bool DriveAnswered(const sg_io_hdr_t& io) {
  return io.host_status == kDidOk && (io.driver_status & kDriverErrorMask) == 0;
}

SenseBytes ToFixedFormat(std::span<const std::uint8_t> sense, std::size_t& length) {
  SenseBytes fixed{};
  length = std::min(sense.size(), fixed.size());
  std::copy_n(sense.begin(), length, fixed.begin());
  if (sense.size() < 4) return fixed;
  const std::uint8_t code = sense[0] & 0x7F;
  if (code != 0x72 && code != 0x73) return fixed;
  // Descriptor format: key, ASC and ASCQ in bytes 1 to 3.
  const std::uint8_t key = sense[1] & 0x0F;
  const std::uint8_t asc = sense[2];
  const std::uint8_t ascq = sense[3];
  fixed.fill(0);
  fixed[0] = code == 0x72 ? 0x70 : 0x71;
  fixed[2] = key;
  fixed[7] = kFixedSenseLength - 8;
  fixed[12] = asc;
  fixed[13] = ascq;
  length = kFixedSenseLength;
  return fixed;
}

void StoreAnswer(const sg_io_hdr_t& io, const SenseBytes& sense, std::span<std::uint8_t> record) {
  ScsiPassThroughDirect header;
  if (record.size() < sizeof header) return;
  std::memcpy(&header, record.data(), sizeof header);

  header.ScsiStatus = io.status;
  const int resid =
      std::clamp(io.resid, 0, static_cast<int>(std::min<unsigned>(io.dxfer_len, INT_MAX)));
  header.DataTransferLength = io.dxfer_len - static_cast<unsigned>(resid);

  const std::size_t written = std::min<std::size_t>(io.sb_len_wr, io.mx_sb_len);
  std::size_t length = 0;
  const SenseBytes fixed = ToFixedFormat(std::span(sense.data(), written), length);
  length = std::min<std::size_t>(length, header.SenseInfoLength);
  if (header.SenseInfoLength > 0 &&
      std::uint64_t{header.SenseInfoOffset} + header.SenseInfoLength <= record.size()) {
    std::copy_n(fixed.begin(), length, record.begin() + header.SenseInfoOffset);
  } else {
    length = 0;
  }
  header.SenseInfoLength = static_cast<std::uint8_t>(length);
  std::memcpy(record.data(), &header, sizeof header);
}

}  // namespace brindle::platform::linux_sg
