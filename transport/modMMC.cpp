#include "transport/modMMC.h"

namespace brindle::transport {
namespace {

constexpr std::uint8_t kOpRead10 = 0x28;
constexpr std::uint8_t kOpInquiry = 0x12;
constexpr std::uint8_t kOpReadCapacity = 0x25;

}  // namespace

std::uint8_t LoByte(std::int16_t x) {
  return static_cast<std::uint8_t>(x & 0xFF);
}

std::uint8_t HiByte(std::int16_t x) {
  return static_cast<std::uint8_t>((static_cast<std::uint16_t>(x) >> 8) & 0xFF);
}

std::int32_t ShiftRight(std::int32_t value, std::int32_t bits) {
  if (bits <= 0) return value;
  if (bits >= 32) return 0;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) >> bits);
}

std::array<std::uint8_t, 10> MakeRead10Cdb(std::int32_t lba, std::int16_t count) {
  std::array<std::uint8_t, 10> cdb{};
  cdb[0] = kOpRead10;
  cdb[2] = static_cast<std::uint8_t>(ShiftRight(lba, 24) & 0xFF);
  cdb[3] = static_cast<std::uint8_t>(ShiftRight(lba, 16) & 0xFF);
  cdb[4] = static_cast<std::uint8_t>(ShiftRight(lba, 8) & 0xFF);
  cdb[5] = static_cast<std::uint8_t>(lba & 0xFF);
  cdb[7] = HiByte(count);
  cdb[8] = LoByte(count);
  return cdb;
}

std::array<std::uint8_t, 6> MakeInquiryCdb() {
  std::array<std::uint8_t, 6> cdb{};
  cdb[0] = kOpInquiry;
  cdb[4] = kInquiryLength;
  return cdb;
}

std::string InquiryData::vendor() const {
  return std::string(bytes.begin() + 8, bytes.begin() + 16);
}

std::string InquiryData::product() const {
  return std::string(bytes.begin() + 16, bytes.begin() + 32);
}

std::int32_t MmcRead10(ISCSI& transport, const std::string& handle, std::int32_t lba,
                       std::int16_t count, void* buffer, std::int32_t bufferLength) {
  const auto cdb = MakeRead10Cdb(lba, count);
  return transport.ExecCMD(handle, cdb, static_cast<std::uint8_t>(cdb.size()),
                           transport::kDirectionIn, buffer, bufferLength, kCommandTimeout);
}

std::array<std::uint8_t, 10> MakeReadCapacityCdb() {
  std::array<std::uint8_t, 10> cdb{};
  cdb[0] = kOpReadCapacity;
  return cdb;
}

std::int32_t MmcReadCapacity(ISCSI& transport, const std::string& handle,
                             std::uint32_t& lastBlock) {
  const auto cdb = MakeReadCapacityCdb();
  std::array<std::uint8_t, 8> data{};
  const std::int32_t result =
      transport.ExecCMD(handle, cdb, static_cast<std::uint8_t>(cdb.size()), kDirectionIn,
                        data.data(), static_cast<std::int32_t>(data.size()), kCommandTimeout);
  lastBlock = std::uint32_t{data[0]} << 24 | std::uint32_t{data[1]} << 16 |
              std::uint32_t{data[2]} << 8 | std::uint32_t{data[3]};
  return result;
}

std::int32_t MmcInquiry(ISCSI& transport, const std::string& handle, InquiryData& record) {
  const auto cdb = MakeInquiryCdb();
  return transport.ExecCMD(handle, cdb, static_cast<std::uint8_t>(cdb.size()),
                           transport::kDirectionIn, record.bytes.data(), kInquiryLength,
                           kCommandTimeout);
}

}  // namespace brindle::transport
