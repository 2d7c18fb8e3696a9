#include "uicommon/common/Placement.h"

#include <cstring>

namespace vexa::ui {

CPlacement::CPlacement() = default;

CPlacement::CPlacement(int id, int left, int top, int width, int height, double e1, double e2,
                       double e3, double e4, int extra, TRotation rotation, TType type,
                       CText* caption)
    : m_id(id),
      m_left(left),
      m_top(top),
      m_width(width),
      m_height(height),
      m_edge{e1, e2, e3, e4},
      m_extra(extra),
      m_rotation(rotation),
      m_type(type) {
  if (caption) m_caption = *caption;
}

CPlacement::CPlacement(const CPlacement& other) = default;
CPlacement::~CPlacement() = default;

CPlacement& CPlacement::operator=(const CPlacement& other) {
  if (this == &other) return *this;
  m_id = other.m_id;
  m_left = other.m_left;
  m_top = other.m_top;
  m_width = other.m_width;
  m_height = other.m_height;
  for (int i = 0; i < 4; ++i) m_edge[i] = other.m_edge[i];
  m_extra = other.m_extra;
  m_rotation = other.m_rotation;
  m_type = other.m_type;
  m_caption = other.m_caption;
  return *this;
}

void CPlacement::ConvertToPortrait(int extent) {
  const int left = extent - m_top - m_height;
  m_top = m_left;
  m_left = left;
  std::swap(m_width, m_height);
  const double e[4] = {m_edge[0], m_edge[1], m_edge[2], m_edge[3]};
  m_edge[0] = e[3];
  m_edge[1] = e[2];
  m_edge[2] = e[0];
  m_edge[3] = e[1];
  m_rotation = RotatePlus90(m_rotation);
}

const char* EUnits2String(EUnits units) {
  switch (units) {
    case UNITS_MM: return "UNITS_MM";
    case UNITS_CM: return "UNITS_CM";
    case UNITS_PIXELS: return "UNITS_PIXELS";
    default: return "UNITS_INCHES";
  }
}

EUnits String2EUnits(const char* text) {
  if (!text) return UNITS_INCHES;
  if (std::strcmp(text, "UNITS_MM") == 0) return UNITS_MM;
  if (std::strcmp(text, "UNITS_CM") == 0) return UNITS_CM;
  if (std::strcmp(text, "UNITS_PIXELS") == 0) return UNITS_PIXELS;
  return UNITS_INCHES;
}

EUnits UserString2EUnits(const std::string&) { return UNITS_INCHES; }

const char* TRotation2String(TRotation rotation) {
  switch (static_cast<int>(rotation)) {
    case PLUS_90: return "PLUS_90";
    case PLUS_180: return "PLUS_180";
    case PLUS_270: return "PLUS_270";
    default: return "ZERO";
  }
}

TRotation String2TRotation(const char* text) {
  if (!text) return ZERO;
  if (std::strcmp(text, "PLUS_90") == 0) return PLUS_90;
  if (std::strcmp(text, "PLUS_180") == 0) return PLUS_180;
  if (std::strcmp(text, "PLUS_270") == 0) return PLUS_270;
  return ZERO;
}

TRotation RotatePlus90(TRotation r) {
  switch (static_cast<int>(r)) {
    case ZERO: return PLUS_90;
    case PLUS_90: return PLUS_180;
    case PLUS_180: return PLUS_270;
    default: return ZERO;
  }
}

TRotation RotateMinus90(TRotation r) {
  switch (static_cast<int>(r)) {
    case ZERO: return PLUS_270;
    case PLUS_90: return ZERO;
    case PLUS_180: return PLUS_90;
    case PLUS_270: return PLUS_180;
    default: return ZERO;
  }
}

TRotation RotatePlus180(TRotation r) {
  switch (static_cast<int>(r)) {
    case ZERO: return PLUS_180;
    case PLUS_90: return PLUS_270;
    case PLUS_180: return ZERO;
    case PLUS_270: return PLUS_90;
    default: return ZERO;
  }
}

}  // namespace vexa::ui
