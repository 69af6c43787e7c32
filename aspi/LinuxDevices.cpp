#include "aspi/LinuxDevices.h"

#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace brindle::aspi {
namespace {

constexpr unsigned kInquiryTimeoutMs = 5000;
constexpr std::uint8_t kInquiryLength = 36;

}  // namespace

int OpenDrive(const std::string& path) {
  constexpr int kFlags = O_NONBLOCK | O_CLOEXEC;
  int fd = ::open(path.c_str(), O_RDWR | kFlags);
  if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | kFlags);
  return fd;
}

std::vector<OpticalDevice> FindOpticalDevices() {
  std::vector<OpticalDevice> devices;
  for (int n = 0; n < kMaxDevices; ++n) {
    const std::string path = "/dev/sr" + std::to_string(n);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) continue;
    const int fd = OpenDrive(path);
    if (fd < 0) continue;
    struct {
      int fourInOne;  // id | lun << 8 | channel << 16 | host << 24
      int hostUniqueId;
    } idLun{};
    int host = 0;
    const bool known = ::ioctl(fd, SCSI_IOCTL_GET_IDLUN, &idLun) == 0 &&
                       ::ioctl(fd, SCSI_IOCTL_GET_BUS_NUMBER, &host) == 0;
    ::close(fd);
    if (!known) continue;
    const auto word = static_cast<std::uint32_t>(idLun.fourInOne);
    OpticalDevice device;
    device.path = path;
    device.hostAdapter = static_cast<std::uint8_t>(host);
    device.target = static_cast<std::uint8_t>(word);
    device.lun = static_cast<std::uint8_t>(word >> 8);
    device.driveNumber = static_cast<std::uint8_t>(kFirstDriveNumber + n);
    devices.push_back(device);
  }
  return devices;
}

std::optional<std::uint8_t> InquireDeviceType(const std::string& path) {
  const int fd = OpenDrive(path);
  if (fd < 0) return std::nullopt;
  std::array<std::uint8_t, 6> cdb{0x12, 0, 0, 0, kInquiryLength, 0};
  std::array<std::uint8_t, kInquiryLength> data{};
  std::array<std::uint8_t, 32> sense{};
  sg_io_hdr_t io;
  std::memset(&io, 0, sizeof io);
  io.interface_id = 'S';
  io.cmd_len = static_cast<unsigned char>(cdb.size());
  io.cmdp = cdb.data();
  io.dxfer_direction = SG_DXFER_FROM_DEV;
  io.dxfer_len = static_cast<unsigned>(data.size());
  io.dxferp = data.data();
  io.mx_sb_len = static_cast<unsigned char>(sense.size());
  io.sbp = sense.data();
  io.timeout = kInquiryTimeoutMs;
  const bool ok = ::ioctl(fd, SG_IO, &io) == 0 && io.status == 0 && io.host_status == 0 &&
                  (io.driver_status & ~0x08u) == 0 &&
                  static_cast<int>(io.dxfer_len) - io.resid >= 1;
  ::close(fd);
  if (!ok) return std::nullopt;
  return static_cast<std::uint8_t>(data[0] & 0x1F);
}

}  // namespace brindle::aspi
