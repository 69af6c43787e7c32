#include "tests/support/drive/EmulatedDrive.h"

#include <algorithm>

namespace brindle::testing {
namespace {

constexpr std::uint8_t kOpInquiry = 0x12;
constexpr std::uint8_t kOpRead10 = 0x28;
constexpr std::uint8_t kOpTestUnitReady = 0x00;
constexpr std::size_t kInquiryLength = 96;

template <std::size_t N>
void StorePadded(std::array<std::uint8_t, N>& field, const std::string& text) {
  for (std::size_t i = 0; i < N; ++i) {
    field[i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : std::uint8_t{' '};
  }
}

}  // namespace

EmulatedDrive::EmulatedDrive(std::vector<std::uint8_t> image) : image_(std::move(image)) {
  setIdentity("BRINDLE", "EMULATED CD-ROM");
}

void EmulatedDrive::setIdentity(const std::string& vendor, const std::string& product,
                                const std::string& revision) {
  StorePadded(vendor_, vendor);
  StorePadded(product_, product);
  StorePadded(revision_, revision);
}

void EmulatedDrive::setImage(std::vector<std::uint8_t> image) {
  image_ = std::move(image);
}
void EmulatedDrive::setMediumPresent(bool present) {
  mediumPresent_ = present;
}
void EmulatedDrive::failNextCommands(int n, SenseCode sense) {
  failCommands_ = n;
  failSense_ = sense;
}
void EmulatedDrive::failNextRequests(int n) {
  failRequests_ = n;
}
void EmulatedDrive::setHanging(bool hanging) {
  hanging_ = hanging;
}
void EmulatedDrive::setInquiryFails(bool fails) {
  inquiryFails_ = fails;
}
void EmulatedDrive::setSenseResponseCode(std::uint8_t code) {
  senseResponseCode_ = code;
}

std::uint32_t EmulatedDrive::sectorCount() const {
  return static_cast<std::uint32_t>((image_.size() + kSectorSize - 1) / kSectorSize);
}

EmulatedDrive::Answer EmulatedDrive::check(SenseCode sense) const {
  Answer answer;
  answer.status = kCheckCondition;
  answer.sense[0] = senseResponseCode_;
  answer.sense[2] = sense.key;
  answer.sense[7] = static_cast<std::uint8_t>(answer.sense.size() - 8);
  answer.sense[12] = sense.asc;
  answer.sense[13] = sense.ascq;
  return answer;
}

EmulatedDrive::Answer EmulatedDrive::execute(std::span<const std::uint8_t> cdb, bool dataIn,
                                             std::span<std::uint8_t> buffer,
                                             std::uint32_t timeoutSeconds) {
  if (recording_) {
    commands_.push_back(Command{{cdb.begin(), cdb.end()}, dataIn, buffer.size(), timeoutSeconds});
  }
  if (hanging_) return Answer{Completion::TimedOut};
  if (failRequests_ > 0) {
    --failRequests_;
    return Answer{Completion::RequestFailed};
  }
  if (failCommands_ > 0) {
    --failCommands_;
    return check(failSense_);
  }
  if (cdb.empty()) return check(kInvalidOpcode);
  switch (cdb[0]) {
    case kOpInquiry:
      return inquiry(cdb, buffer);
    case kOpRead10:
      return read10(cdb, dataIn, buffer);
    case kOpTestUnitReady:
      return mediumPresent_ ? Answer{} : check(kNoMedium);
    default:
      return check(kInvalidOpcode);
  }
}

EmulatedDrive::Answer EmulatedDrive::inquiry(std::span<const std::uint8_t> cdb,
                                             std::span<std::uint8_t> buffer) const {
  if (cdb.size() < 6) return check(kInvalidOpcode);
  if (inquiryFails_) return check(kInvalidField);
  std::array<std::uint8_t, kInquiryLength> data{};
  data[0] = 0x05;  // CD/DVD device
  data[1] = 0x80;  // removable medium
  data[2] = 0x05;  // version
  data[3] = 0x32;  // response data format 2
  data[4] = static_cast<std::uint8_t>(data.size() - 5);
  std::copy(vendor_.begin(), vendor_.end(), data.begin() + 8);
  std::copy(product_.begin(), product_.end(), data.begin() + 16);
  std::copy(revision_.begin(), revision_.end(), data.begin() + 32);
  for (std::size_t i = 36; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  const std::size_t allocation = (std::size_t{cdb[3]} << 8) | cdb[4];
  const std::size_t length = std::min({allocation, buffer.size(), data.size()});
  std::copy_n(data.begin(), length, buffer.begin());
  Answer answer;
  answer.transferred = static_cast<std::uint32_t>(length);
  return answer;
}

EmulatedDrive::Answer EmulatedDrive::read10(std::span<const std::uint8_t> cdb, bool dataIn,
                                            std::span<std::uint8_t> buffer) {
  if (cdb.size() < 10) return check(kInvalidOpcode);
  if (!mediumPresent_) return check(kNoMedium);
  const std::uint32_t lba = (std::uint32_t{cdb[2]} << 24) | (std::uint32_t{cdb[3]} << 16) |
                            (std::uint32_t{cdb[4]} << 8) | cdb[5];
  const std::uint16_t count = static_cast<std::uint16_t>((cdb[7] << 8) | cdb[8]);
  const std::size_t length = std::size_t{count} * kSectorSize;
  // A buffer too small for the sectors asked for: a real drive would overrun it; this one refuses.
  if (!dataIn || length > buffer.size()) return check(kInvalidField);
  if (std::uint64_t{lba} + count > sectorCount()) return check(kAddressOutOfRange);
  if (recording_) reads_.push_back(Read{lba, count});
  const std::size_t start = std::min(std::size_t{lba} * kSectorSize, image_.size());
  const std::size_t available = std::min(length, image_.size() - start);
  std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(start), available, buffer.begin());
  std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(available),
            buffer.begin() + static_cast<std::ptrdiff_t>(length), 0);
  Answer answer;
  answer.transferred = static_cast<std::uint32_t>(length);
  return answer;
}

}  // namespace brindle::testing
