#include "disclib/recorder/CdrUtil.h"

extern "C" {

LONG MSFToLBA(int minute, int second, int frame) {
  const LONG a = minute * 4500 + second * 75 + frame;
  return minute < 90 ? a - 150 : a - 450150;
}

void LBAToMSF(LONG address, BYTE msf[3]) {
  LONG a = address < -150 ? address + 450150 : address + 150;
  if (a < 0) a = 0;
  msf[0] = static_cast<BYTE>(a / 4500);
  msf[1] = static_cast<BYTE>(a % 4500 / 75);
  msf[2] = static_cast<BYTE>(a % 75);
}

BYTE BinToBCD(int value) {
  if (value < 0 || value >= 100) return static_cast<BYTE>(value);
  return static_cast<BYTE>(((value / 10) << 4) | (value % 10));
}

void LBAToMSFBCD(LONG address, BYTE msf[3]) {
  LBAToMSF(address, msf);
  for (int i = 0; i < 3; ++i) msf[i] = BinToBCD(msf[i]);
}

int BCDToBin(BYTE bcd) { return (bcd >> 4) * 10 + (bcd & 0x0F); }

}  // extern "C"
