// One placed item of a layout: where an image sits, how large it is, how it
// is turned and which caption goes with it; and the text forms of units and
// rotations with the arithmetic of quarter turns.
#pragma once

#include <string>

#include "uicommon/common/Text.h"
#include "uicommon/common/CommonExport.h"

namespace vexa::ui {

enum EUnits : int { UNITS_INCHES = 0, UNITS_MM = 1, UNITS_CM = 2, UNITS_PIXELS = 3 };

// Clockwise quarter turns.
enum TRotation : int { ZERO = 0, PLUS_90 = 1, PLUS_180 = 2, PLUS_270 = 3 };

// The kind of a placed item; stored and copied, not interpreted here.
enum TType : int {};

class VEXATHUMCOMMON_API CPlacement {
 public:
  CPlacement();
  CPlacement(int id, int left, int top, int width, int height, double e1, double e2, double e3,
             double e4, int extra, TRotation rotation, TType type, CText* caption);
  CPlacement(const CPlacement& other);
  ~CPlacement();
  CPlacement& operator=(const CPlacement& other);

  // Turns the placement a quarter turn clockwise inside an area whose height
  // before the turn is `extent`.
  void ConvertToPortrait(int extent);

  int m_id = 0;
  int m_left = 0;
  int m_top = 0;
  int m_width = 0;
  int m_height = 0;
  double m_edge[4] = {0, 0, 0, 0};  // left, right, top, bottom measures
  int m_extra = 0;
  TRotation m_rotation = ZERO;
  TType m_type = TType(0);
  CText m_caption;
};

VEXATHUMCOMMON_API const char* EUnits2String(EUnits units);
VEXATHUMCOMMON_API EUnits String2EUnits(const char* text);
VEXATHUMCOMMON_API EUnits UserString2EUnits(const std::string& text);
VEXATHUMCOMMON_API const char* TRotation2String(TRotation rotation);
VEXATHUMCOMMON_API TRotation String2TRotation(const char* text);
VEXATHUMCOMMON_API TRotation RotatePlus90(TRotation rotation);
VEXATHUMCOMMON_API TRotation RotateMinus90(TRotation rotation);
VEXATHUMCOMMON_API TRotation RotatePlus180(TRotation rotation);

}  // namespace vexa::ui
