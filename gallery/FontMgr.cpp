#include "gallery/FontMgr.h"

#include <atomic>

#include "uicommon/common/Settings.h"

namespace vexa::gallery {

using namespace vexa::ui;

CFontMgrInterface::~CFontMgrInterface() = default;
CFontMgr::CFontMgr() = default;
CFontMgr::~CFontMgr() = default;

namespace {

struct RoleRow {
  ValueId face, height;
  const char* otherFace;
  int otherHeight;
  const char* koreanFace;
  int koreanHeight;
};

// Roles 0-5 and 7-10; role 6 and every other role use the last row.
const RoleRow kRoles[] = {
    {Font_CaptionEditFace, Font_CaptionEditHeight, "Arial", -11, "굴림", -13},
    {Font_CaptionPrintFace, Font_CaptionPrintHeight, "Times New Roman", 12, "바탕", 12},
    {Font_ComboBoxFace, Font_ComboBoxHeight, "Arial", -11, "굴림", -13},
    {Font_EditFilenameFace, Font_EditFilenameHeight, "Arial", -11, "굴림", -13},
    {Font_EditMonoFace, Font_EditMonoHeight, "Courier New", -11, "굴림", -13},
    {Font_EditReadoutFace, Font_EditReadoutHeight, "Arial", -11, "굴림", -13},
    {Font_GeneralFace, Font_GeneralHeight, "Arial", -13, "굴림", -13},  // 6: general
    {Font_IndexPrintFace, Font_IndexPrintHeight, "Arial", 12, "돋움", 12},
    {Font_SizeAndCopiesFace, Font_SizeAndCopiesHeight, "Arial", -11, "굴림", -13},
    {Font_CamThumbnailFace, Font_CamThumbnailHeight, "Arial", -11, "돋움", -11},
    {Font_SaveThumbnailFace, Font_SaveThumbnailHeight, "Arial", -11, "굴림", -13},
};
const RoleRow& Row(int role) { return (role >= 0 && role <= 10) ? kRoles[role] : kRoles[6]; }
const char* JapaneseFace(int role) { return role == 1 ? "MS P明朝" : "MS Pゴシック"; }

}  // namespace

CFontSpec CFontMgr::DefaultSpec(int role, const std::string& language) {
  const RoleRow& r = Row(role);
  if (language == "japanese") return CFontSpec(JapaneseFace(role), 12);
  if (language == "korean") return CFontSpec(r.koreanFace, r.koreanHeight);
  return CFontSpec(r.otherFace, r.otherHeight);
}

CFontSpec CFontMgr::FontSpecForRole(int role) {
  const RoleRow& r = Row(role);
  const CFontSpec d = DefaultSpec(role, KviGetLanguage());
  return CFontSpec(GetStrValue(r.face, d.m_face), GetIntValue(r.height, d.m_height));
}

HFONT CFontMgr::FontForRole(int role) { return GetFont(FontSpecForRole(role)); }

CFontMgr& TheFontMgr() {
  static std::atomic<int> callers{0};
  static CFontMgr manager;
  ++callers;
  return manager;
}

}  // namespace vexa::gallery
