#include "core/CoreXML.h"

namespace vexa::core {

namespace {

template <typename I>
HRESULT Create(REFCLSID clsid, ComPtr<I>* out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IidOf<I>(), out->PutVoid());
}

std::string Text(const Bstr& b) { return b.Utf8(); }

}  // namespace

bool CVexaCoreXML::Init(const std::string& albumFilePath, LONG albumFormat) {
  album_.Reset();
  audios_.Reset();
  stills_.Reset();
  if (albumFilePath.empty()) {
    if (FAILED(Create(CLSID_StillsSlideShow1, &album_))) {
      album_.Reset();
      return util_.ReportFailure("CVexaCoreXML::Init() - Failed to create IVEXAXML::IStillsSlideShow1", true);
    }
  } else if (albumFormat == VEXACoreXML) {
    ComPtr<IStillsSlideShow1XML> mapper;
    if (FAILED(Create(CLSID_StillsSlideShow1XML, &mapper))) {
      return util_.ReportFailure("CVexaCoreXML::Init() - Failed to create IVEXAXML::IStillsSlideShow1XML", true);
    }
    Bstr path = Bstr::FromUtf8(albumFilePath);
    if (FAILED(mapper->loadFromURL(path.Get(), album_.Put())) || !album_) {
      album_.Reset();
      return util_.ReportFailure("CVexaCoreXML::Init() - IVEXAXML::LoadFromURL() call failed.", true);
    }
  } else if (albumFormat == VEXACoreCueXML) {
    ComPtr<IMarwickXML> mapper;
    if (FAILED(Create(CLSID_MarwickXML, &mapper))) {
      return util_.ReportFailure("CVexaCoreXML::Init() - Failed to create IVEXAXML::IMarwickXML", true);
    }
    Bstr path = Bstr::FromUtf8(albumFilePath);
    if (FAILED(mapper->loadFromURL(path.Get(), album_.Put())) || !album_) {
      album_.Reset();
      return util_.ReportFailure("CVexaCoreXML::Init() - Marwick IVEXAXML::LoadFromURL() call failed.", true);
    }
  } else {
    return util_.ReportFailure("CVexaCoreXML::Init() - Unknown XML file format.", false);
  }

  if (FAILED(album_->get_audios(audios_.Put()))) {
    audios_.Reset();
    return util_.ReportFailure("CVexaCoreXML::Init() - Failed to get IVEXAXML::ISeqOfAudio", true);
  }
  if (FAILED(album_->get_stillImages(stills_.Put()))) {
    stills_.Reset();
    return util_.ReportFailure("CVexaCoreXML::Init() - Failed to get IVEXAXML::ISeqOfStillImage", true);
  }

  // The working copies named in a loaded album belong to the run that made
  // it; this run makes its own.
  LONG count = 0;
  if (FAILED(stills_->get_Count(&count))) {
    return util_.ReportFailure("CVexaCoreXML::Init() - ISeqOfStillImage::get_Count() call failed", true);
  }
  Bstr empty(u"");
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<IStillImage> still;
    if (FAILED(stills_->get_Item(i, still.Put()))) {
      return util_.ReportFailure("CVexaCoreXML::Init() - ISeqOfStillImage::get_Item() call failed", true);
    }
    if (FAILED(still->put_odFullResFilename(empty.Get()))) {
      return util_.ReportFailure("CVexaCoreXML::Init() - IStillImage::put_odFullResFilename() call failed", true);
    }
  }
  LONG audioCount = 0;
  if (FAILED(audios_->get_Count(&audioCount))) {
    return util_.ReportFailure("CVexaCoreXML::Init() - ISeqOfAudios::get_Count() call failed", true);
  }
  if (audioCount > 0) {
    ComPtr<IAudio> audio;
    if (FAILED(audios_->get_Item(1, audio.Put()))) {
      return util_.ReportFailure("CVexaCoreXML::Init() - ISeqOfAudios::get_Item() call failed", true);
    }
    if (FAILED(audio->put_odFullResFilename(empty.Get()))) {
      return util_.ReportFailure("CVexaCoreXML::Init() - IAudio::put_odFullResFilename() call failed", true);
    }
  }
  return true;
}

bool CVexaCoreXML::SetPaperSize(LONG paperSize) {
  const VEXAXMLPaperSize v = paperSize == VEXACorePaperSizeLetter ? VEXAXMLPaperSizeLetter
                             : paperSize == VEXACorePaperSizeA4   ? VEXAXMLPaperSizeA4
                                                                  : VEXAXMLPaperSizeInvalid;
  if (!album_ || FAILED(album_->put_paperSize(v))) {
    return util_.ReportFailure("CVexaCoreXML::SetPaperSize() - IStillsSlideShow1::put_PaperSize() call failed", true);
  }
  return true;
}

bool CVexaCoreXML::GetPaperSize(LONG* paperSize) {
  VEXAXMLPaperSize v = VEXAXMLPaperSizeInvalid;
  if (!album_ || FAILED(album_->get_paperSize(&v))) {
    return util_.ReportFailure("CVexaCoreXML::GetPaperSize() - IStillsSlideShow1::get_PaperSize() call failed", true);
  }
  *paperSize = v == VEXAXMLPaperSizeLetter ? VEXACorePaperSizeLetter
               : v == VEXAXMLPaperSizeA4   ? VEXACorePaperSizeA4
                                           : VEXACorePaperSizeInvalid;
  return true;
}

bool CVexaCoreXML::SetTVSystem(LONG tvSystem) {
  VEXAXMLTVSystem v = VEXAXMLTVNTSC;
  switch (tvSystem) {
    case VEXACoreTVNTSC: v = VEXAXMLTVNTSC; break;
    case VEXACoreTVPAL:
    case VEXACoreTVSECAM: v = VEXAXMLTVPAL; break;
    case VEXACoreTVINVALID: v = VEXAXMLTVINVALID; break;
    default: v = VEXAXMLTVNTSC; break;
  }
  if (!album_ || FAILED(album_->put_tvSystem(v))) {
    return util_.ReportFailure("CVexaCoreXML::SetTVSystem() - IStillsSlideShow1::put_TVSystem() call failed", true);
  }
  return true;
}

bool CVexaCoreXML::GetTVSystem(LONG* tvSystem) {
  VEXAXMLTVSystem v = VEXAXMLTVNTSC;
  if (!album_ || FAILED(album_->get_tvSystem(&v))) {
    return util_.ReportFailure("CVexaCoreXML::GetTVSystem() - IStillsSlideShow1::get_TVSystem() call failed", true);
  }
  switch (v) {
    case VEXAXMLTVNTSC: *tvSystem = VEXACoreTVNTSC; break;
    case VEXAXMLTVPAL:
    case VEXAXMLTVSECAM: *tvSystem = VEXACoreTVPAL; break;
    case VEXAXMLTVINVALID: *tvSystem = VEXACoreTVINVALID; break;
    default: *tvSystem = VEXACoreTVNTSC; break;
  }
  return true;
}

LONG CVexaCoreXML::FromStoredSeconds(LONG stored) { return stored >= 1000 ? stored / 1000 : stored; }

bool CVexaCoreXML::SetStillDelay(LONG seconds) {
  if (!album_ || FAILED(album_->put_stillDelay(seconds))) {
    return util_.ReportFailure("CVexaCoreXML::SetStillDelay() - IStillsSlideShow1::put_StillDelay() call failed", true);
  }
  return true;
}

bool CVexaCoreXML::GetStillDelay(LONG* seconds) {
  LONG v = 0;
  if (!album_ || FAILED(album_->get_stillDelay(&v))) {
    return util_.ReportFailure("CVexaCoreXML::GetStillDelay() - IStillsSlideShow1::get_StillDelay() call failed", true);
  }
  *seconds = FromStoredSeconds(v);
  return true;
}

bool CVexaCoreXML::SetStillTitleVisibleTime(LONG seconds) {
  if (!album_ || FAILED(album_->put_stillTitleVisibleTime(seconds))) {
    return util_.ReportFailure(
        "CVexaCoreXML::SetStillTitleVisibleTime() - IStillsSlideShow1::put_StillTitleVisibleTime() call failed", true);
  }
  return true;
}

bool CVexaCoreXML::GetStillTitleVisibleTime(LONG* seconds) {
  LONG v = 0;
  if (!album_ || FAILED(album_->get_stillTitleVisibleTime(&v))) {
    return util_.ReportFailure(
        "CVexaCoreXML::GetStillTitleVisibleTime() - IStillsSlideShow1::get_StillTitleVisibleTime() call failed", true);
  }
  *seconds = FromStoredSeconds(v);
  return true;
}

bool CVexaCoreXML::SetTitleLines(const std::u16string& line1, const std::u16string& line2,
                                 const std::u16string& line3) {
  ComPtr<ITitleSlide> slide;
  if (!album_ || FAILED(album_->get_titleSlide(slide.Put())) || !slide) {
    return util_.ReportFailure("CVexaCoreXML::SetTitleLines() - IStillsSlideShow1() call failed", true);
  }
  Bstr l1(line1), l2(line2), l3(line3);
  if (FAILED(slide->put_line1(l1.Get()))) {
    return util_.ReportFailure("CVexaCoreXML::SetTitleLines() - ITitleSlide::put_Line1() call failed", true);
  }
  if (FAILED(slide->put_line2(l2.Get()))) {
    return util_.ReportFailure("CVexaCoreXML::SetTitleLines() - ITitleSlide::put_Line2() call failed", true);
  }
  if (FAILED(slide->put_line3(l3.Get()))) {
    return util_.ReportFailure("CVexaCoreXML::SetTitleLines() - ITitleSlide::put_Line3() call failed", true);
  }
  return true;
}

bool CVexaCoreXML::GetTitleLines(std::u16string* line1, std::u16string* line2, std::u16string* line3) {
  ComPtr<ITitleSlide> slide;
  if (!album_ || FAILED(album_->get_titleSlide(slide.Put())) || !slide) {
    return util_.ReportFailure("CVexaCoreXML::GetTitleLines() - IStillsSlideShow1() call failed", true);
  }
  Bstr l1, l2, l3;
  if (FAILED(slide->get_line1(l1.Out()))) {
    return util_.ReportFailure("CVexaCoreXML::GetTitleLines() - ITitleSlide::get_Line1() call failed", true);
  }
  if (FAILED(slide->get_line2(l2.Out()))) {
    return util_.ReportFailure("CVexaCoreXML::GetTitleLines() - ITitleSlide::get_Line2() call failed", true);
  }
  if (FAILED(slide->get_line3(l3.Out()))) {
    return util_.ReportFailure("CVexaCoreXML::GetTitleLines() - ITitleSlide::get_Line3() call failed", true);
  }
  *line1 = std::u16string(l1.View());
  *line2 = std::u16string(l2.View());
  *line3 = std::u16string(l3.View());
  return true;
}

bool CVexaCoreXML::ResetAudios() {
  if (!audios_ || FAILED(audios_->Clear())) {
    return util_.ReportFailure("CVexaCoreXML::ResetAudios() - ISeqOfAudio::Clear() call failed", true);
  }
  return true;
}

bool CVexaCoreXML::ResetStills() {
  if (!stills_ || FAILED(stills_->Clear())) {
    return util_.ReportFailure("CVexaCoreXML::ResetStills() - ISeqOfStillImage::Clear() call failed", true);
  }
  return true;
}

bool CVexaCoreXML::AddAudioTrack(const std::string& fullResPath, const std::string& sourceName,
                                 DATE creationTime) {
  if (!ResetAudios()) {
    return util_.ReportFailure("CVexaCoreXML::AddAudioTrack() - CVexaCoreXML::ResetAudios() call failed", false);
  }
  ComPtr<IAudio> audio;
  if (FAILED(audios_->AddAudio(audio.Put())) || !audio) {
    return util_.ReportFailure("CVexaCoreXML::AddAudioTrack() - ISeqOfAudio::AddAudio() call failed", true);
  }
  Bstr path = Bstr::FromUtf8(fullResPath), source = Bstr::FromUtf8(sourceName);
  if (FAILED(audio->put_odFullResFilename(path.Get()))) {
    return util_.ReportFailure(
        "CVexaCoreXML::AddAudioTrack() - IAudio::put_odFullResFilename()(real path) call failed", true);
  }
  if (FAILED(audio->put_originalFilename(source.Get()))) {
    return util_.ReportFailure("CVexaCoreXML::AddAudioTrack() - IAudio::put_originalFilename() call failed", true);
  }
  if (creationTime >= 0.0 && FAILED(audio->put_destCTime(creationTime))) {
    return util_.ReportFailure("CVexaCoreXML::AddAudioTrack() - IAudio::put_destCTime() call failed", true);
  }
  return true;
}

bool CVexaCoreXML::AddStill(const std::string& fullResPath, const std::string& sourceName, LONG rotation,
                            DATE creationTime, const std::string& title, LONG sizing, std::int16_t isTitleStill) {
  Bstr text = Bstr::FromUtf8(title);
  return AddStill(fullResPath, sourceName, rotation, creationTime, text.Get(), sizing, isTitleStill);
}

bool CVexaCoreXML::AddStill(const std::string& fullResPath, const std::string& sourceName, LONG rotation,
                            DATE creationTime, BSTR title, LONG sizing, VARIANT_BOOL isTitleStill) {
  ComPtr<IStillImage> still;
  if (!stills_ || FAILED(stills_->AddStillImage(still.Put())) || !still) {
    return util_.ReportFailure("CVexaCoreXML::AddStill() - ISeqOfStillImage::AddStillImage call failed", true);
  }
  if (!fullResPath.empty()) {
    Bstr v = Bstr::FromUtf8(fullResPath);
    if (FAILED(still->put_odFullResFilename(v.Get()))) {
      return util_.ReportFailure("CVexaCoreXML::AddStill() - IStillImage::put_odFullResFilename call failed", true);
    }
  }
  if (!sourceName.empty()) {
    Bstr v = Bstr::FromUtf8(sourceName);
    if (FAILED(still->put_originalFilename(v.Get()))) {
      return util_.ReportFailure("CVexaCoreXML::AddStill() - IStillImage::put_originalFilename call failed", true);
    }
  }
  if (rotation >= 0 && FAILED(still->put_destRotate(rotation))) {
    return util_.ReportFailure("CVexaCoreXML::AddStill() - IStillImage::put_destRotate call failed", true);
  }
  if (creationTime >= 0.0 && FAILED(still->put_destCTime(creationTime))) {
    return util_.ReportFailure("CVexaCoreXML::AddStill() - IStillImage::put_destCTime() call failed", true);
  }
  if (title && SysStringLen(title) > 0 && FAILED(still->put_title(title))) {
    return util_.ReportFailure("CVexaCoreXML::AddStill() - IStillImage::put_title call failed", true);
  }
  if (FAILED(still->put_isTitleStill(isTitleStill))) {
    return util_.ReportFailure("CVexaCoreXML::AddStill() - IStillImage::put_isTitleStill call failed", true);
  }
  // Each still keeps the sizing it was given, so a copy made from the album
  // crops what the first disc cropped.
  const VEXAXMLPictureSizingBehavior behaviour =
      sizing == VEXACoreCropPicture ? VEXAXMLPictureClip : VEXAXMLPictureResize;
  if (FAILED(still->put_destSizingBehavior(behaviour))) {
    return util_.ReportFailure("CVexaCoreXML::AddStill() - IStillImage::put_destSizingBehavior call failed", true);
  }
  return true;
}

bool CVexaCoreXML::GetAllStills(std::vector<StillEntry>* list) {
  LONG count = 0;
  if (!stills_ || FAILED(stills_->get_Count(&count))) {
    return util_.ReportFailure("CVexaCoreXML::GetAllStills() - ISeqOfStillImage::get_Count() call failed", true);
  }
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<IStillImage> still;
    if (FAILED(stills_->get_Item(i, still.Put())) || !still) {
      return util_.ReportFailure("CVexaCoreXML::GetAllStills() - ISeqOfStillImage::get_Item() call failed", true);
    }
    StillEntry e;
    Bstr original, fullRes, title;
    if (FAILED(still->get_originalFilename(original.Out()))) {
      return util_.ReportFailure("CVexaCoreXML::GetStill() - IStillImage::get_originalFilename() call failed", true);
    }
    if (FAILED(still->get_odFullResFilename(fullRes.Out()))) {
      return util_.ReportFailure("CVexaCoreXML::GetStill() - IStillImage::get_odFullResFilename() call failed", true);
    }
    if (FAILED(still->get_destRotate(&e.rotation))) {
      return util_.ReportFailure("CVexaCoreXML::GetStill() - IStillImage::get_destRotate() call failed", true);
    }
    if (FAILED(still->get_destCTime(&e.creationTime))) {
      return util_.ReportFailure("CVexaCoreXML::GetStill() - IStillImage::get_destCTime() call failed", true);
    }
    if (FAILED(still->get_title(title.Out()))) {
      return util_.ReportFailure("CVexaCoreXML::GetStill() - IStillImage::get_title() call failed", true);
    }
    VEXAXMLPictureSizingBehavior sizing = VEXAXMLPictureDefault;
    if (FAILED(still->get_destSizingBehavior(&sizing))) {
      return util_.ReportFailure("CVexaCoreXML::GetStill() - IStillImage::get_destSizingBehavior() call failed", true);
    }
    if (FAILED(still->get_isTitleStill(&e.isTitleStill))) {
      return util_.ReportFailure("CVexaCoreXML::GetStill() - IStillImage::get_isTitleStill() call failed", true);
    }
    e.originalFilename = Text(original);
    e.fullResPath = fullRes.Length() ? Text(fullRes) : e.originalFilename;
    e.title = Text(title);
    e.sizingBehaviour = sizing == VEXAXMLPictureClip ? VEXACoreCropPicture : VEXACoreResizePicture;
    list->push_back(std::move(e));
  }
  return true;
}

bool CVexaCoreXML::GetFirstAudioTrack(std::string* fullResPath, std::string* sourceName, DATE* creationTime) {
  LONG count = 0;
  if (!audios_ || FAILED(audios_->get_Count(&count))) {
    return util_.ReportFailure("CVexaCoreXML::GetFirstAudioTrack() - ISeqOfAudio::get_Count() call failed", true);
  }
  if (count < 1) return true;
  ComPtr<IAudio> audio;
  if (FAILED(audios_->get_Item(1, audio.Put())) || !audio) {
    return util_.ReportFailure("CVexaCoreXML::GetFirstAudioTrack() - ISeqOfAudio::get_Item() call failed", true);
  }
  Bstr original, fullRes;
  if (FAILED(audio->get_originalFilename(original.Out()))) {
    return util_.ReportFailure("CVexaCoreXML::GetFirstAudioTrack() - IAudio::get_originalFilename() call failed", true);
  }
  if (FAILED(audio->get_odFullResFilename(fullRes.Out()))) {
    return util_.ReportFailure(
        "CVexaCoreXML::GetFirstAudioTrack() - IAudio::get_odFullResFilename()(real path) call failed", true);
  }
  DATE when = 0.0;
  if (FAILED(audio->get_destCTime(&when))) {
    return util_.ReportFailure("CVexaCoreXML::GetFirstAudioTrack() - IAudio::get_destCTime() call failed", true);
  }
  *sourceName = Text(original);
  *fullResPath = fullRes.Length() ? Text(fullRes) : *sourceName;
  *creationTime = when;
  return true;
}

bool CVexaCoreXML::GetAudioNames(std::vector<std::string>* names) {
  names->clear();
  LONG count = 0;
  if (!audios_ || FAILED(audios_->get_Count(&count))) {
    return util_.ReportFailure("CVexaCoreXML::GetAudioNames() - ISeqOfAudio::get_Count() call failed", true);
  }
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<IAudio> audio;
    if (FAILED(audios_->get_Item(i, audio.Put())) || !audio) {
      return util_.ReportFailure("CVexaCoreXML::GetAudioNames() - ISeqOfAudio::get_Item() call failed", true);
    }
    Bstr original, fullRes;
    if (FAILED(audio->get_originalFilename(original.Out())) || FAILED(audio->get_odFullResFilename(fullRes.Out()))) {
      return util_.ReportFailure("CVexaCoreXML::GetAudioNames() - IAudio file name call failed", true);
    }
    names->push_back(original.Length() ? Text(original) : Text(fullRes));
  }
  return true;
}

}  // namespace vexa::core
