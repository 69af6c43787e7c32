// Data sectors of a CD-ROM written from the ECMA-130 definitions alone: sync, header, subheader,
// EDC and the P and Q parity. It shares nothing with the readers under test, so a fault in their
// rebuilding or checking of these fields cannot hide behind the same fault here.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace brindle::testing {

enum class CdMode { Mode1, Mode2Form1 };

// One 2352-byte sector at disc address `address` (frames, the lead-in's 150 included) holding
// 2048 user bytes.
void EncodeCdSector(CdMode mode, std::uint32_t address, std::span<const std::uint8_t, 2048> user,
                    std::span<std::uint8_t, 2352> sector);

// An image of 2048-byte blocks as raw sectors, the first at disc address firstAddress.
std::vector<std::uint8_t> EncodeCdTrack(CdMode mode, std::uint32_t firstAddress,
                                        std::span<const std::uint8_t> blocks);

}  // namespace brindle::testing
