// CIVEXAPC: the PC page server. It keeps the stills and texts of an album in
// three page generators (browse album, slide show, menu), fits each picture
// into the size every page set shows, writes the page sets into the work
// folder and copies the support files (style sheet, script, pictures, help
// pages) beside them the first time a page set is written.
#include "pcpages/CIVEXAPC.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <new>
#include <string>

#include "idl/ProductKey.h"
#include "pcpages/FolderTree.h"
#include "pcpages/HtmlAlbum.h"
#include "pcpages/HtmlMenuPage.h"
#include "pcpages/HtmlSlideShow.h"
#include "pcpages/LanguageTexts.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/ValidUtf8.h"
#include "platform/registry/Registry.h"

namespace vexa::pcpages {

namespace {

using namespace vexa::com;

// Values of the product key are read into a buffer of this many bytes.
constexpr std::size_t kRegistryBuffer = 1024;
constexpr std::size_t kVersionChars = 99;

// Boxes each page set shows a picture in.
constexpr LONG kSlideBoxW = 600, kSlideBoxH = 330;
constexpr LONG kViewBoxW = 600, kViewBoxH = 340;
constexpr LONG kThumbBoxW = 115, kThumbBoxH = 115;
constexpr LONG kMenuBoxW = 514, kMenuBoxH = 298;

HRESULT Fail(std::string_view message) {
  return ReportError(CLSID_IVEXAPC, message, IID_IIVEXAPC, E_FAIL);
}

std::string Text(BSTR s) { return BstrToUtf8(s); }

// A value of the product key as text, whatever its type: a string as it is,
// the first of several strings, the bytes of a binary value up to the first
// NUL, a number in decimal. A value too large for the read buffer counts as
// missing; control characters are dropped, so the text is safe to use as a
// path or to show.
bool ReadProductText(const char* name, std::string* out) {
  reg::Value v;
  if (reg::GetValue(reg::Hive::LocalMachine, kProductKey, name, &v) != reg::Status::Ok) return false;
  std::string bytes;
  std::size_t stored = 0;
  switch (v.type) {
    case reg::ValueType::Sz:
    case reg::ValueType::ExpandSz:
      bytes = v.text;
      stored = bytes.size() + 1;
      break;
    case reg::ValueType::MultiSz:
      for (const std::string& s : v.multi) stored += s.size() + 1;
      stored += 1;
      if (!v.multi.empty()) bytes = v.multi.front();
      break;
    case reg::ValueType::Binary:
      bytes.assign(v.binary.begin(), v.binary.end());
      stored = bytes.size();
      break;
    case reg::ValueType::Dword:
      bytes = std::to_string(v.dword);
      stored = 4;
      break;
    default:
      break;
  }
  if (stored > kRegistryBuffer) return false;
  bytes = bytes.substr(0, bytes.find('\0'));
  bytes = base::ToValidUtf8(bytes);
  bytes.erase(std::remove_if(bytes.begin(), bytes.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }),
              bytes.end());
  *out = std::move(bytes);
  return true;
}

class CIVEXAPC : public ComObjectRoot,
                 public DispatchImpl<CIVEXAPC, IIVEXAPC>,
                 public SupportErrorInfoImpl<IIVEXAPC> {
 public:
  using Interfaces = InterfaceMap<IIVEXAPC, Via<IDispatch, IIVEXAPC>, ISupportErrorInfo>;

  static std::span<const DispatchEntry<CIVEXAPC>> DispatchTable();

  HRESULT FinalConstruct() {
    comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
    stillDelay_ = 6;
    if (!ReadProductText("PCE_INCLUDE_PATH", &supportFolder_)) {
      return Fail("CIVEXAPC::FinalConstruct - Registry key INCLUDE_PATH not found.");
    }
    // The version only shows on the menu page: without it the text stays
    // empty rather than the whole disc failing.
    if (!ReadProductText("DownloadVersion", &downloadVersion_)) downloadVersion_.clear();
    downloadVersion_ = base::Utf8CutChars(downloadVersion_, kVersionChars);
    pageTitleSet_ = false;
    stillCount_ = 0;
    std::string language;
    if (!ReadProductText("APP_LANG_ABBRV", &language) || language.empty()) {
      return Fail("CVEXAPC::FinalConstruct - Cannot get 3 letter language abbreviation from registry.");
    }
    texts_ = LanguageTexts::Load("vexapc" + language);
    if (!texts_) return Fail("CVEXAPC::FinalConstruct - Cannot load a resource dll.");
    return S_OK;
  }

  void FinalRelease() {
    if (comInitialized_) CoUninitialize();
  }

  // ---- IIVEXAPC ------------------------------------------------------------------

  HRESULT AddAudioTrack(BSTR audioFile) override {
    try {
      show_.SetMusicFile(Text(audioFile));
    } catch (const std::exception&) {
      return Fail("CIVEXAPC::AddAudioTrack - Error adding audio track to slide show.");
    }
    return S_OK;
  }

  HRESULT SetTitleLine(LONG titleLine, BSTR title) override {
    const LONG index = titleLine > 0 ? titleLine - 1 : titleLine;
    const int line = index < 0 || index > 2 ? -1 : static_cast<int>(index);
    std::string text;
    try {
      text = Text(title);
    } catch (const std::exception&) {
      return Fail("CIVEXAPC::SetTitleLine - Error Setting Page Title in Slide Show");
    }
    const char* step = "CIVEXAPC::SetTitleLine - Error Setting Page Title in Slide Show";
    try {
      if (!pageTitleSet_ || index == 0) {
        show_.SetPageTitle(text);
        pageTitleSet_ = true;
      }
      step = "CIVEXAPC::SetTitleLine - Error Setting Title in Slide Show";
      show_.SetTitleLine(line, text);
      step = "CIVEXAPC::SetTitleLine - Error Setting Title in Album";
      album_.SetTitleLine(line, text);
      step = "CIVEXAPC::SetTitleLine - Error Setting Title in Menu";
      menu_.SetTitleLine(line, text);
    } catch (const std::exception&) {
      return Fail(step);
    }
    return S_OK;
  }

  // The pages call the photo by its title (the disc engine gives the
  // user's file name when it has no title); without one, by the still's
  // file name.
  HRESULT AddStill(BSTR stillFile, BSTR stillTitle, DATE /*destCtime*/, LONG stillWidth, LONG stillHeight,
                   BSTR thumbPath, DATE /*thumbCtime*/, LONG thumbWidth, LONG thumbHeight) override {
    const char* step = "CIVEXAPC::AddStill - Error adding still to slide show.";
    try {
      const std::string still = Text(stillFile);
      const std::string name = Text(stillTitle);
      LONG w = stillWidth, h = stillHeight;
      FitSize(kSlideBoxW, kSlideBoxH, &w, &h);
      if (show_.Add(still, stillDelay_, w, h, -1, name) != 0) return Fail(step);

      w = stillWidth;
      h = stillHeight;
      FitSize(kViewBoxW, kViewBoxH, &w, &h);
      LONG tw = thumbWidth, th = thumbHeight;
      FitSize(kThumbBoxW, kThumbBoxH, &tw, &th);
      if (album_.Add(still, Text(thumbPath), w, h, tw, th, -1, name) != 0) return Fail(step);

      if (stillCount_ == 0) {
        step = "CIVEXAPC::AddStill - Error adding first slide to Menu.";
        w = stillWidth;
        h = stillHeight;
        FitSize(kMenuBoxW, kMenuBoxH, &w, &h);
        menu_.SetPicture(still, w, h);
      }
      ++stillCount_;
    } catch (const std::exception&) {
      return Fail(step);
    }
    return S_OK;
  }

  HRESULT put_StillDelay(LONG newVal) override {
    stillDelay_ = std::clamp<LONG>(newVal / 1000, 0, 100);
    return S_OK;
  }

  HRESULT MakeSlideShow(BSTR destinationDirectory) override {
    if (workFolder_.empty()) return Fail("CIVEXAPC::MakeSlideShow - No work directory.");
    try {
      if (show_.Make(workFolder_, Text(destinationDirectory), true, *texts_) != kMade) {
        return Fail("CIVEXAPC::MakeSlideShow - Error making slide show.");
      }
    } catch (const std::exception&) {
      return Fail("CIVEXAPC::MakeSlideShow - Error making slide show.");
    }
    if (!CopySupportFilesOnce()) return Fail("CIVEXAPC::MakeSlideShow - Error copying support files.");
    return S_OK;
  }

  HRESULT MakeAlbum(BSTR destinationDirectory) override {
    if (workFolder_.empty()) return Fail("CIVEXAPC::MakeAlbum - No work directory.");
    try {
      if (album_.Make(workFolder_, Text(destinationDirectory), true, *texts_) != kMade) {
        return Fail("CIVEXAPC::MakeAlbum - Error making album.");
      }
    } catch (const std::exception&) {
      return Fail("CIVEXAPC::MakeAlbum - Error making album.");
    }
    if (!CopySupportFilesOnce()) return Fail("CIVEXAPC::CopySupportFiles - Error copying support files.");
    return S_OK;
  }

  HRESULT MakeMenu(BSTR bstrDestinationDirectory) override {
    if (workFolder_.empty()) return Fail("CIVEXAPC::MakeMenu - No work directory.");
    try {
      menu_.SetTotal(stillCount_);
      menu_.SetDownloadVersion(downloadVersion_);
      if (menu_.Make(workFolder_, Text(bstrDestinationDirectory), true, *texts_) != kMade) {
        return Fail("CIVEXAPC::MakeMenu - Error making Menu.");
      }
    } catch (const std::exception&) {
      return Fail("CIVEXAPC::MakeMenu - Error making Menu.");
    }
    if (!CopySupportFilesOnce()) return Fail("CIVEXAPC::CopySupportFiles - Error copying support files.");
    return S_OK;
  }

  HRESULT Clean() override {
    supportCopied_ = false;
    if (workFolder_.empty() || !EmptyTree(workFolder_)) return Fail("CIVEXAPC::Clean - Error deleting support files.");
    stillCount_ = 0;
    return S_OK;
  }

  HRESULT get_WorkDirectory(BSTR* pVal) override {
    if (!pVal) return E_POINTER;
    *pVal = Bstr::FromUtf8(workFolder_).Detach();
    return *pVal ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT put_WorkDirectory(BSTR newVal) override {
    workFolder_ = Text(newVal);
    return S_OK;
  }

 private:
  // Copies the support folder's tree into the work folder once, after the
  // first page set was written: the flag is set first, so a failed copy is
  // not tried again until Clean.
  bool CopySupportFilesOnce() {
    if (supportCopied_) return true;
    supportCopied_ = true;
    return CopyTree(base::ToNativePath(supportFolder_), workFolder_);
  }

  bool comInitialized_ = false;
  LONG stillDelay_ = 6;
  std::string workFolder_;
  std::string downloadVersion_;
  bool supportCopied_ = false;
  std::string supportFolder_;
  bool pageTitleSet_ = false;
  LONG stillCount_ = 0;
  HtmlSlideShow show_;
  HtmlAlbum album_;
  HtmlMenuPage menu_;
  const LanguageTexts* texts_ = nullptr;
};

// ---- IDispatch -------------------------------------------------------------------
// Method arguments arrive in DISPPARAMS, last first; each is converted to the
// parameter's type.

class Args {
 public:
  Args(DISPPARAMS* p, UINT count) : params_(p), count_(count) {
    if (!p || p->cNamedArgs != 0) hr = DISP_E_PARAMNOTFOUND;
    else if (p->cArgs != count) hr = DISP_E_BADPARAMCOUNT;
  }
  bool ok() const { return SUCCEEDED(hr); }
  // The i-th argument in interface order, as vt.
  bool Get(UINT i, VARTYPE vt, Variant* out) {
    if (FAILED(hr)) return false;
    hr = detail::CoerceArgument(&params_->rgvarg[count_ - 1 - i], vt, out);
    return SUCCEEDED(hr);
  }
  HRESULT hr = S_OK;

 private:
  DISPPARAMS* params_;
  UINT count_;
};

std::span<const DispatchEntry<CIVEXAPC>> CIVEXAPC::DispatchTable() {
  using C = CIVEXAPC;
  using P = DISPPARAMS;
  static const DispatchEntry<C> kTable[] = {
      DispMethod<C>(1, u"AddAudioTrack", [](C* self, P* p, VARIANT*) -> HRESULT {
        Args a(p, 1);
        Variant file;
        if (!a.Get(0, VT_BSTR, &file)) return a.hr;
        return self->AddAudioTrack(file.bstrVal);
      }),
      DispMethod<C>(2, u"SetTitleLine", [](C* self, P* p, VARIANT*) -> HRESULT {
        Args a(p, 2);
        Variant line, title;
        if (!a.Get(0, VT_I4, &line) || !a.Get(1, VT_BSTR, &title)) return a.hr;
        return self->SetTitleLine(line.lVal, title.bstrVal);
      }),
      DispMethod<C>(3, u"AddStill", [](C* self, P* p, VARIANT*) -> HRESULT {
        Args a(p, 9);
        Variant v[9];
        const VARTYPE types[9] = {VT_BSTR, VT_BSTR, VT_DATE, VT_I4, VT_I4, VT_BSTR, VT_DATE, VT_I4, VT_I4};
        for (UINT i = 0; i < 9; ++i) {
          if (!a.Get(i, types[i], &v[i])) return a.hr;
        }
        return self->AddStill(v[0].bstrVal, v[1].bstrVal, v[2].date, v[3].lVal, v[4].lVal, v[5].bstrVal, v[6].date,
                              v[7].lVal, v[8].lVal);
      }),
      [] {
        DispatchEntry<C> e{4, u"StillDelay"};
        e.put = [](C* self, VARIANT* value) -> HRESULT {
          Variant ms;
          if (HRESULT hr = detail::CoerceArgument(value, VT_I4, &ms); FAILED(hr)) return hr;
          return self->put_StillDelay(ms.lVal);
        };
        return e;
      }(),
      DispMethod<C>(5, u"MakeSlideShow", [](C* self, P* p, VARIANT*) -> HRESULT {
        Args a(p, 1);
        Variant dest;
        if (!a.Get(0, VT_BSTR, &dest)) return a.hr;
        return self->MakeSlideShow(dest.bstrVal);
      }),
      DispMethod<C>(6, u"MakeAlbum", [](C* self, P* p, VARIANT*) -> HRESULT {
        Args a(p, 1);
        Variant dest;
        if (!a.Get(0, VT_BSTR, &dest)) return a.hr;
        return self->MakeAlbum(dest.bstrVal);
      }),
      DispMethod<C>(7, u"Clean", [](C* self, P* p, VARIANT*) -> HRESULT {
        Args a(p, 0);
        if (!a.ok()) return a.hr;
        return self->Clean();
      }),
      DispProperty<&C::get_WorkDirectory, &C::put_WorkDirectory>(8, u"WorkDirectory"),
      DispMethod<C>(9, u"MakeMenu", [](C* self, P* p, VARIANT*) -> HRESULT {
        Args a(p, 1);
        Variant dest;
        if (!a.Get(0, VT_BSTR, &dest)) return a.hr;
        return self->MakeMenu(dest.bstrVal);
      }),
  };
  return kTable;
}

}  // namespace

void FitSize(LONG boxWidth, LONG boxHeight, LONG* width, LONG* height) {
  std::int64_t w = *width, h = *height;
  const std::int64_t W = boxWidth, H = boxHeight;
  if (w > W) {
    h = h - ((w - W) * h) / w;
    w = W;
  }
  if (h > H) {
    w = w - ((h - H) * w) / h;
    h = H;
  }
  *width = static_cast<LONG>(std::max<std::int64_t>(w, 1));
  *height = static_cast<LONG>(std::max<std::int64_t>(h, 1));
}

HRESULT CreateIVEXAPC(REFIID iid, void** ppv) { return ComObject<CIVEXAPC>::CreateInstance(iid, ppv); }

}  // namespace vexa::pcpages
