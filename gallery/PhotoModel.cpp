#include "gallery/PhotoModel.h"

#include <algorithm>

#include "gallery/Params.h"
#include "uicommon/common/Settings.h"

namespace vexa::gallery {

using namespace vexa::ui;

CParamInt::~CParamInt() = default;
CParamString::~CParamString() = default;
CParamNameStr::~CParamNameStr() = default;
CParamCameraStatus::~CParamCameraStatus() = default;

namespace {
const char* const kChannels[] = {"ChangeCopies",   "ChangeFilenameAttribute", "ChangeSourcenameAttribute",
                                 "PropertiesChanged", "SourceType",          "ProtectImageInCameraStatus",
                                 "UnProtectImageInCameraStatus"};
}  // namespace

CPhotoAttributes::CPhotoAttributes(int id, QSize size)
    : m_size1(size), m_size2(size), m_size3(size), m_id(id), m_subscribed(true) {
  for (const char* channel : kChannels) AddListener(channel, this);
}

CPhotoAttributes::CPhotoAttributes(const CPhotoAttributes& o)
    : CListener(),
      m_copies(o.m_copies),
      m_size1(o.m_size1),
      m_size2(o.m_size2),
      m_size3(o.m_size3),
      m_caption(o.m_caption),
      m_captionText(o.m_captionText),
      m_selected(o.m_selected),
      m_visible(o.m_visible),
      m_sourceType(o.m_sourceType),
      m_sourceName(o.m_sourceName),
      m_fileName(o.m_fileName),
      m_shortName(o.m_shortName),
      m_extension(o.m_extension),
      m_exifDate(o.m_exifDate),
      m_exifDateRead(o.m_exifDateRead),
      m_fileSize(o.m_fileSize),
      m_lastWrite(o.m_lastWrite),
      m_filtered(o.m_filtered),
      m_fromViewer(o.m_fromViewer),
      m_protected(o.m_protected),
      m_downloaded(o.m_downloaded),
      m_id(o.m_id),
      m_refCt(o.m_refCt),
      m_saved(o.m_saved) {
  if (o.m_thumbnail) m_thumbnail = std::make_unique<CDDB>(*o.m_thumbnail, true);
}

CPhotoAttributes::~CPhotoAttributes() {
  if (m_subscribed)
    for (const char* channel : kChannels) RemoveListener(channel, this);
}

void CPhotoAttributes::Thumbnail(CDDB& source) { m_thumbnail = std::make_unique<CDDB>(source, true); }

void CPhotoAttributes::IsSaved(bool saved) {
  m_saved = saved;
  if (saved && m_sourceType == 3) m_sourceType = 0;
  CParameter p(m_id);
  Broadcast("PhotoDirtyChange", &p);
}

void CPhotoAttributes::Receive(std::string channel, CParameter* param) {
  if (!param || param->PhotoId() != m_id) return;
  if (channel == "ChangeCopies") {
    if (auto* p = dynamic_cast<CParamInt*>(param); p && p->Value() != m_copies) {
      m_copies = p->Value();
      Broadcast("Copies", p);
    }
  } else if (channel == "ChangeFilenameAttribute") {
    if (auto* p = dynamic_cast<CParamString*>(param); p && p->Text() != m_fileName) m_fileName = p->Text();
  } else if (channel == "ChangeSourcenameAttribute") {
    if (auto* p = dynamic_cast<CParamString*>(param); p && p->Text() != m_sourceName) m_sourceName = p->Text();
  } else if (channel == "PropertiesChanged") {
    const int copies = GetIntValue(CameraDownload_Copies, 1);
    if (copies != m_copies) {
      m_copies = copies;
      CParamInt p(m_id, copies);
      Broadcast("Copies", &p);
    }
  } else if (channel == "SourceType") {
    if (auto* p = dynamic_cast<CParamInt*>(param)) m_sourceType = p->Value();
  } else if (channel == "ProtectImageInCameraStatus") {
    if (auto* p = dynamic_cast<CParamCameraStatus*>(param); p && p->Status() == 0) m_protected = true;
  } else if (channel == "UnProtectImageInCameraStatus") {
    if (auto* p = dynamic_cast<CParamCameraStatus*>(param); p && p->Status() == 0) m_protected = false;
  }
}

// ---- CPhotoList ---------------------------------------------------------------------

CPhotoList::CPhotoList() = default;
CPhotoList::~CPhotoList() = default;
CPhotoList::CPhotoList(const CPhotoList& other) { *this = other; }

CPhotoList& CPhotoList::operator=(const CPhotoList& other) {
  if (this == &other) return *this;
  m_photos.clear();
  for (const auto& [id, rec] : other.m_photos) m_photos[id] = std::make_unique<CPhotoAttributes>(*rec);
  return *this;
}

void CPhotoList::AddPhoto(int id, QSize size) { m_photos[id] = std::make_unique<CPhotoAttributes>(id, size); }
void CPhotoList::DeletePhoto(int id) { m_photos.erase(id); }

CPhotoAttributes* CPhotoList::Attributes(int id) const {
  auto found = m_photos.find(id);
  return found == m_photos.end() ? nullptr : found->second.get();
}

bool CPhotoList::IsSelected(int id) const { auto* a = Attributes(id); return a && a->m_selected; }
bool CPhotoList::IsVisible(int id) const { auto* a = Attributes(id); return a && a->m_visible; }
bool CPhotoList::IsFiltered(int id) const { auto* a = Attributes(id); return a && a->m_filtered; }
bool CPhotoList::IsSaved(int id) const { auto* a = Attributes(id); return a && a->IsSaved(); }
bool CPhotoList::IsProtected(int id) const { auto* a = Attributes(id); return a && a->m_protected; }

void CPhotoList::Select(int id, bool on) {
  if (auto* a = Attributes(id)) a->m_selected = on;
}
void CPhotoList::SetFiltered(int id, bool on) {
  if (auto* a = Attributes(id)) a->m_filtered = on;
}
void CPhotoList::SetSaved(int id, bool on) {
  if (auto* a = Attributes(id)) a->IsSaved(on);
}
int CPhotoList::RefCt(int id) const {
  auto* a = Attributes(id);
  return a ? a->RefCt() : -1;
}
void CPhotoList::RefCtInc(int id) {
  if (auto* a = Attributes(id)) a->RefCtInc();
}
void CPhotoList::RefCtDec(int id) {
  if (auto* a = Attributes(id)) a->RefCtDec();
}

int CPhotoList::NumberSelected() const {
  int n = 0;
  for (const auto& [id, a] : m_photos) n += a->m_selected;
  return n;
}
int CPhotoList::NumberVisible() const {
  int n = 0;
  for (const auto& [id, a] : m_photos) n += a->m_visible;
  return n;
}
int CPhotoList::NumberUnsaved() const {
  int n = 0;
  for (const auto& [id, a] : m_photos) n += a->m_visible && !a->IsSaved() && a->m_selected;
  return n;
}
void CPhotoList::SelectAll() {
  for (auto& [id, a] : m_photos) a->m_selected = true;
}
void CPhotoList::SelectNone() {
  for (auto& [id, a] : m_photos) a->m_selected = false;
}
void CPhotoList::InvertSelection() {
  for (auto& [id, a] : m_photos) a->m_selected = !a->m_selected;
}
void CPhotoList::UnselectAllButOne(int keep) {
  for (auto& [id, a] : m_photos)
    if (id != keep) a->m_selected = false;
}
int CPhotoList::GetFirstSelected() const {
  for (const auto& [id, a] : m_photos)
    if (a->m_selected) return id;
  return 0;
}
int CPhotoList::GetLastSelected() const {
  for (auto it = m_photos.rbegin(); it != m_photos.rend(); ++it)
    if (it->second->m_selected) return it->first;
  return 0;
}
std::vector<int> CPhotoList::Ids() const {
  std::vector<int> ids;
  for (const auto& [id, a] : m_photos) ids.push_back(id);
  return ids;
}

// ---- CPhotoOrder ----------------------------------------------------------------------

CPhotoOrder::CPhotoOrder() = default;
CPhotoOrder::CPhotoOrder(const CPhotoOrder&) = default;
CPhotoOrder& CPhotoOrder::operator=(const CPhotoOrder&) = default;
CPhotoOrder::~CPhotoOrder() = default;

void CPhotoOrder::Insert(int id, int beforeId) {
  auto at = std::find(m_ids.begin(), m_ids.end(), beforeId);
  m_ids.insert(at, id);
}
void CPhotoOrder::Remove(int id) {
  auto at = std::find(m_ids.begin(), m_ids.end(), id);
  if (at != m_ids.end()) m_ids.erase(at);
}
void CPhotoOrder::Move(int id, int beforeId) {
  if (id == beforeId) return;
  Remove(id);
  Insert(id, beforeId);
}
bool CPhotoOrder::Find(int id) const { return std::find(m_ids.begin(), m_ids.end(), id) != m_ids.end(); }
int CPhotoOrder::IndexOf(int id) const {
  auto at = std::find(m_ids.begin(), m_ids.end(), id);
  return at == m_ids.end() ? -1 : static_cast<int>(at - m_ids.begin());
}

}  // namespace vexa::gallery
