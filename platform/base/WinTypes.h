// Fixed-width names for the integer types the system's records and calls
// use, and the system's calendar-time record. The integer names keep the
// widths of the original 32-bit platform (LONG and DWORD are 32 bits here
// too), so record layouts and value ranges stay as described.
#pragma once

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using INT = int;
using UINT = unsigned int;
using BOOL = int;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using WCHAR = char16_t;

// Calendar time in the shape of the system's time record: eight 16-bit
// fields. The component core converts it to and from DATE; the file-system
// manager writes it into on-disc records (where a year of 0 stands for "no
// date"). A record made without values holds zeros.
struct SYSTEMTIME {
  WORD wYear = 0;
  WORD wMonth = 0;
  WORD wDayOfWeek = 0;  // 0 = Sunday
  WORD wDay = 0;
  WORD wHour = 0;
  WORD wMinute = 0;
  WORD wSecond = 0;
  WORD wMilliseconds = 0;
};

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
