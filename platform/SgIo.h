// How a pass-through record becomes a Linux SG_IO request and how the kernel's answer is read
// back into the record. Kept apart from the system calls so that every status path can be checked
// without a drive.
#pragma once

#include <scsi/sg.h>

#include <array>
#include <cstdint>
#include <span>

#include "platform/Records.h"

namespace brindle::platform::linux_sg {

// Sense bytes the kernel may hand back for one request (SenseInfoLength is one byte).
using SenseBytes = std::array<std::uint8_t, 255>;

// Fills io from request, pointing the sense buffer at sense. False (nothing to send) when the
// record is one the driver would refuse: wrong Length, CDB longer than 16 bytes or empty, an
// unknown DataIn value, data length without a buffer, or a sense area outside recordSize.
bool PrepareRequest(const ScsiPassThroughDirect& request, std::uint32_t recordSize,
                    SenseBytes& sense, sg_io_hdr_t& io);

// True when the drive received the command and answered with a SCSI status (GOOD or not);
// false when the host adapter or the driver reports that the request itself failed.
bool DriveAnswered(const sg_io_hdr_t& io);

// Writes the outcome into record (the caller's output block, recordSize bytes, already holding
// the request): ScsiStatus, DataTransferLength (what was moved), SenseInfoLength and the sense
// bytes at SenseInfoOffset. Descriptor-format sense is rewritten as fixed format, so the sense
// key, ASC and ASCQ sit at sense bytes 2, 12 and 13 whatever the drive sent.
void StoreAnswer(const sg_io_hdr_t& io, const SenseBytes& sense, std::span<std::uint8_t> record);

// Fixed-format copy of sense (response codes 70h-73h, the valid bit masked off); sense that is
// already fixed is returned unchanged, unknown formats as they are.
SenseBytes ToFixedFormat(std::span<const std::uint8_t> sense, std::size_t& length);

}  // namespace brindle::platform::linux_sg
