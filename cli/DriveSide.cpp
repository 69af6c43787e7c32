#include "cli/DriveSide.h"

#include <cctype>
#include <filesystem>
#include <ostream>
#include <string_view>

#include "sector/ReadSectors.h"
#include "transport/clsASPI.h"
#include "transport/clsSPTI.h"

namespace brindle::cli {
namespace {

// The pause of one pass of the ASPI wait: short against a sector read, long enough that a
// waiting command costs no processor time.
constexpr std::uint32_t kWaitPassMs = 1;

}  // namespace

DriveSide::DriveSide(std::unique_ptr<platform::Os> os, TransportChoice choice, std::ostream& err)
    : os_(std::move(os)), choice_(choice), err_(err) {}

DriveSide::~DriveSide() {
  transport_.reset();  // it still talks to the operating system while it closes its drives
}

bool DriveSide::build() {
  if (!tag_.empty()) return !warned_;
  const transport::TransportFactory spti = [this] {
    return std::make_unique<transport::clsSPTI>(*os_);
  };
  // No window to keep alive while an ASPI request runs: each pass of the wait gives the
  // processor away for a moment instead of spinning on the status byte.
  const transport::TransportFactory aspi = [this] {
    return std::make_unique<transport::clsASPI>(*os_, [this] { os_->Sleep(kWaitPassMs); });
  };
  transport_ = transport::SelectTransport(*this, choice_ == TransportChoice::Aspi ? nullptr : spti,
                                          choice_ == TransportChoice::Spti ? nullptr : aspi);
  return !warned_;
}

std::string DriveSide::transportName() const {
  return transport_ ? transport_->Interface() : std::string();
}

bool DriveSide::select(const std::string& letter) {
  std::string wanted = letter;
#ifndef _WIN32
  // The device itself (/dev/sr0, or a link to it such as /dev/cdrom) stands for the letter the
  // drive list gives it: D for sr0, E for sr1, ...
  if (!wanted.empty() && wanted[0] == '/') {
    std::error_code ec;
    const std::string device = std::filesystem::weakly_canonical(wanted, ec).string();
    constexpr std::string_view kPrefix = "/dev/sr";
    const std::string number = device.rfind(kPrefix, 0) == 0 ? device.substr(kPrefix.size()) : "";
    if (number.empty() || number.size() > 2 ||
        number.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(number) > 'Z' - 'D')
      return false;
    wanted = std::string(1, static_cast<char>('D' + std::stoi(number)));
  }
#endif
  if (wanted.size() == 2 && wanted[1] == ':') wanted.resize(1);
  if (wanted.size() != 1 || !std::isalpha(static_cast<unsigned char>(wanted[0]))) return false;
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(wanted[0])));
  for (std::size_t i = 0; i < labels_.size(); ++i) {
    if (labels_[i].size() >= 2 && labels_[i][0] == upper && labels_[i][1] == ':') {
      selected_ = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

std::string DriveSide::selectedLabel() const {
  return selected_ >= 0 && selected_ < static_cast<int>(labels_.size()) ? labels_[selected_] : "";
}

std::string DriveSide::selectedHandle() const {
  if (!transport_ || selected_ < 0 || selected_ >= transport_->DriveCount()) return "";
  return transport_->DriveHandle(static_cast<std::int16_t>(selected_ + 1));
}

sector::SectorData DriveSide::read(std::int32_t lba, std::int16_t count) {
  const sector::DriveAccess access{
      [this] { return transport_.get(); },
      [this] { return selected_; },
      os_.get(),
      [this](const std::string& message) {
        if (window_ != nullptr) {
          window_->showError(message);
        } else {
          err_ << message << '\n';
        }
      },
  };
  return sector::ReadSectors(access, lba, count);
}

void DriveSide::showWarning(const std::string& message, const std::string&) {
  warned_ = true;
  err_ << message << '\n';
}

}  // namespace brindle::cli
