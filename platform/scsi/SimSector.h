// The simulated recorder's own sector arithmetic, kept apart from the disc
// library's (disclib/recorder/EdcEcc.h) so that a fault in one shows against
// the other: sync and header, the EDC, the P and Q parity of ECMA-130, the
// scrambler, the Q subcode CRC, the subcode layouts and CD-TEXT packs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexa::scsi::sim {

constexpr std::size_t kRawSector = 2352;
constexpr std::size_t kSubcodeSize = 96;

// Binary MSF of an address (ECMA-130 absolute time: address + 150).
void AddressToMsf(std::int32_t address, int* m, int* s, int* f);
std::int32_t MsfToAddress(int m, int s, int f);
inline std::uint8_t ToBcd(int v) { return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10)); }
inline int FromBcd(std::uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }

// Builds a complete data sector in place: sync, header (address, mode), and,
// for mode 1 and mode 2 form 1, the EDC and the P/Q parity; mode 2 form 2
// gets its EDC at 2348. For mode 2, the form comes from the subheader's
// submode byte (bit 0x20) already in bytes 16-23.
enum class SectorKind { Mode1, Mode2Form1, Mode2Form2, Mode2Formless };
void EncodeDataSector(std::uint8_t sector[kRawSector], std::int32_t address, SectorKind kind);
// The kind a mode-2 sector's subheader asks for.
SectorKind Mode2KindOf(const std::uint8_t sector[kRawSector]);

// XORs bytes 12-2351 with the ECMA-130 scrambler sequence (its own inverse).
void Scramble(std::uint8_t sector[kRawSector]);

// CRC-16 of Q subcode (x^16 + x^12 + x^5 + 1, preset 0), stored inverted.
std::uint16_t QCrc(const std::uint8_t* q, std::size_t length);

// Subcode layouts. "Interleaved" is the 96-byte form in which byte i holds
// bit i of every channel (P in bit 7 ... W in bit 0); "channels" is the
// 12-bytes-per-channel form of .sub files (P, Q, R, ..., W).
void InterleavedToChannels(const std::uint8_t in[kSubcodeSize], std::uint8_t out[kSubcodeSize]);
void ChannelsToInterleaved(const std::uint8_t in[kSubcodeSize], std::uint8_t out[kSubcodeSize]);

// CD-TEXT: 18-byte packs whose last two bytes are the inverted CRC-16 of the
// first 16 (same polynomial as Q).
bool CdTextPackValid(const std::uint8_t pack[18]);

// Collects CD-TEXT packs from a stream of 6-bit R-W symbols (four symbols
// give three bytes). The stream repeats the packs cyclically; the decoder
// locks onto the first pack whose CRC holds and keeps each distinct valid
// pack once, in order. *bad counts packs that failed the CRC.
std::vector<std::uint8_t> PacksFromSymbols(const std::vector<std::uint8_t>& symbols, int* bad);

// Reads the texts of pack type 0x80 (title) or 0x81 (performer) for track 0
// (the disc) up to the last track from block 0 of a pack list. Index 0 of
// the result is the disc's text.
std::vector<std::string> CdTextField(const std::vector<std::uint8_t>& packs, int packType,
                                     int lastTrack);

}  // namespace vexa::scsi::sim
