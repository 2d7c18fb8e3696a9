// The drive database entry of one drive model (the registry's table of
// known drives): capability and quirk words for drives that cannot describe
// themselves, and their speed lists. Slots in this order.
#pragma once

#include "platform/base/WinTypes.h"

// Keys of the key/value pairs of an entry.
enum : DWORD {
  CDR4DB_KEY_MMCFLAGS = 4097,  // the MMCF quirk word
  CDR4DB_KEY_CDRFLAGS = 4098,  // the CDRF capability word
};

class I_CDR4DriveDB {
 public:
  virtual ~I_CDR4DriveDB() = default;                                        // 0
  virtual LONG IsLoaded() = 0;                                               // 1
  virtual LONG CountA() = 0;                                                 // 2 read speeds (-1 unloaded)
  // 3: entry `index` of the read-speed list; each out pointer may be null,
  // the name is cut to nameSize - 1 characters. 1 / 0.
  virtual LONG GetA(LONG index, LONG nameSize, char* name, DWORD* word1, DWORD* speed, DWORD* word3) = 0;
  virtual LONG CountB() = 0;                                                 // 4 write speeds
  virtual LONG CountC() = 0;                                                 // 5 third list
  virtual LONG GetB(LONG index, LONG nameSize, char* name, DWORD* word1, DWORD* speed, DWORD* word3) = 0;  // 6
  virtual LONG GetC(LONG index, LONG nameSize, char* name, DWORD* word1, DWORD* speed, DWORD* word3) = 0;  // 7
  virtual LONG Slot8() = 0;                                                  // 8 always 1
  virtual void Slot9(DWORD ignored1, DWORD ignored2, char* text) = 0;        // 9 writes an empty text
  virtual LONG CodeCount() = 0;                                              // 10 4-character codes
  virtual LONG Slot11() = 0;                                                 // 11 always 0
  virtual LONG HasKey(DWORD key) = 0;                                        // 12
  virtual DWORD GetValue(DWORD key) = 0;                                     // 13 0 when absent
};
