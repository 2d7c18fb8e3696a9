#include "disclib/recorder/SectorBuild.h"

#include <cstring>

#include "disclib/recorder/CdrUtil.h"
#include "disclib/recorder/EdcEcc.h"
#include "disclib/recorder/I_CDRClass.h"

namespace discpak {

void CompleteDataSector(BYTE* s, LONG address, LONG type) {
  s[0] = 0;
  std::memset(s + 1, 0xFF, 10);
  s[11] = 0;
  LBAToMSFBCD(address, s + 12);
  s[15] = type == CDR_TRACK_MODE1 ? 1 : 2;
  switch (type) {
    case CDR_TRACK_MODE1:
      std::memset(s + 2068, 0, 8);
      CalcEDC(s, EDCTable(), CDFORM_MODE1);
      CalcECC_P(CDFORM_MODE1, s);
      CalcECC_Q(CDFORM_MODE1, s);
      break;
    case CDR_TRACK_MODE2_FORM1:
      CalcEDC(s, EDCTable(), CDFORM_MODE2_FORM1);
      CalcECC_P(CDFORM_MODE2_FORM1, s);
      CalcECC_Q(CDFORM_MODE2_FORM1, s);
      break;
    case CDR_TRACK_MODE2_FORM2:
      CalcEDC(s, EDCTable(), CDFORM_MODE2_FORM2);
      break;
    default:
      break;
  }
}

void EmptySector(BYTE* s, LONG address, LONG type) {
  std::memset(s, 0, 2352);
  if (type == CDR_TRACK_AUDIO) return;
  if (type == CDR_TRACK_MODE2_FORM2) s[18] = s[22] = 0x20;
  CompleteDataSector(s, address, type);
}

}  // namespace discpak
