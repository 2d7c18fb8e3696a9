#include "imaging/TitleLayout_p.h"

namespace vexa::imgutil {

TitleLayout ComputeTitleLayout(const bool hasLine[3], int P, int Q) {
  TitleLayout l;
  for (int i = 0; i < 3; ++i) l.present += hasLine[i] ? 1 : 0;
  if (l.present == 0) return l;
  const int n = l.present;
  l.S = (125 - 4 * n) / n;
  l.a = (l.S - P) / 2;
  l.b = (l.S - Q) / 2;
  if (hasLine[0]) {
    l.y[0] = l.a + 49;
    if (hasLine[1]) {
      l.y[1] = l.b + l.S + 53;
    } else if (hasLine[2]) {
      l.y[2] = l.b + l.S + 53;
    }
    if (n == 3) {
      // The third line moves up by how much smaller the secondary size is,
      // scaled by the secondary size. A primary size of 0 or less has no
      // such ratio; the line then stays where the band puts it.
      int t = P > 0 ? static_cast<int>(Q - static_cast<double>(Q) * Q / P) : 0;
      l.y[2] = l.b + 2 * l.S + 57 - t;
    }
  } else {
    int first = hasLine[1] ? 1 : 2;
    l.y[first] = l.b + 49;
    if (first == 1 && hasLine[2]) l.y[2] = l.b + l.S + 53;
  }
  return l;
}

}  // namespace vexa::imgutil
