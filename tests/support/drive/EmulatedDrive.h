// An MMC drive in memory: answers INQUIRY and READ(10) from a disc image, with faults a test can
// script. It knows nothing of the OS; the recording OS fake and the test ASPI library put it
// behind their own request records.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace brindle::testing {

struct SenseCode {
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
};

inline constexpr SenseCode kNoMedium{0x02, 0x3A, 0x00};
inline constexpr SenseCode kBecomingReady{0x02, 0x04, 0x01};
inline constexpr SenseCode kAddressOutOfRange{0x05, 0x21, 0x00};
inline constexpr SenseCode kInvalidField{0x05, 0x24, 0x00};
inline constexpr SenseCode kInvalidOpcode{0x05, 0x20, 0x00};

class EmulatedDrive {
 public:
  static constexpr std::size_t kSectorSize = 2048;
  static constexpr std::uint8_t kGood = 0;
  static constexpr std::uint8_t kCheckCondition = 2;

  // How a command ended.
  enum class Completion {
    Done,           // the drive answered with a status (GOOD or not)
    RequestFailed,  // the request never reached the drive (adapter or driver failure)
    TimedOut,       // the drive never answered; the caller waited the whole time-out
  };
  struct Answer {
    Completion completion = Completion::Done;
    std::uint8_t status = kGood;
    std::array<std::uint8_t, 18> sense{};  // fixed format, only with CHECK CONDITION
    std::uint32_t transferred = 0;         // bytes written to (or taken from) the buffer
  };
  struct Command {
    std::vector<std::uint8_t> cdb;
    bool dataIn = true;
    std::size_t bufferLength = 0;
    std::uint32_t timeoutSeconds = 0;
  };
  struct Read {
    std::uint32_t lba = 0;
    std::uint16_t count = 0;
    bool operator==(const Read&) const = default;
  };

  // image: the disc, 2048 bytes per sector (a short last sector reads as zeros).
  explicit EmulatedDrive(std::vector<std::uint8_t> image = {});

  // INQUIRY identity, stored exactly as given, padded with blanks or cut to 8, 16 and 4 bytes.
  void setIdentity(const std::string& vendor, const std::string& product,
                   const std::string& revision = "1.00");
  void setImage(std::vector<std::uint8_t> image);
  // No medium: READ(10) gets CHECK CONDITION 02/3A/00; INQUIRY still answers.
  void setMediumPresent(bool present);
  // The next n commands end in CHECK CONDITION with sense (whatever they are).
  void failNextCommands(int n, SenseCode sense = kBecomingReady);
  // The next n requests fail before reaching the drive.
  void failNextRequests(int n);
  // Every command from now on is never answered (until setHanging(false)).
  void setHanging(bool hanging);
  // INQUIRY ends in CHECK CONDITION 05/24/00.
  void setInquiryFails(bool fails);
  // First sense byte: 0x70 (fixed, current) by default; 0xF0 adds the valid bit as ATAPI does.
  void setSenseResponseCode(std::uint8_t code);
  // Stop (or resume) keeping commands() and reads(); for long benchmark runs.
  void setRecording(bool recording) { recording_ = recording; }

  // Carries out one command. buffer is the caller's data buffer; the drive never writes past it.
  Answer execute(std::span<const std::uint8_t> cdb, bool dataIn, std::span<std::uint8_t> buffer,
                 std::uint32_t timeoutSeconds);

  int commandCount() const { return static_cast<int>(commands_.size()); }
  const std::vector<Command>& commands() const { return commands_; }
  // The READ(10) commands that reached the medium, in order.
  const std::vector<Read>& reads() const { return reads_; }
  std::uint32_t sectorCount() const;

 private:
  Answer check(SenseCode sense) const;
  Answer inquiry(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> buffer) const;
  Answer read10(std::span<const std::uint8_t> cdb, bool dataIn, std::span<std::uint8_t> buffer);

  std::vector<std::uint8_t> image_;
  std::array<std::uint8_t, 8> vendor_{};
  std::array<std::uint8_t, 16> product_{};
  std::array<std::uint8_t, 4> revision_{};
  bool mediumPresent_ = true;
  int failCommands_ = 0;
  SenseCode failSense_{};
  int failRequests_ = 0;
  bool hanging_ = false;
  bool inquiryFails_ = false;
  std::uint8_t senseResponseCode_ = 0x70;
  bool recording_ = true;
  std::vector<Command> commands_;
  std::vector<Read> reads_;
};

}  // namespace brindle::testing
