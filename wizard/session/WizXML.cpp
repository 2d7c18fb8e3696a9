#include "wizard/session/WizXML.h"

#include "platform/base/Path.h"
#include "wizard/common/WizUtil.h"

namespace vexa::wiz {

using vexa::com::Bstr;
using vexa::com::ComPtr;

namespace {
bool Fail(const WizServices& wiz, const char* text, bool withComError = true) {
  wiz.LogError(text, withComError);
  return false;
}

constexpr CLSCTX kContext = CLSCTX_ALL;
}  // namespace

// ---- CVexaWizStill -------------------------------------------------------------------

bool CVexaWizStill::GetStillInfo(std::string* path, std::string* title, LONG* rotation, DATE* creationTime,
                                 LONG* sizing, VARIANT_BOOL* isTitleStill) const {
  *path = m_path;
  *title = m_title;
  *rotation = m_rotation;
  *creationTime = m_creationTime;
  *sizing = m_sizing;
  *isTitleStill = m_isTitleStill;
  return true;
}

bool CVexaWizStill::GetStillPath(std::string* path) const {
  *path = m_path;
  return true;
}

bool CVexaWizStill::GetRotation(LONG* rotation) const {
  *rotation = m_rotation;
  return true;
}

// ---- CVexaWizXML ------------------------------------------------------------------------

bool CVexaWizXML::Init(const std::string& path, bool ownFormat) {
  Bstr url = Bstr::FromUtf8(path);
  if (ownFormat) {
    if (FAILED(CoCreateInstance(CLSID_StillsSlideShow1XML, nullptr, kContext, IID_IStillsSlideShow1XML,
                                m_mapper.PutVoid())))
      return Fail(m_wiz, "CVexaWizXML::Init() - Failed to create IVEXAXML::IStillsSlideShow1XML");
    if (FAILED(m_mapper->loadFromURL(url.Get(), m_album.Put()))) {
      vexa::com::TakeError();
      m_wiz.LogInfo("CVexaWizXML::Init() - Couldn't find old XML file: " + path + ".  Creating a new one.");
      if (FAILED(CoCreateInstance(CLSID_StillsSlideShow1, nullptr, kContext, IID_IStillsSlideShow1,
                                  m_album.PutVoid())))
        return Fail(m_wiz, "CVexaWizXML::Init() - Failed to create IVEXAXML::IStillsSlideShow1");
    }
  } else {
    ComPtr<IMarwickXML> marwick;
    if (FAILED(CoCreateInstance(CLSID_MarwickXML, nullptr, kContext, IID_IMarwickXML, marwick.PutVoid())))
      return Fail(m_wiz, "CVexaWizXML::Init() - Failed to create instance of Marwick XML.", false);
    if (FAILED(marwick->loadFromURL(url.Get(), m_album.Put())) || !m_album)
      return Fail(m_wiz, "CVexaWizXML::Init() - Failed to create IVEXAXML::IStillsSlideShow1 from Marwick XML file.");
  }
  // A paper size reaches the disc only when a caller sets one.
  if (!SetPaperSize(VEXAWizPaperSizeInvalid))
    m_wiz.LogError("CVexaWizXML::Init() - Failed to put IVEXAXML::put_PaperSize.", false);
  if (FAILED(m_album->get_audios(m_audios.Put())) || !m_audios)
    return Fail(m_wiz, "CVexaWizXML::Init() - Failed to get IVEXAXML::ISeqOfAudio");
  if (FAILED(m_album->get_stillImages(m_stills.Put())) || !m_stills)
    return Fail(m_wiz, "CVexaWizXML::Init() - Failed to get IVEXAXML::ISeqOfStillImage");
  return true;
}

bool CVexaWizXML::GetTVSystem(LONG* value) {
  VEXAXMLTVSystem v = VEXAXMLTVNTSC;
  if (!m_album || FAILED(m_album->get_tvSystem(&v)))
    return Fail(m_wiz, "CVexaWizXML::GetTVSystem() - IStillsSlideShow1::get_TVSystem() call failed");
  *value = v >= VEXAXMLTVNTSC && v <= VEXAXMLTVSECAM ? static_cast<LONG>(v) : VEXAWizTVINVALID;
  return true;
}

bool CVexaWizXML::SetTVSystem(LONG value) {
  const auto v = static_cast<VEXAXMLTVSystem>(MapTVSystem(value));
  if (!m_album || FAILED(m_album->put_tvSystem(v)))
    return Fail(m_wiz, "CVexaWizXML::SetTVSystem() - IStillsSlideShow1::put_TVSystem() call failed");
  return Changed();
}

bool CVexaWizXML::GetPaperSize(LONG* value) {
  VEXAXMLPaperSize v = VEXAXMLPaperSizeInvalid;
  if (!m_album || FAILED(m_album->get_paperSize(&v)))
    return Fail(m_wiz, "CVexaWizXML::GetPaperSize() - IStillsSlideShow1::get_PaperSize() call failed");
  *value = v == VEXAXMLPaperSizeLetter || v == VEXAXMLPaperSizeA4 ? static_cast<LONG>(v) : VEXAWizPaperSizeInvalid;
  return true;
}

bool CVexaWizXML::SetPaperSize(LONG value) {
  const VEXAXMLPaperSize v = value == VEXAWizPaperSizeLetter ? VEXAXMLPaperSizeLetter
                             : value == VEXAWizPaperSizeA4   ? VEXAXMLPaperSizeA4
                                                             : VEXAXMLPaperSizeInvalid;
  if (!m_album || FAILED(m_album->put_paperSize(v)))
    return Fail(m_wiz, "CVexaWizXML::SetPaperSize() - IStillsSlideShow1::put_PaperSize() call failed");
  return Changed();
}

bool CVexaWizXML::GetStillDelay(LONG* seconds) {
  if (!m_album || FAILED(m_album->get_stillDelay(seconds)))
    return Fail(m_wiz, "CVexaWizXML::GetStillDelay() - IStillsSlideShow1::get_StillDelay() call failed");
  return true;
}

bool CVexaWizXML::SetStillDelay(LONG seconds) {
  if (!m_album || FAILED(m_album->put_stillDelay(seconds)))
    return Fail(m_wiz, "CVexaWizXML::SetStillDelay() - IStillsSlideShow1::put_StillDelay() call failed");
  return Changed();
}

bool CVexaWizXML::GetStillTitleVisibleTime(LONG* seconds) {
  if (!m_album || FAILED(m_album->get_stillTitleVisibleTime(seconds)))
    return Fail(m_wiz, "CVexaWizXML::GetStillTitleVisibleTime() - IStillsSlideShow1::get_StillTitleVisibleTime() call failed");
  return true;
}

bool CVexaWizXML::SetStillTitleVisibleTime(LONG seconds) {
  if (!m_album || FAILED(m_album->put_stillTitleVisibleTime(seconds)))
    return Fail(m_wiz, "CVexaWizXML::SetStillTitleVisibleTime() - IStillsSlideShow1::put_StillTitleVisibleTime() call failed");
  return Changed();
}

bool CVexaWizXML::GetTitleLines(std::string* line1, std::string* line2, std::string* line3) {
  ComPtr<ITitleSlide> slide;
  if (!m_album || FAILED(m_album->get_titleSlide(slide.Put())) || !slide)
    return Fail(m_wiz, "CVexaWizXML::GetTitleLines() - IStillsSlideShow1() call failed");
  Bstr b;
  if (FAILED(slide->get_line1(b.Out()))) return Fail(m_wiz, "CVexaWizXML::GetTitleLines() - ITitleSlide::get_Line1() call failed");
  *line1 = b.Utf8();
  if (FAILED(slide->get_line2(b.Out()))) return Fail(m_wiz, "CVexaWizXML::GetTitleLines() - ITitleSlide::get_Line2() call failed");
  *line2 = b.Utf8();
  if (FAILED(slide->get_line3(b.Out()))) return Fail(m_wiz, "CVexaWizXML::GetTitleLines() - ITitleSlide::get_Line3() call failed");
  *line3 = b.Utf8();
  return true;
}

bool CVexaWizXML::SetTitleLines(const std::string& line1, const std::string& line2, const std::string& line3) {
  ComPtr<ITitleSlide> slide;
  if (!m_album || FAILED(m_album->get_titleSlide(slide.Put())) || !slide)
    return Fail(m_wiz, "CVexaWizXML::SetTitleLines() - IStillsSlideShow1() call failed");
  if (FAILED(slide->put_line1(Bstr::FromUtf8(line1).Get())))
    return Fail(m_wiz, "CVexaWizXML::SetTitleLines() - ITitleSlide::put_Line1() call failed");
  if (FAILED(slide->put_line2(Bstr::FromUtf8(line2).Get())))
    return Fail(m_wiz, "CVexaWizXML::SetTitleLines() - ITitleSlide::put_Line2() call failed");
  if (FAILED(slide->put_line3(Bstr::FromUtf8(line3).Get())))
    return Fail(m_wiz, "CVexaWizXML::SetTitleLines() - ITitleSlide::put_Line3() call failed");
  return Changed();
}

bool CVexaWizXML::ResetAudios() {
  if (!m_audios || FAILED(m_audios->Clear())) return Fail(m_wiz, "CVexaWizXML::ResetAudios() - ISeqOfAudio::Clear() call failed");
  return Changed();
}

bool CVexaWizXML::ResetStills() {
  if (!m_stills || FAILED(m_stills->Clear()))
    return Fail(m_wiz, "CVexaWizXML::ResetStills() - ISeqOfStillImage::Clear() call failed");
  return Changed();
}

bool CVexaWizXML::AddAudioTrack(const std::string& path, DATE creationTime) {
  if (!ResetAudios()) return Fail(m_wiz, "CVexaWizXML::AddAudioTrack() - CVexaWizXML::ResetAudios() call failed", false);
  ComPtr<IAudio> audio;
  if (FAILED(m_audios->AddAudio(audio.Put())) || !audio)
    return Fail(m_wiz, "CVexaWizXML::AddAudioTrack() - ISeqOfAudio::AddAudio() call failed");
  if (FAILED(audio->put_originalFilename(Bstr::FromUtf8(path).Get())))
    return Fail(m_wiz, "CVexaWizXML::AddAudioTrack() - IAudio::put_originalFilename() call failed");
  if (creationTime >= 0 && FAILED(audio->put_destCTime(creationTime)))
    return Fail(m_wiz, "CVexaWizXML::AddAudioTrack() - IAudio::put_destCTime() call failed");
  return Changed();
}

bool CVexaWizXML::GetFirstAudioTrack(std::string* path, DATE* creationTime, bool* present) {
  *present = false;
  path->clear();
  LONG count = 0;
  if (!m_audios || FAILED(m_audios->get_Count(&count)))
    return Fail(m_wiz, "CVexaWizXML::GetFirstAudioTrack() - ISeqOfAudio::get_Count() call failed");
  if (count < 1) return true;
  ComPtr<IAudio> audio;
  if (FAILED(m_audios->get_Item(1, audio.Put())) || !audio)
    return Fail(m_wiz, "CVexaWizXML::GetFirstAudioTrack() - ISeqOfAudio::get_Item() call failed");
  *present = true;
  Bstr name;
  if (FAILED(audio->get_originalFilename(name.Out())))
    return Fail(m_wiz, "CVexaWizXML::GetFirstAudioTrack() - IAudio::get_originalFilename() call failed");
  *path = name.Utf8();
  if (FAILED(audio->get_destCTime(creationTime)))
    return Fail(m_wiz, "CVexaWizXML::GetFirstAudioTrack() - IAudio::get_destCTime() call failed");
  return true;
}

bool CVexaWizXML::AddStill(const std::string& path, LONG rotation, DATE creationTime, const std::string& title,
                           LONG sizing, VARIANT_BOOL isTitleStill) {
  ComPtr<IStillImage> still;
  if (!m_stills || FAILED(m_stills->AddStillImage(still.Put())) || !still)
    return Fail(m_wiz, "CVexaWizXML::AddStill() - ISeqOfStillImage::AddStillImage call failed");
  if (!path.empty() && FAILED(still->put_originalFilename(Bstr::FromUtf8(path).Get())))
    return Fail(m_wiz, "CVexaWizXML::AddStill() - IStillImage::put_originalFilename call failed");
  if (rotation >= 0 && FAILED(still->put_destRotate(rotation)))
    return Fail(m_wiz, "CVexaWizXML::AddStill() - IStillImage::put_destRotate call failed");
  if (creationTime >= 0 && FAILED(still->put_destCTime(creationTime)))
    return Fail(m_wiz, "CVexaWizXML::AddStill() - IStillImage::put_destCTime() call failed");
  if (!title.empty() && FAILED(still->put_title(Bstr::FromUtf8(title).Get())))
    return Fail(m_wiz, "CVexaWizXML::AddStill() - IStillImage::put_title call failed");
  if (FAILED(still->put_isTitleStill(isTitleStill)))
    return Fail(m_wiz, "CVexaWizXML::AddStill() - IStillImage::put_isTitleStill call failed");
  // The picture keeps its sizing: crop is stored as clip, anything else as resize.
  const VEXAXMLPictureSizingBehavior stored =
      sizing == VEXAWizCropPicture ? VEXAXMLPictureClip : VEXAXMLPictureResize;
  if (FAILED(still->put_destSizingBehavior(stored)))
    return Fail(m_wiz, "CVexaWizXML::AddStill() - IStillImage::put_destSizingBehavior call failed");
  return Changed();
}

bool CVexaWizXML::AddStills(const VARIANT& paths, const VARIANT& rotations) {
  if (paths.vt != VT_ARRAY || rotations.vt != VT_ARRAY || !paths.parray || !rotations.parray)
    return Fail(m_wiz, "CVexaWizXML::AddStills() - Invalid variant!", false);
  VARTYPE pathType = VT_EMPTY, rotationType = VT_EMPTY;
  SafeArrayGetVartype(paths.parray, &pathType);
  SafeArrayGetVartype(rotations.parray, &rotationType);
  LONG pathLow = 0, pathHigh = -1, rotLow = 0, rotHigh = -1;
  if (pathType != VT_BSTR || (rotationType != VT_I4 && rotationType != VT_I2 && rotationType != VT_VARIANT) ||
      FAILED(SafeArrayGetLBound(paths.parray, 1, &pathLow)) || FAILED(SafeArrayGetUBound(paths.parray, 1, &pathHigh)) ||
      FAILED(SafeArrayGetLBound(rotations.parray, 1, &rotLow)) ||
      FAILED(SafeArrayGetUBound(rotations.parray, 1, &rotHigh)))
    return Fail(m_wiz, "CVexaWizXML::AddStills() - Couldn't Access safearray", false);

  StillList previous;
  if (!GetAllStills(&previous)) return Fail(m_wiz, "CVexaWizXML::AddStills() - GetAllStills() call failed", false);
  std::vector<bool> used(previous.size(), false);
  if (!ResetStills()) return Fail(m_wiz, "CVexaWizXML::AddStills() - ResetStills() call failed", false);

  for (LONG i = pathLow; i <= pathHigh; ++i) {
    BSTR raw = nullptr;
    SafeArrayGetElement(paths.parray, &i, &raw);
    const Bstr element = Bstr::Attach(raw);
    const std::string path = element.Utf8();
    // A rotation list shorter than the path list leaves the rest unturned.
    LONG rotation = 0;
    const LONG r = rotLow + (i - pathLow);
    if (r <= rotHigh) {
      vexa::com::Variant v;
      if (rotationType == VT_VARIANT) {
        SafeArrayGetElement(rotations.parray, &r, static_cast<VARIANT*>(&v));
      } else if (rotationType == VT_I2) {
        SHORT s = 0;
        SafeArrayGetElement(rotations.parray, &r, &s);
        v = vexa::com::Variant::I4(s);
      } else {
        LONG l = 0;
        SafeArrayGetElement(rotations.parray, &r, &l);
        v = vexa::com::Variant::I4(l);
      }
      if (SUCCEEDED(v.ChangeType(VT_I4))) rotation = v.lVal;
    }
    const CVexaWizStill* record = nullptr;
    for (std::size_t k = 0; k < previous.size(); ++k) {
      if (!used[k] && previous[k]->Path() == path) {
        used[k] = true;
        record = previous[k].get();
        break;
      }
    }
    std::unique_ptr<CVexaWizStill> returned;
    if (!record) {
      for (auto it = m_retired.begin(); it != m_retired.end(); ++it) {
        if ((*it)->Path() == path) {
          returned = std::move(*it);
          m_retired.erase(it);
          record = returned.get();
          break;
        }
      }
    }
    const bool ok = record ? AddStill(path, rotation, record->CreationTime(), record->Title(), record->Sizing(),
                                      record->IsTitleStill())
                           : AddStill(path, rotation, 0.0, std::string(), VEXAWizResizePicture, VARIANT_FALSE);
    if (!ok) return Fail(m_wiz, "CVexaWizXML::AddStills() - AddStill() call failed", false);
  }
  for (std::size_t k = 0; k < previous.size(); ++k) {
    if (used[k]) continue;
    m_retired.insert(m_retired.begin(), std::move(previous[k]));
  }
  // A bounded memory: the most recent drops are the ones an undo brings back.
  if (m_retired.size() > 4096) m_retired.resize(4096);
  return true;
}

bool CVexaWizXML::GetAllStills(StillList* list) {
  LONG count = 0;
  if (!m_stills || FAILED(m_stills->get_Count(&count)))
    return Fail(m_wiz, "CVexaWizXML::GetAllStills() - ISeqOfStillImage::get_Count() call failed");
  for (LONG n = 1; n <= count; ++n) {
    ComPtr<IStillImage> still;
    if (FAILED(m_stills->get_Item(n, still.Put())) || !still)
      return Fail(m_wiz, "CVexaWizXML::GetAllStills() - ISeqOfStillImage::get_Item() call failed");
    Bstr path, title;
    LONG rotation = 0;
    DATE ctime = 0;
    VEXAXMLPictureSizingBehavior sizing = VEXAXMLPictureDefault;
    VARIANT_BOOL isTitle = VARIANT_FALSE;
    if (FAILED(still->get_originalFilename(path.Out())))
      return Fail(m_wiz, "CVexaWizXML::GetStill() - IStillImage::get_originalFilename() call failed");
    if (FAILED(still->get_destRotate(&rotation)))
      return Fail(m_wiz, "CVexaWizXML::GetStill() - IStillImage::get_destRotate() call failed");
    if (FAILED(still->get_destCTime(&ctime)))
      return Fail(m_wiz, "CVexaWizXML::GetStill() - IStillImage::get_destCTime() call failed");
    if (FAILED(still->get_title(title.Out())))
      return Fail(m_wiz, "CVexaWizXML::GetStill() - IStillImage::get_title() call failed");
    if (FAILED(still->get_destSizingBehavior(&sizing)))
      return Fail(m_wiz, "CVexaWizXML::GetStill() - IStillImage::get_destSizingBehavior() call failed");
    if (FAILED(still->get_isTitleStill(&isTitle)))
      return Fail(m_wiz, "CVexaWizXML::GetStill() - IStillImage::get_isTitleStill() call failed");
    list->push_back(std::make_unique<CVexaWizStill>(path.Utf8(), title.Utf8(), rotation, ctime,
                                                    sizing == VEXAXMLPictureClip ? VEXAWizCropPicture
                                                                                 : VEXAWizResizePicture,
                                                    isTitle));
  }
  return true;
}

bool CVexaWizXML::GetImageCount(LONG* count) {
  *count = 0;
  if (!m_stills || FAILED(m_stills->get_Count(count))) {
    *count = 0;
    return Fail(m_wiz, "CVexaWizXML::GetImageCount() - ISeqOfStillImage::get_Count() call failed");
  }
  return true;
}

bool CVexaWizXML::RemoveInvalidStills() {
  StillList list;
  if (!GetAllStills(&list)) return Fail(m_wiz, "CVexaWizXML::RemoveInvalidStills - GetAllStills() call failed.", false);
  if (!ResetStills()) return Fail(m_wiz, "CVexaWizXML::RemoveInvalidStills - ResetStills() call failed.", false);
  for (const auto& s : list) {
    if (s->Path().empty() || !(base::FileExists(s->Path()) || base::DirExists(s->Path()))) continue;
    if (!AddStill(s->Path(), s->Rotation(), s->CreationTime(), s->Title(), s->Sizing(), s->IsTitleStill())) {
      m_wiz.LogError(Format("CVEXAWiz1::AddStills - AddStill call failed for path %s.", s->Path().c_str()),
                     false);
      return false;
    }
  }
  return true;
}

bool CVexaWizXML::WriteOutSessionXML(const std::string& path) {
  if (!m_mapper) return true;
  if (!m_album || FAILED(m_mapper->storeToFile(Bstr::FromUtf8(path).Get(), m_album.Get())))
    return Fail(m_wiz, "CVexaWizXML::WriteOutSessionXML() - IStillsSlideShow1XML::storeToFile() call failed");
  return true;
}

}  // namespace vexa::wiz
