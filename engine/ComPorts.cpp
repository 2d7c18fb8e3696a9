#include "engine/ComPorts.h"

#include "engine/DriveSession.h"
#include "engine/Storyboard.h"
#include "idl/vexasdk.h"

namespace vexa::engine {

using com::Bstr;
using com::ComPtr;

namespace {

// The thread's error description, taken ("" when there is none).
std::string TakeWhy() {
  const com::ErrorText e = com::TakeError();
  return e.present ? e.Utf8Description() : std::string();
}

// hr's success, or false with the component's text in *why.
bool Check(HRESULT hr, std::string* why) {
  if (SUCCEEDED(hr)) return true;
  *why = TakeWhy();
  return false;
}

Bstr Text(const std::string& s) { return Bstr::FromUtf8(s); }

HRESULT WriteStill(ISeqOfStillImage* list, const AlbumStill& s) {
  ComPtr<IStillImage> item;
  if (FAILED(list->AddStillImage(item.Put())) || !item) return E_FAIL;
  if (FAILED(item->put_originalFilename(Text(s.originalFilename).Get()))) return E_FAIL;
  if (!s.title.empty() && FAILED(item->put_title(Text(s.title).Get()))) return E_FAIL;
  if (FAILED(item->put_destCTime(VariantDate(s.destCTime))) || FAILED(item->put_identifier(Text(s.identifier).Get())) ||
      FAILED(item->put_height(s.height)) || FAILED(item->put_width(s.width)) ||
      FAILED(item->put_isTitleStill(s.isTitleStill ? VARIANT_TRUE : VARIANT_FALSE)) ||
      FAILED(item->put_destSizingBehavior(s.sizing == values::kCropPicture ? VEXAXMLPictureClip : VEXAXMLPictureResize))) {
    return E_FAIL;
  }
  if ((s.rotate == 0 || s.rotate == 90 || s.rotate == 180 || s.rotate == 270) && FAILED(item->put_destRotate(s.rotate))) {
    return E_FAIL;
  }
  // Each path as the disc holds it, in its own tree: a disc without a
  // Joliet tree leaves the Joliet original empty.
  if (FAILED(item->put_discOriginalJolietFilename(Text(s.discOriginalJoliet).Get())) ||
      FAILED(item->put_discOriginal9660Filename(Text(s.discOriginalIso).Get())) ||
      FAILED(item->put_albumOriginal9660Filename(Text("/ALBUMS/ALBUM_A/ORIGINAL/" + s.albumOriginalName).Get())) ||
      FAILED(item->put_albumOriginalJolietFilename(Text("/ALBUMS/ALBUM_A/ORIGINAL/" + s.albumOriginalName).Get())) ||
      FAILED(item->put_albumFullRes9660Filename(Text("/ALBUMS/ALBUM_A/" + s.discName).Get())) ||
      FAILED(item->put_albumFullResJolietFilename(Text("/ALBUMS/ALBUM_A/" + s.discName).Get())) ||
      FAILED(item->put_odOriginalFilename(Text("ORIGINAL/" + s.isoName).Get())) ||
      FAILED(item->put_odFullResFilename(Text("CONTENT/" + s.discName).Get())) ||
      FAILED(item->put_odWebResFilename(Text("LOWRES/640X640/" + s.discName).Get())) ||
      FAILED(item->put_odThumbResFilename(Text("LOWRES/160X160/" + s.discName).Get()))) {
    return E_FAIL;
  }
  return S_OK;
}

HRESULT WriteAudio(ISeqOfAudio* list, const AudioRecord& a) {
  ComPtr<IAudio> item;
  if (FAILED(list->AddAudio(item.Put())) || !item || FAILED(item->put_originalFilename(Text(a.source).Get())) ||
      FAILED(item->put_destCTime(VariantDate(a.time))) || FAILED(item->put_odFullResFilename(Text(a.discPath).Get()))) {
    return E_FAIL;
  }
  return S_OK;
}

}  // namespace

// The values the storyboard works in are the interfaces', number for number.
static_assert(values::kResizePicture == VEXAResizePicture && values::kCropPicture == VEXACropPicture);
static_assert(values::kNtsc == VEXATVNTSC && values::kFilm == VEXATVFILM && values::kPal == VEXATVPAL &&
              values::kSecam == VEXATVSECAM);
static_assert(values::kIso9660 == VEXAFSISO9660 && values::kJoliet == VEXAFSJOLIET &&
              values::kFileSystemDefault == VEXAFSDefault && values::kUdf15 == VEXAFSUDF15);
static_assert(values::kLetter == VEXAPaperSizeLetter && values::kA4 == VEXAPaperSizeA4);
static_assert(values::kLetter == VEXAXMLPaperSizeLetter && values::kA4 == VEXAXMLPaperSizeA4);
static_assert(values::kNtsc == VEXAXMLTVNTSC && values::kSecam == VEXAXMLTVSECAM);
static_assert(values::kOriginalResolution == VEXAXMLStillImageOriginalResolution &&
              values::kAlbumResolution == VEXAXMLStillImageAlbumResolution &&
              values::kWebResolution == VEXAXMLStillImageWebResolution &&
              values::kThumbResolution == VEXAXMLStillImageThumbResolution);
static_assert(Storyboard::kMaxStills == kVEXAEngineMaxStills);
static_assert(caps::kCDDA == VEXACapCDDA && caps::kCDR == VEXACapCDR && caps::kWriteTAO == VEXACapWriteTAO);
static_assert(static_cast<LONG>(DiscKind::kROM) == VEXADiscTypeROM && static_cast<LONG>(DiscKind::kR) == VEXADiscTypeR &&
              static_cast<LONG>(DiscKind::kRW) == VEXADiscTypeRW &&
              static_cast<LONG>(DiscKind::kNotCd) == VEXADiscTypeNotCD);

// ---- The album ------------------------------------------------------------------------

ComAlbum::ComAlbum(ComPtr<IStillsSlideShow1> album, ComPtr<IStillsSlideShow1XML> mapper,
                   ComPtr<ISeqOfStillImage> stills, ComPtr<ISeqOfAudio> audios, ComPtr<ITitleSlide> titleSlide)
    : album_(std::move(album)),
      mapper_(std::move(mapper)),
      stills_(std::move(stills)),
      audios_(std::move(audios)),
      titleSlide_(std::move(titleSlide)) {}

bool ComAlbum::PutStillDelay(LONG seconds, std::string* why) { return Check(album_->put_stillDelay(seconds), why); }

bool ComAlbum::PutStillTitleVisibleTime(LONG seconds, std::string* why) {
  return Check(album_->put_stillTitleVisibleTime(seconds), why);
}

bool ComAlbum::PutTVSystem(LONG system, std::string* why) {
  return Check(album_->put_tvSystem(static_cast<VEXAXMLTVSystem>(system)), why);
}

bool ComAlbum::PutPaperSize(LONG paperSize, std::string* why) {
  return Check(album_->put_paperSize(static_cast<VEXAXMLPaperSize>(paperSize)), why);
}

bool ComAlbum::PutTitleLine(int line, const std::string& text, std::string* why) {
  if (!titleSlide_) return true;
  const Bstr value = Text(text);
  ITitleSlide* slide = titleSlide_.Get();
  const HRESULT hr = line == 1 ? slide->put_line1(value.Get())
                               : line == 2 ? slide->put_line2(value.Get()) : slide->put_line3(value.Get());
  return Check(hr, why);
}

bool ComAlbum::AddAudio(const AudioRecord& audio, std::string* why) { return Check(WriteAudio(audios_.Get(), audio), why); }

bool ComAlbum::AddStill(const AlbumStill& still, std::string* why) { return Check(WriteStill(stills_.Get(), still), why); }

bool ComAlbum::RebuildAudios(const AudioRecord* audios, std::size_t count) {
  if (!audios_) return false;
  audios_->Clear();
  for (std::size_t i = 0; i < count; ++i) {
    if (FAILED(WriteAudio(audios_.Get(), audios[i]))) return false;
  }
  return true;
}

bool ComAlbum::RebuildStills(const AlbumStill* stills, std::size_t count) {
  if (!stills_) return false;
  stills_->Clear();
  for (std::size_t i = 0; i < count; ++i) {
    if (FAILED(WriteStill(stills_.Get(), stills[i]))) return false;
  }
  return true;
}

HRESULT ComAlbum::StoreToFile(const std::string& file) { return mapper_->storeToFile(Text(file).Get(), album_.Get()); }

// ---- The picture tools --------------------------------------------------------------------

ComStillTools::ComStillTools(com::ComPtr<IVEXAImgUtil> util, const RecordRoutines& records)
    : util_(std::move(util)), records_(records) {
  if (util_ && util_->QueryInterface(IID_IVEXAImgUtilNative, native_.PutVoid()) != S_OK) native_.Reset();
}

bool ComStillTools::GetStillInfo(const std::string& file, PictureInfo* out, std::string* why) {
  Bstr name, shortName, ext;
  return Check(util_->GetStillInfo(Text(file).Get(), name.Out(), shortName.Out(), ext.Out(), &out->type, &out->width,
                                   &out->height),
               why);
}

bool ComStillTools::IsSupportedInput(LONG type, bool* supported, std::string* why) {
  VARIANT_BOOL answer = VARIANT_FALSE;
  if (!Check(util_->isSupportedStillInputFormat(type, &answer), why)) return false;
  *supported = answer == VARIANT_TRUE;
  return true;
}

bool ComStillTools::CreateDerivatives(const std::string& original, LONG rotateDegrees, const std::string& albumFile,
                                      const std::string& thumbFile, LONG thumbBox, const std::string& webFile,
                                      LONG webBox, Derivatives* out, std::string* why) {
  VARIANT_BOOL ar = VARIANT_FALSE, tr = VARIANT_FALSE, wr = VARIANT_FALSE;
  if (!Check(util_->CreateStillDerivatives(Text(original).Get(), rotateDegrees, Text(albumFile).Get(),
                                           Text(thumbFile).Get(), thumbBox, thumbBox, Text(webFile).Get(), webBox,
                                           webBox, &ar, &out->albumWidth, &out->albumHeight, &tr, &out->thumbWidth,
                                           &out->thumbHeight, &wr, &out->webWidth, &out->webHeight),
             why)) {
    return false;
  }
  out->albumMade = ar == VARIANT_TRUE;
  out->thumbMade = tr == VARIANT_TRUE;
  out->webMade = wr == VARIANT_TRUE;
  return true;
}

bool ComStillTools::ResizeStill(const std::string& source, const std::string& destination, LONG width, LONG height,
                                std::string* why) {
  return Check(util_->ResizeStill(Text(source).Get(), Text(destination).Get(), VARIANT_FALSE, width, height,
                                  VARIANT_FALSE, VARIANT_FALSE, 0, 0, 0),
               why);
}

bool ComStillTools::CropStill(const std::string& source, const std::string& destination, LONG left, LONG top,
                              LONG right, LONG bottom, std::string* why) {
  return Check(util_->CropStill(Text(source).Get(), Text(destination).Get(), left, top, right, bottom), why);
}

bool ComStillTools::CreateTitleStill(const std::array<std::string, 3>& lines, const std::string& file, bool ntsc) {
  return SUCCEEDED(util_->Create3LineTitleStill(Text(lines[0]).Get(), Text(lines[1]).Get(), Text(lines[2]).Get(),
                                                Text(file).Get(), Bstr(u"Times New Roman").Get(), 0, 22, 18,
                                                ntsc ? VARIANT_TRUE : VARIANT_FALSE));
}

bool ComStillTools::StoreRecord(const std::string& jpegFile, const std::string& identifier, LONG resolution,
                                std::string* why) {
  return SUCCEEDED(records_.storeRecord(jpegFile, identifier, resolution, why));
}

bool ComStillTools::RecordBytes(const std::string& identifier, LONG resolution, std::string* bytes,
                                std::string* why) {
  return SUCCEEDED(records_.recordBytes(identifier, resolution, bytes, why));
}

bool ComStillTools::CreateDerivativesWithRecords(const std::string& original, LONG rotateDegrees,
                                                 const std::string& albumFile, const std::string& albumRecord,
                                                 const std::string& thumbFile, const std::string& thumbRecord,
                                                 LONG thumbBox, const std::string& webFile,
                                                 const std::string& webRecord, LONG webBox, LONG keepLongSide,
                                                 Derivatives* out, std::string* why) {
  VARIANT_BOOL ar = VARIANT_FALSE, tr = VARIANT_FALSE, wr = VARIANT_FALSE;
  if (!Check(native_->CreateStillDerivativesWithComments(
                 Text(original).Get(), rotateDegrees, Text(albumFile).Get(), Text(thumbFile).Get(), thumbBox,
                 thumbBox, Text(webFile).Get(), webBox, webBox, albumRecord.c_str(), thumbRecord.c_str(),
                 webRecord.c_str(), keepLongSide, &ar, &out->albumWidth, &out->albumHeight, &tr, &out->thumbWidth,
                 &out->thumbHeight, &wr, &out->webWidth, &out->webHeight),
             why)) {
    return false;
  }
  out->albumMade = ar == VARIANT_TRUE;
  out->thumbMade = tr == VARIANT_TRUE;
  out->webMade = wr == VARIANT_TRUE;
  return true;
}

bool ComStillTools::CopyWithRecord(const std::string& source, const std::string& destination,
                                   const std::string& record, bool* copied, std::string* why) {
  VARIANT_BOOL done = VARIANT_FALSE;
  if (!Check(native_->CopyJpegWithComment(Text(source).Get(), Text(destination).Get(), record.c_str(), &done), why)) {
    return false;
  }
  *copied = done == VARIANT_TRUE;
  return true;
}

bool ComStillTools::NewIdentifier(std::string* out) {
  GUID g{};
  if (FAILED(CoCreateGuid(&g))) return false;
  *out = records_.guidText(g);
  return true;
}

}  // namespace vexa::engine
