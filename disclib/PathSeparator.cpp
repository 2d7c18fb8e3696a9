#include "disclib/PathSeparator.h"

bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

bool IsPathSeparatorW(char16_t c) {
  return c < 0x0100 && (c == u'/' || c == u'\\');
}
