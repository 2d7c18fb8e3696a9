// Path separator tests shared by the whole disc library: both '/' and '\'
// separate the entries of a disc path.
#pragma once

bool IsPathSeparator(char c);
// A 16-bit unit is a separator only when it is below 0x0100 and its low byte
// is '/' or '\'.
bool IsPathSeparatorW(char16_t c);
