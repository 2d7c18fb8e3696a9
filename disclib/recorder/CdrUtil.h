// Small helpers shared by the recorder layer and the Video CD layout: CD
// addresses as minute/second/frame, BCD, and big-endian fields of command
// blocks and replies.
#pragma once

#include "disclib/DiscpakExport.h"
#include "platform/base/WinTypes.h"

extern "C" {

// minute x 4500 + second x 75 + frame, minus 150 below minute 90 and minus
// 450150 from minute 90 on (the lead-in's negative addresses).
DISCPAK_API LONG MSFToLBA(int minute, int second, int frame);
// The inverse: addresses below -150 add 450150, the others 150.
DISCPAK_API void LBAToMSF(LONG address, BYTE msf[3]);
// The same with each part in BCD; parts of 100 and above stay binary.
DISCPAK_API void LBAToMSFBCD(LONG address, BYTE msf[3]);
DISCPAK_API BYTE BinToBCD(int value);
// High nibble x 10 + low nibble.
DISCPAK_API int BCDToBin(BYTE bcd);

}  // extern "C"

inline WORD GetBE16(const BYTE* p) { return static_cast<WORD>((p[0] << 8) | p[1]); }
inline DWORD GetBE32(const BYTE* p) {
  return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) | (static_cast<DWORD>(p[2]) << 8) | p[3];
}
inline void PutBE16(BYTE* p, WORD v) {
  p[0] = static_cast<BYTE>(v >> 8);
  p[1] = static_cast<BYTE>(v);
}
inline void PutBE32(BYTE* p, DWORD v) {
  p[0] = static_cast<BYTE>(v >> 24);
  p[1] = static_cast<BYTE>(v >> 16);
  p[2] = static_cast<BYTE>(v >> 8);
  p[3] = static_cast<BYTE>(v);
}
