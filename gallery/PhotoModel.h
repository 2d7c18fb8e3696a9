// What the gallery knows about its photos: one record per photo, the map
// from photo id to record, and the display order as a sequence of ids.
// Records listen to broadcast channels so that dialogs and camera code can
// change a photo without a pointer to it.
#pragma once

#include <QSize>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gallery/GalleryExport.h"
#include "uicommon/art/Bitmaps.h"
#include "uicommon/common/Broadcast.h"
#include "uicommon/common/Text.h"

namespace vexa::gallery {

class VEXATHUMGALLERY_API CPhotoAttributes : public ui::CListener {
 public:
  CPhotoAttributes(int id, QSize size);
  // A copy subscribes to nothing.
  CPhotoAttributes(const CPhotoAttributes& other);
  CPhotoAttributes& operator=(const CPhotoAttributes&) = delete;
  ~CPhotoAttributes() override;
  void Receive(std::string channel, ui::CParameter* param) override;

  int Id() const { return m_id; }
  int RefCt() const { return m_refCt; }
  void RefCtInc() { ++m_refCt; }
  void RefCtDec() {
    if (m_refCt > 0) --m_refCt;
  }
  bool IsSaved() const { return m_saved; }
  // Marks saved or not; a photo marked saved whose source type is 3 becomes
  // 0; announces "PhotoDirtyChange".
  void IsSaved(bool saved);
  ui::CDDB* Thumbnail() const { return m_thumbnail.get(); }
  // Keeps a keep-offline copy of the bitmap.
  void Thumbnail(ui::CDDB& source);

  // The record's fields; the gallery and its dialogs read and write them.
  int m_copies = 1;
  QSize m_size1, m_size2, m_size3;
  ui::CText m_caption;
  std::string m_captionText;  // shown and edited under the thumbnail
  bool m_selected = false;
  bool m_visible = true;
  int m_sourceType = 0;       // 1: still downloading
  std::string m_sourceName;
  std::string m_fileName;     // the full path of the photo's file
  std::string m_shortName;    // the file name with its extension
  std::string m_extension;    // with its dot
  std::string m_exifDate = "9999";  // the capture date-time text
  bool m_exifDateRead = false;      // m_exifDate was read from the file
  std::uint64_t m_fileSize = 0;
  std::int64_t m_lastWrite = 0;  // last-write time, nanoseconds
  bool m_filtered = false;
  bool m_fromViewer = false;
  bool m_protected = false;
  int m_downloaded = 0;  // set by the gallery; clear while downloading
  std::string m_problem;  // why the photo shows no picture ("" when it does)

 private:
  std::unique_ptr<ui::CDDB> m_thumbnail;
  int m_id;
  int m_refCt = 0;
  bool m_saved = false;
  bool m_subscribed = false;
};

class VEXATHUMGALLERY_API CPhotoList {
 public:
  CPhotoList();
  // Copies hold copies of the records.
  CPhotoList(const CPhotoList& other);
  CPhotoList& operator=(const CPhotoList& other);
  virtual ~CPhotoList();

  void AddPhoto(int id, QSize size);
  void DeletePhoto(int id);
  CPhotoAttributes* Attributes(int id) const;
  bool Find(int id) const { return m_photos.count(id) != 0; }
  bool IsSelected(int id) const;
  bool IsVisible(int id) const;
  bool IsFiltered(int id) const;
  bool IsSaved(int id) const;
  bool IsProtected(int id) const;
  void Select(int id, bool on);
  void SetFiltered(int id, bool on);
  void SetSaved(int id, bool on);
  int RefCt(int id) const;
  void RefCtInc(int id);
  void RefCtDec(int id);
  int NumberSelected() const;
  int NumberVisible() const;
  int NumberUnsaved() const;
  void SelectAll();
  void SelectNone();
  void InvertSelection();
  void UnselectAllButOne(int id);
  int GetFirstSelected() const;
  int GetLastSelected() const;
  int Count() const { return static_cast<int>(m_photos.size()); }
  std::vector<int> Ids() const;

 private:
  std::map<int, std::unique_ptr<CPhotoAttributes>> m_photos;
};

class VEXATHUMGALLERY_API CPhotoOrder {
 public:
  CPhotoOrder();
  CPhotoOrder(const CPhotoOrder&);
  CPhotoOrder& operator=(const CPhotoOrder&);
  virtual ~CPhotoOrder();

  void Append(int id) { m_ids.push_back(id); }
  // Before the first occurrence of beforeId; at the end when it is absent.
  void Insert(int id, int beforeId);
  void Remove(int id);
  void Move(int id, int beforeId);
  bool Find(int id) const;
  void Clear() { m_ids.clear(); }
  int Count() const { return static_cast<int>(m_ids.size()); }
  int At(int index) const { return m_ids[static_cast<std::size_t>(index)]; }
  int IndexOf(int id) const;
  const std::vector<int>& Ids() const { return m_ids; }
  std::vector<int>& MutableIds() { return m_ids; }

 private:
  std::vector<int> m_ids;
};

}  // namespace vexa::gallery
