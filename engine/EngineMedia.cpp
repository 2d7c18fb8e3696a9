// The engine's file and media utilities: the source-picture record in a
// JPEG comment segment, audio-CD tracks read into WAV files and the
// session identifier.
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

void PutLE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

void PutLE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::string StripTrailingSeparators(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// The parts of an audio-CD track name (see idl/vexasdk.h): the drive's path
// and the track number.
struct CdaName {
  std::string drivePath;
  int track = 0;
};

// 0 when the name is a track name; otherwise the engine code of the fault
// (104 not a ".cda" name, 103 a base name of one character or track 0).
VEXAEngineResult ParseCdaName(const std::string& path, CdaName* out, bool* trackZero) {
  *trackZero = false;
  const std::string ext = base::Extension(path);
  if (!base::EqualsNoCase(ext, ".cda")) return VEXAEngineResultInvalidFileFormat;
  std::string name = base::BaseName(path);
  name = name.substr(0, name.size() - ext.size());
  if (name.size() <= 1) return VEXAEngineResultParameterInvalid;
  const std::string digits = name.substr(name.size() - 2);
  int track = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') {
      track = 0;
      break;
    }
    track = track * 10 + (c - '0');
  }
  if (track == 0) {
    *trackZero = true;
    return VEXAEngineResultParameterInvalid;
  }
  out->drivePath = StripTrailingSeparators(base::DirName(path));
  out->track = track;
  return VEXAEngineResultSuccess;
}

std::int32_t ReadInt32(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

// ---- Session identifier ---------------------------------------------------

HRESULT CVEXAVCDEngine::GenerateSessionID(std::string* out) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u%02u%02u_A", static_cast<unsigned>((startTime_.wYear - 2000) % 100),
                static_cast<unsigned>(startTime_.wMonth), static_cast<unsigned>(startTime_.wDay));
  *out = text;
  return S_OK;
}

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

// Writes (or replaces) the record of a JPEG. Safe on any thread: it makes
// its own objects of the album model there. On failure *error holds the
// text to report (with the model's own description in front).
HRESULT CVEXAVCDEngine::StoreJPEGRecord(const std::string& jpegFile, const std::string& identifier, LONG resolution,
                                        std::string* error) {
  const bool initialized = SUCCEEDED(CoInitialize(nullptr));
  struct Uninit {
    bool on;
    ~Uninit() {
      if (on) CoUninitialize();
    }
  } uninit{initialized};
  HRESULT result = S_OK;
  {
    ComPtr<IEmbedImage> record;
    ComPtr<IEmbedImageXML> mapper;
    if (FAILED(CoCreateInstance(CLSID_EmbedImage, nullptr, CLSCTX_INPROC_SERVER, com::IidOf<IEmbedImage>(),
                                record.PutVoid()))) {
      *error = PrefixWithErrorInfo("VEXAVCDEngine::InsertJPEGCOMMaker - Failed to create IVEXAXML::IEmbedImage");
      result = E_FAIL;
    } else if (FAILED(CoCreateInstance(CLSID_EmbedImageXML, nullptr, CLSCTX_INPROC_SERVER,
                                       com::IidOf<IEmbedImageXML>(), mapper.PutVoid()))) {
      *error = PrefixWithErrorInfo("VEXAVCDEngine::InsertJPEGCOMMaker - Failed to create IVEXAXML::IEmbedImageXML");
      result = E_FAIL;
    } else if (FAILED(record->put_resolution(static_cast<VEXAXMLStillImageResolution>(resolution))) ||
               FAILED(record->put_originalIdentifier(Bstr::FromUtf8(identifier).Get()))) {
      *error = PrefixWithErrorInfo("VEXAVCDEngine::InsertJPEGCOMMaker - VEXAStillRes2VEXAXMLStillRes call failed");
      result = E_FAIL;
    } else if (FAILED(mapper->storeToJPEG(Bstr::FromUtf8(jpegFile).Get(), record.Get()))) {
      *error = PrefixWithErrorInfo("VEXAVCDEngine::InsertJPEGCOMMaker - pEmbedImageXML->storeToJPEG call failed");
      result = E_FAIL;
    }
  }
  return result;
}

// ---- Audio-CD tracks ----------------------------------------------------------------------

// Finds the drive of a track name and the track's first sector and length.
// The drive is the engine's current one when its path matches, else one made
// for the search (handed to *owned).
HRESULT CVEXAVCDEngine::FindCdaTrack(const char* method, std::string_view cdaFile, DrivePtr* owned,
                                     DriveHandle** drive, std::int32_t* start, std::int32_t* sectors) {
  const bool read = std::string_view(method).find("StartRead") != std::string_view::npos;
  const std::string prefix = read ? "IVEXAStoryboardStillsSlideshow1::StartRead - " : "IVEXAStoryboardStillsSlideshow1::GetTrackInfo - ";
  const char* logName = read ? "IVEXAStoryboardStillsSlideshow1::StartRead" : "IVEXAStoryboardStillsSlideshow1::RipAudio";
  CdaName name;
  bool trackZero = false;
  const VEXAEngineResult bad = ParseCdaName(std::string(cdaFile), &name, &trackZero);
  if (bad != VEXAEngineResultSuccess) {
    const std::string text = trackZero && !read ? "IVEXAStoryboardStillsSlideshow1::RipAudio - invalid .cda track"
                                                : prefix + "invalid .cda track";
    return Fail(logName, text, bad);
  }
  *drive = nullptr;
  if (drive_ && StripTrailingSeparators(lib_.drives->GetDrivePath(drive_.get())) == name.drivePath &&
      (lib_.drives->GetDriveCaps(drive_.get()) & 1)) {
    *drive = drive_.get();
  } else if (lib_.haveDriveTable) {
    for (int n = 0; n < 256 && !*drive; ++n) {
      DrivePtr d(lib_.drives->CreateDrive(n), DriveDeleter{lib_.drives});
      if (!d) continue;
      if (StripTrailingSeparators(lib_.drives->GetDrivePath(d.get())) == name.drivePath &&
          (lib_.drives->GetDriveCaps(d.get()) & 1)) {
        *drive = d.get();
        *owned = std::move(d);
      }
    }
  }
  if (!*drive) return Fail(logName, prefix + "unable to query disc", VEXAEngineResultSubmoduleRipAudioFail);

  std::uint8_t toc[804] = {};
  const std::string tocFail = read ? prefix + "unable to query disc"
                                   : std::string("IVEXAStoryboardStillsSlideshow1::RipAudio - unable to query disc");
  if (lib_.drives->ReadTOC(*drive, toc) != 0) return Fail(logName, tocFail, VEXAEngineResultSubmoduleRipAudioFail);
  // Descriptors of 8 bytes after the 4-byte header: track number in byte 2,
  // address in bytes 4-7; the lead-out is track 0xAA.
  const int length = (toc[0] << 8 | toc[1]);  // data length, as the drive gave it
  (void)length;
  int found = -1;
  for (int i = 0; i < 100; ++i) {
    const std::uint8_t* d = toc + 4 + 8 * i;
    if (d[2] == name.track) {
      found = i;
      break;
    }
    if (d[2] == 0xAA || (d[2] == 0 && i > 0)) break;
  }
  if (found < 0 || found + 1 >= 100) return Fail(logName, tocFail, VEXAEngineResultSubmoduleRipAudioFail);
  const std::uint8_t* here = toc + 4 + 8 * found;
  const std::uint8_t* next = here + 8;
  if (next[2] == 0 && next[1] == 0) return Fail(logName, tocFail, VEXAEngineResultSubmoduleRipAudioFail);
  *start = ReadInt32(here + 4);
  const std::int32_t end = ReadInt32(next + 4);
  if (*start < 0 || end < *start || end - *start > 1000000) {
    return Fail(logName, tocFail, VEXAEngineResultSubmoduleRipAudioFail);
  }
  *sectors = end - *start;
  return S_OK;
}

HRESULT CVEXAVCDEngine::GetTrackInfo(BSTR cdaFile, LONG* trackSize, double* playTime, LONG* timeToRip) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::GetTrackInfo";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  if (!trackSize || !playTime || !timeToRip) return E_POINTER;
  const std::string file = cdaFile ? base::Utf16ToUtf8(std::u16string_view(cdaFile, SysStringLen(cdaFile))) : "";
  DrivePtr owned(nullptr, DriveDeleter{lib_.drives});
  DriveHandle* drive = nullptr;
  std::int32_t start = 0, sectors = 0;
  if (FAILED(FindCdaTrack(kMethod, file, &owned, &drive, &start, &sectors))) return E_FAIL;
  *trackSize = sectors * 2352 + 36;
  *playTime = sectors / 75.0;
  const std::int32_t speed = lib_.drives->ReadSpeedQuery(drive, 2048);
  if (speed == 1024 || speed <= 0) {
    *timeToRip = *trackSize / 600000;
  } else {
    *timeToRip = *trackSize / (speed * 30000);
  }
  return SetLastResultOK("IVEXAStoryboardStillsSlideshow1::RipAudio");
}

// Reads the track into a WAV file. The file appears only when the whole
// track was read: a failed read leaves nothing behind.
HRESULT CVEXAVCDEngine::StartRead(BSTR cdaFile, BSTR wavFile) {
  static constexpr char kMethod[] = "IVEXAStoryboardStillsSlideshow1::StartRead";
  static constexpr char kPrefix[] = "IVEXAStoryboardStillsSlideshow1::StartRead - ";
  if (!CheckImageBuilder(kMethod)) return E_FAIL;
  const std::string file = cdaFile ? base::Utf16ToUtf8(std::u16string_view(cdaFile, SysStringLen(cdaFile))) : "";
  const std::string wav = wavFile ? base::Utf16ToUtf8(std::u16string_view(wavFile, SysStringLen(wavFile))) : "";
  DrivePtr owned(nullptr, DriveDeleter{lib_.drives});
  DriveHandle* drive = nullptr;
  std::int32_t start = 0, sectors = 0;
  if (FAILED(FindCdaTrack(kMethod, file, &owned, &drive, &start, &sectors))) return E_FAIL;

  base::OutputFile out;
  if (wav.empty() || !out.Open(wav)) {
    return Fail(kMethod, std::string(kPrefix) + "unable to open wav file", VEXAEngineResultSubmoduleRipAudioFail);
  }
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(sectors) * 2352u;
  std::uint8_t header[44];
  std::memcpy(header, "RIFF", 4);
  PutLE32(header + 4, dataBytes + 36);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  PutLE32(header + 16, 16);
  PutLE16(header + 20, 1);       // PCM
  PutLE16(header + 22, 2);       // channels
  PutLE32(header + 24, 44100);
  PutLE32(header + 28, 176400);  // bytes a second
  PutLE16(header + 32, 4);       // block alignment
  PutLE16(header + 34, 16);      // bits a sample
  std::memcpy(header + 36, "data", 4);
  PutLE32(header + 40, dataBytes);
  if (!out.Write(header, sizeof header)) {
    return Fail(kMethod, std::string(kPrefix) + "unable to write wav header", VEXAEngineResultSubmoduleRipAudioFail);
  }

  lib_.drives->SetBlocking(drive, 1);
  std::vector<std::uint8_t> block(16 * 2352);
  bool ok = true;
  for (std::int32_t done = 0; done < sectors && ok;) {
    const std::int32_t n = std::min<std::int32_t>(16, sectors - done);
    ok = lib_.drives->ReadCD(drive, start + done, n, block.data(), 1, 2352) == 0 &&
         out.Write(block.data(), static_cast<std::size_t>(n) * 2352);
    done += n;
  }
  lib_.drives->SetBlocking(drive, 0);
  if (!ok || !out.Commit()) {
    out.Discard();
    return Fail(kMethod, std::string(kPrefix) + "unable to read CDA and write to a WAV.",
                VEXAEngineResultSubmoduleRipAudioFail);
  }
  return SetLastResultOK(kMethod);
}

}  // namespace vexa::engine
