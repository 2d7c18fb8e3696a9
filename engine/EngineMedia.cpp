// The engine's file and media utilities: the source-picture record in a
// JPEG comment segment and the audio-CD tracks (read by the drive
// session).
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/Engine.h"
#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::engine {

using com::Bstr;
using com::ComPtr;

namespace {

std::string Format(const char* format, const std::string& arg) {
  std::vector<char> text(std::strlen(format) + arg.size() + 16);
  std::snprintf(text.data(), text.size(), format, arg.c_str());
  return text.data();
}

}  // namespace

// ---- The record in a JPEG comment segment ---------------------------------------------------

// The engine's still resolutions are those of the album model (1 original,
// 2 album, 3 web, 4 thumbnail): the value asked for is the value stored.
HRESULT CVEXAVCDEngine::GetJPEGCOMMarker(std::string_view jpegFile, std::string* identifier, LONG* resolution) {
  static constexpr char kMethod[] = "IVEXAEngine::GetJPEGCOMMarker";
  identifier->clear();
  *resolution = 0;
  const std::string file(jpegFile);
  ComPtr<IEmbedImageXML> mapper;
  if (FAILED(CoCreateInstance(CLSID_EmbedImageXML, nullptr, CLSCTX_INPROC_SERVER, com::IidOf<IEmbedImageXML>(),
                              mapper.PutVoid()))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAVCDEngine::InsertJPEGCOMMaker - Failed to create IVEXAXML::IEmbedImageXML"),
                VEXAEngineResultObjectCreateFail);
  }
  // A picture without the record answers a fresh, empty one.
  ComPtr<IEmbedImage> record;
  if (FAILED(mapper->loadFromJPEG(Bstr::FromUtf8(file).Get(), record.Put())) || !record) {
    return Fail(kMethod,
                PrefixWithErrorInfo(Format("VEXAVCDEngine::GetJPEGCOMMarker - pEmbedImageXML->loadFromJPEG call failed for file %s", file)),
                VEXAEngineResultObjectCreateFail);
  }
  Bstr id;
  if (FAILED(record->get_originalIdentifier(id.Out()))) {
    return Fail(kMethod,
                PrefixWithErrorInfo(Format("VEXAVCDEngine::GetJPEGCOMMarker - pEmbedImage->get_originalIdentifier call failed for file %s", file)),
                VEXAEngineResultObjectCreateFail);
  }
  VEXAXMLStillImageResolution res = VEXAXMLStillImageUnknownResolution;
  if (FAILED(record->get_resolution(&res))) {
    return Fail(kMethod,
                PrefixWithErrorInfo(Format("VEXAVCDEngine::GetJPEGCOMMarker - pEmbedImage->get_resolution call failed for file %s", file)),
                VEXAEngineResultObjectCreateFail);
  }
  if (res < VEXAXMLStillImageUnknownResolution || res > VEXAXMLStillImageThumbResolution) {
    return Fail(kMethod, Format("VEXAVCDEngine::GetJPEGCOMMarker - VEXAXMLStill2VEXAStill call failed for file %s", file),
                VEXAEngineResultObjectCreateFail);
  }
  *identifier = id.Utf8();
  *resolution = static_cast<LONG>(res);
  return S_OK;
}

HRESULT CVEXAVCDEngine::InsertJPEGCOMMaker(std::string_view jpegFile, std::string* identifier, LONG* resolution,
                                           VARIANT_BOOL overwrite, VARIANT_BOOL* wasWritten) {
  static constexpr char kMethod[] = "IVEXAEngine::PutJPEGCOMMarker";
  *wasWritten = VARIANT_FALSE;
  std::string storedId;
  LONG storedRes = 0;
  if (FAILED(GetJPEGCOMMarker(jpegFile, &storedId, &storedRes))) {
    return Fail(kMethod, PrefixWithErrorInfo("VEXAVCDEngine::InsertJPEGCOMMaker - GetJpegCOMMarker call failed"),
                VEXAEngineResultObjectCreateFail);
  }
  if (!storedId.empty()) {
    if (overwrite == VARIANT_FALSE) {
      *identifier = storedId;
      *resolution = storedRes;
      return S_OK;
    }
    if (overwrite != VARIANT_TRUE) {
      return Fail(kMethod, "IVEXAEngine::PutJPEGCOMMarker - This should never happen", VEXAEngineResultParameterInvalid);
    }
    *wasWritten = VARIANT_TRUE;
  } else {
    *wasWritten = overwrite == VARIANT_TRUE ? VARIANT_TRUE : VARIANT_FALSE;
  }
  if (*resolution < VEXAXMLStillImageOriginalResolution || *resolution > VEXAXMLStillImageThumbResolution) {
    return Fail(kMethod, "VEXAVCDEngine::InsertJPEGCOMMaker - VEXAStillRes2VEXAXMLStillRes call failed",
                VEXAEngineResultParameterInvalid);
  }
  std::string why;
  if (FAILED(StoreJPEGRecord(std::string(jpegFile), *identifier, *resolution, &why))) {
    return Fail(kMethod, why, why.find("storeToJPEG") != std::string::npos ? VEXAEngineResultHelpermoduleMethodFail
                                                                              : VEXAEngineResultObjectCreateFail);
  }
  return S_OK;
}

namespace {

// Runs `use` with the record's objects of the album model, made on this
// thread; on failure *error holds the text to report.
// prefix: the engine's PrefixWithErrorInfo.
template <typename Use>
HRESULT WithRecord(const std::string& identifier, LONG resolution, std::string* error,
                   std::string (*prefix)(const std::string&), Use use) {
  const bool initialized = SUCCEEDED(CoInitialize(nullptr));
  struct Uninit {
    bool on;
    ~Uninit() {
      if (on) CoUninitialize();
    }
  } uninit{initialized};
  ComPtr<IEmbedImage> record;
  ComPtr<IEmbedImageXML> mapper;
  if (FAILED(CoCreateInstance(CLSID_EmbedImage, nullptr, CLSCTX_INPROC_SERVER, com::IidOf<IEmbedImage>(),
                              record.PutVoid()))) {
    *error = prefix("VEXAVCDEngine::InsertJPEGCOMMaker - Failed to create IVEXAXML::IEmbedImage");
    return E_FAIL;
  }
  if (FAILED(CoCreateInstance(CLSID_EmbedImageXML, nullptr, CLSCTX_INPROC_SERVER, com::IidOf<IEmbedImageXML>(),
                              mapper.PutVoid()))) {
    *error = prefix("VEXAVCDEngine::InsertJPEGCOMMaker - Failed to create IVEXAXML::IEmbedImageXML");
    return E_FAIL;
  }
  if (FAILED(record->put_resolution(static_cast<VEXAXMLStillImageResolution>(resolution))) ||
      FAILED(record->put_originalIdentifier(Bstr::FromUtf8(identifier).Get()))) {
    *error = prefix("VEXAVCDEngine::InsertJPEGCOMMaker - VEXAStillRes2VEXAXMLStillRes call failed");
    return E_FAIL;
  }
  return use(mapper.Get(), record.Get());
}

}  // namespace

// Writes (or replaces) the record of a JPEG. Safe on any thread: it makes
// its own objects of the album model there. On failure *error holds the
// text to report (with the model's own description in front).
HRESULT CVEXAVCDEngine::StoreJPEGRecord(const std::string& jpegFile, const std::string& identifier, LONG resolution,
                                        std::string* error) {
  return WithRecord(identifier, resolution, error, &CVEXAVCDEngine::PrefixWithErrorInfo, [&](IEmbedImageXML* mapper, IEmbedImage* record) -> HRESULT {
    if (FAILED(mapper->storeToJPEG(Bstr::FromUtf8(jpegFile).Get(), record))) {
      *error = PrefixWithErrorInfo("VEXAVCDEngine::InsertJPEGCOMMaker - pEmbedImageXML->storeToJPEG call failed");
      return E_FAIL;
    }
    return S_OK;
  });
}

// The same record as the model writes it into a JPEG: the text it stores,
// read back. Safe on any thread.
HRESULT CVEXAVCDEngine::JPEGRecordBytes(const std::string& identifier, LONG resolution, std::string* bytes,
                                        std::string* error) {
  return WithRecord(identifier, resolution, error, &CVEXAVCDEngine::PrefixWithErrorInfo, [&](IEmbedImageXML* mapper, IEmbedImage* record) -> HRESULT {
    const std::string dir = base::MakeTempDir(base::TempDirectory(), "vexa-record-");
    if (dir.empty()) {
      *error = "VEXAVCDEngine::InsertJPEGCOMMaker - no temporary folder for the record can be made";
      return E_FAIL;
    }
    // The record's file is read back and goes at once: no sync for it.
    base::MarkWorkFolder(dir);
    struct Remove {
      std::string path;
      ~Remove() {
        base::UnmarkWorkFolder(path);
        base::RemoveAll(path);
      }
    } remove{dir};
    const std::string file = base::JoinPath(dir, "record.xml");
    if (FAILED(mapper->storeToFile(Bstr::FromUtf8(file).Get(), record))) {
      *error = PrefixWithErrorInfo("VEXAVCDEngine::InsertJPEGCOMMaker - pEmbedImageXML->storeToFile call failed");
      return E_FAIL;
    }
    std::string why;
    if (!base::ReadFile(file, bytes, &why)) {
      *error = "VEXAVCDEngine::InsertJPEGCOMMaker - the record cannot be read back: " + why;
      return E_FAIL;
    }
    return S_OK;
  });
}

// ---- Audio-CD tracks ----------------------------------------------------------------------

HRESULT CVEXAVCDEngine::GetTrackInfo(BSTR cdaFile, LONG* trackSize, double* playTime, LONG* timeToRip) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::GetTrackInfo";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  if (!trackSize || !playTime || !timeToRip) return E_POINTER;
  const std::string file = cdaFile ? base::Utf16ToUtf8(std::u16string_view(cdaFile, SysStringLen(cdaFile))) : "";
  TrackFigures figures;
  const Result r = drive_.TrackInfo(kMethod, file, &figures);
  if (!r.ok()) return Report(kMethod, r);
  *trackSize = figures.trackSize;
  *playTime = figures.playTime;
  *timeToRip = figures.timeToRip;
  return SetLastResultOK("IVEXAStoryboardStillsSlideshow1::RipAudio");
}

HRESULT CVEXAVCDEngine::StartRead(BSTR cdaFile, BSTR wavFile) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::StartRead";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  const std::string file = cdaFile ? base::Utf16ToUtf8(std::u16string_view(cdaFile, SysStringLen(cdaFile))) : "";
  const std::string wav = wavFile ? base::Utf16ToUtf8(std::u16string_view(wavFile, SysStringLen(wavFile))) : "";
  return Report(kMethod, drive_.ReadTrack(kMethod, file, wav));
}

}  // namespace vexa::engine
