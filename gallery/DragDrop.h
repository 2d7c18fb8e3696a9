// The gallery's drag-and-drop and clipboard formats. Photos leave a gallery
// as our own format (the sending gallery's token and the photo ids in
// display order), as a list of file URLs and as the copied-files list file
// managers read, with the preferred drop effect "copy"; they come in as
// moves within a gallery, as files from another gallery, or (when the host
// enables it) as files from the desktop.
#pragma once

#include <QByteArray>
#include <QMimeData>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "gallery/GalleryExport.h"

namespace vexa::gallery {

class CPhotoList;

// "Gallery CF": the sending gallery's token, the count and the ids,
// little-endian 32-bit (the token 64-bit).
VEXATHUMGALLERY_API extern const char* const kGalleryFormat;
// A photo's attributes block: the ten 32-bit numbers of a TPhotoAttributes,
// followed, when a window goes with it, by that window's 64-bit token.
VEXATHUMGALLERY_API extern const char* const kPhotoAttributesFormat;
// Where a drag came from: a 32-bit zero, then the 64-bit token of a window.
VEXATHUMGALLERY_API extern const char* const kLocationFormat;
// The shell's preferred drop effect, under its registered name.
VEXATHUMGALLERY_API extern const char* const kPreferredDropEffectFormat;
// The copied-files list of the desktop's file managers.
VEXATHUMGALLERY_API extern const char* const kCopiedFilesFormat;
// The most bytes a file list may take: every path with a terminator, and
// one more terminator.
inline constexpr std::size_t kFileListLimit = 65536;

// What a drag says about one photo, as ten little-endian 32-bit numbers.
struct TPhotoAttributes {
  std::int32_t id = 0;
  std::int32_t copies = 0;
  std::int32_t width = 0;   // the photo's cell
  std::int32_t height = 0;
  std::int32_t sourceType = 0;
  std::int32_t selected = 0;
  std::int32_t visible = 0;
  std::int32_t saved = 0;
  std::int32_t filtered = 0;
  std::int32_t downloaded = 0;
  bool operator==(const TPhotoAttributes&) const = default;
};
inline constexpr int kPhotoAttributesBytes = 40;

// The token of a window in the blocks: it is compared, never used to reach
// the window, so a receiver can tell its own windows from others.
VEXATHUMGALLERY_API std::uint64_t WindowToken(const void* window);

// Offers a photo's attributes block (with the window's token when a window
// is given); false, and nothing offered, when offer is false.
VEXATHUMGALLERY_API bool PhotoAttr(QMimeData* data, const TPhotoAttributes& attributes, const void* window,
                                   bool offer);
// False for a block of another length; *window is 0 when none came with it.
VEXATHUMGALLERY_API bool DecodePhotoAttr(const QByteArray& block, TPhotoAttributes* attributes,
                                         std::uint64_t* window);
// Offers the location block of a window.
VEXATHUMGALLERY_API bool LocnList(QMimeData* data, const void* window);
VEXATHUMGALLERY_API bool DecodeLocation(const QByteArray& block, std::uint64_t* window);

VEXATHUMGALLERY_API QByteArray EncodeGalleryFormat(std::uint64_t token, const std::vector<int>& ids);
// False for a block that is not whole.
VEXATHUMGALLERY_API bool DecodeGalleryFormat(const QByteArray& data, std::uint64_t* token,
                                             std::vector<int>* ids);
// The leading paths that fit the file-list limit (a path that does not fit
// ends the list; nothing is ever written past it).
VEXATHUMGALLERY_API std::vector<std::string> FileListWithin(const std::vector<std::string>& paths,
                                                            std::size_t limit = kFileListLimit);
// The packed list: each path and a NUL, then one more NUL.
VEXATHUMGALLERY_API std::string PackFileList(const std::vector<std::string>& paths);
// Puts the file list (URLs, copied files, the preferred effect) on mime data.
VEXATHUMGALLERY_API void SetFileList(QMimeData* data, const std::vector<std::string>& paths);
// The local file paths a mime data carries, in order.
VEXATHUMGALLERY_API std::vector<std::string> FileListOf(const QMimeData* data);
// Whether a path's extension is one of the filter's ("*.jpg;*.bmp"),
// compared without case.
VEXATHUMGALLERY_API bool MatchesFilter(const std::string& path, const std::string& filter);
// The supported-file filter of the product key, or the built-in one.
VEXATHUMGALLERY_API std::string SupportedFileFilter();

// The formats a gallery accepts from the clipboard (mime types).
class VEXATHUMGALLERY_API CCFHandler {
 public:
  void AddFormat(const std::string& mimeType) { m_formats.insert(mimeType); }
  // Whether the data (the clipboard when null) holds an accepted format.
  bool CanPaste(const QMimeData* data = nullptr) const;
  // The files of the clipboard's file list (of data, when given), announced
  // on "OpenDragFiles" (a CParamNameStr: the length of the packed list, the
  // number of files and the list, each path and a NUL and one more NUL).
  // Nothing is announced for an empty list.
  std::vector<std::string> PasteFiles(const QMimeData* data = nullptr) const;

 private:
  std::set<std::string> m_formats;
};

}  // namespace vexa::gallery
