// The model classes: album, still, audio track, title slide, file
// references, disc manifest and its generation info, embedded record.
#include <cmath>

#include "model/Model_p.h"

using namespace vexa::com;

namespace vexa::model {
namespace {

// String properties: a getter hands out a copy (a never-set string reads as
// empty), a setter stores a copy (null leaves the property unset).
HRESULT GetString(const Bstr& s, BSTR* out) {
  if (!out) return E_POINTER;
  *out = s.IsNull() ? SysAllocString(u"") : s.Copy();
  return *out ? S_OK : E_OUTOFMEMORY;
}
HRESULT PutString(Bstr& s, BSTR v) {
  s = v ? Bstr(BstrView(v)) : Bstr();
  return S_OK;
}
template <typename V>
HRESULT GetValue(V value, V* out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}
template <typename I>
HRESULT GetChild(const ComPtr<I>& child, I** out) {
  if (!out) return E_POINTER;
  return child.CopyTo(out);
}

#define VEXA_STRING_PROPERTY(name)                                            \
  HRESULT get_##name(BSTR* v) override { return GetString(name##_, v); }      \
  HRESULT put_##name(BSTR v) override { return PutString(name##_, v); }       \
  Bstr name##_;

#define VEXA_VALUE_PROPERTY(type, name)                                       \
  HRESULT get_##name(type* v) override { return GetValue(name##_, v); }       \
  HRESULT put_##name(type v) override {                                       \
    name##_ = v;                                                              \
    return S_OK;                                                              \
  }

// Common bases of a model class T with dual interface Itf.
template <typename T, typename Itf>
class ModelObject : public ComObjectRoot,
                    public DispatchImpl<T, Itf>,
                    public IPersistXMLPropertyBagImpl<T>,
                    public SupportErrorInfoImpl<Itf> {
 public:
  using Interfaces =
      InterfaceMap<Itf, Via<IDispatch, Itf>, IPersistXMLPropertyBag, ISupportErrorInfo>;
  static const TypeLibraryId& TypeLibrary() { return kVEXAXMLLib; }

 protected:
  HRESULT Error(std::string_view text, HRESULT code) {
    return ModelError(T::kClassId, IidOf<Itf>(), text, code);
  }
};

// ---- TitleSlide ---------------------------------------------------------------------

class CTitleSlide : public ModelObject<CTitleSlide, ITitleSlide> {
 public:
  static constexpr const CLSID& kClassId = CLSID_TitleSlide;
  static std::span<const DispatchEntry<CTitleSlide>> DispatchTable() {
    static const DispatchEntry<CTitleSlide> t[] = {
        DispProperty<&CTitleSlide::get_line1, &CTitleSlide::put_line1>(1, u"line1"),
        DispProperty<&CTitleSlide::get_line2, &CTitleSlide::put_line2>(2, u"line2"),
        DispProperty<&CTitleSlide::get_line3, &CTitleSlide::put_line3>(3, u"line3"),
    };
    return t;
  }
  static std::span<const PersistEntry> PersistOrder() {
    static const PersistEntry t[] = {{1}, {2}, {3}};
    return t;
  }
  VEXA_STRING_PROPERTY(line1)
  VEXA_STRING_PROPERTY(line2)
  VEXA_STRING_PROPERTY(line3)
};

// ---- The four file references: identifier and one file name ---------------------------

#define VEXA_FILE_REFERENCE_CLASS(Class, Itf, fileProp)                                       \
  class C##Class : public ModelObject<C##Class, Itf> {                                        \
   public:                                                                                    \
    static constexpr const CLSID& kClassId = CLSID_##Class;                                   \
    static std::span<const DispatchEntry<C##Class>> DispatchTable() {                         \
      static const DispatchEntry<C##Class> t[] = {                                            \
          DispProperty<&C##Class::get_identifier, &C##Class::put_identifier>(1, u"identifier"), \
          DispProperty<&C##Class::get_##fileProp, &C##Class::put_##fileProp>(2, u## #fileProp), \
      };                                                                                      \
      return t;                                                                               \
    }                                                                                         \
    static std::span<const PersistEntry> PersistOrder() {                                     \
      static const PersistEntry t[] = {{1}, {2}};                                             \
      return t;                                                                               \
    }                                                                                         \
    VEXA_STRING_PROPERTY(identifier)                                                          \
    VEXA_STRING_PROPERTY(fileProp)                                                            \
  };

VEXA_FILE_REFERENCE_CLASS(VCDSlideShow, IVCDSlideShow, trackFilename)
VEXA_FILE_REFERENCE_CLASS(PDFFile, IPDFFile, pdfFilename)
VEXA_FILE_REFERENCE_CLASS(HTMLFile, IHTMLFile, htmlFilename)
VEXA_FILE_REFERENCE_CLASS(AlbumInfo, IAlbumInfo, manifestFilename)

// ---- EmbedImage -----------------------------------------------------------------------

class CEmbedImage : public ModelObject<CEmbedImage, IEmbedImage> {
 public:
  static constexpr const CLSID& kClassId = CLSID_EmbedImage;
  static std::span<const DispatchEntry<CEmbedImage>> DispatchTable() {
    static const DispatchEntry<CEmbedImage> t[] = {
        DispProperty<&CEmbedImage::get_originalIdentifier, &CEmbedImage::put_originalIdentifier>(
            3, u"originalIdentifier"),
        DispProperty<&CEmbedImage::get_resolution, &CEmbedImage::put_resolution>(4, u"resolution"),
    };
    return t;
  }
  static std::span<const PersistEntry> PersistOrder() {
    static const PersistEntry t[] = {{3}, {4}};
    return t;
  }
  VEXA_STRING_PROPERTY(originalIdentifier)
  VEXA_VALUE_PROPERTY(VEXAXMLStillImageResolution, resolution)

 private:
  VEXAXMLStillImageResolution resolution_ = VEXAXMLStillImageUnknownResolution;
};

// ---- StillImage -----------------------------------------------------------------------

class CStillImage : public ModelObject<CStillImage, IStillImage> {
 public:
  static constexpr const CLSID& kClassId = CLSID_StillImage;
  using C = CStillImage;
  static std::span<const DispatchEntry<C>> DispatchTable() {
    static const DispatchEntry<C> t[] = {
        DispProperty<&C::get_odWebResFilename, &C::put_odWebResFilename>(2, u"odWebResFilename"),
        DispProperty<&C::get_odThumbResFilename, &C::put_odThumbResFilename>(3, u"odThumbResFilename"),
        DispProperty<&C::get_odFullResFilename, &C::put_odFullResFilename>(4, u"odFullResFilename"),
        DispProperty<&C::get_title, &C::put_title>(5, u"title"),
        DispProperty<&C::get_destCTime, &C::put_destCTime, VT_DATE>(6, u"destCTime"),
        DispProperty<&C::get_destRotate, &C::put_destRotate>(7, u"destRotate"),
        DispProperty<&C::get_destSizingBehavior, &C::put_destSizingBehavior>(8, u"destSizingBehavior"),
        DispProperty<&C::get_identifier, &C::put_identifier>(9, u"identifier"),
        DispProperty<&C::get_originalFilename, &C::put_originalFilename>(1, u"originalFilename"),
        DispProperty<&C::get_discOriginal9660Filename, &C::put_discOriginal9660Filename>(
            10, u"discOriginal9660Filename"),
        DispProperty<&C::get_discOriginalJolietFilename, &C::put_discOriginalJolietFilename>(
            11, u"discOriginalJolietFilename"),
        DispProperty<&C::get_albumOriginal9660Filename, &C::put_albumOriginal9660Filename>(
            12, u"albumOriginal9660Filename"),
        DispProperty<&C::get_albumOriginalJolietFilename, &C::put_albumOriginalJolietFilename>(
            13, u"albumOriginalJolietFilename"),
        DispProperty<&C::get_odOriginalFilename, &C::put_odOriginalFilename>(14, u"odOriginalFilename"),
        DispProperty<&C::get_isTitleStill, &C::put_isTitleStill, VT_BOOL>(15, u"isTitleStill"),
        DispProperty<&C::get_width, &C::put_width>(16, u"width"),
        DispProperty<&C::get_height, &C::put_height>(17, u"height"),
        DispProperty<&C::get_albumFullRes9660Filename, &C::put_albumFullRes9660Filename>(
            18, u"albumFullRes9660Filename"),
        DispProperty<&C::get_albumFullResJolietFilename, &C::put_albumFullResJolietFilename>(
            19, u"albumFullResJolietFilename"),
    };
    return t;
  }
  static std::span<const PersistEntry> PersistOrder() {
    static const PersistEntry t[] = {{1},  {9}, {16}, {17}, {10}, {11}, {12}, {13}, {18}, {19},
                                     {14}, {2}, {3},  {4},  {5},  {6},  {7},  {8},  {15}};
    return t;
  }

  VEXA_STRING_PROPERTY(odWebResFilename)
  VEXA_STRING_PROPERTY(odThumbResFilename)
  VEXA_STRING_PROPERTY(odFullResFilename)
  VEXA_STRING_PROPERTY(title)
  VEXA_VALUE_PROPERTY(DATE, destCTime)
  VEXA_VALUE_PROPERTY(LONG, destRotate)
  VEXA_VALUE_PROPERTY(VEXAXMLPictureSizingBehavior, destSizingBehavior)
  VEXA_STRING_PROPERTY(identifier)
  VEXA_STRING_PROPERTY(originalFilename)
  VEXA_STRING_PROPERTY(discOriginal9660Filename)
  VEXA_STRING_PROPERTY(discOriginalJolietFilename)
  VEXA_STRING_PROPERTY(albumOriginal9660Filename)
  VEXA_STRING_PROPERTY(albumOriginalJolietFilename)
  VEXA_STRING_PROPERTY(odOriginalFilename)
  HRESULT get_isTitleStill(VARIANT_BOOL* v) override { return GetValue(isTitleStill_, v); }
  HRESULT put_isTitleStill(VARIANT_BOOL v) override {
    if (v != VARIANT_TRUE && v != VARIANT_FALSE) {
      return Error("IStillImage::put_isTitleStill - invalid VARIANT_BOOL", E_INVALIDARG);
    }
    isTitleStill_ = v;
    return S_OK;
  }
  VEXA_VALUE_PROPERTY(LONG, width)
  VEXA_VALUE_PROPERTY(LONG, height)
  VEXA_STRING_PROPERTY(albumFullRes9660Filename)
  VEXA_STRING_PROPERTY(albumFullResJolietFilename)

 private:
  DATE destCTime_ = kNoDate;
  LONG destRotate_ = 0;
  VEXAXMLPictureSizingBehavior destSizingBehavior_ = VEXAXMLPictureDefault;
  VARIANT_BOOL isTitleStill_ = VARIANT_FALSE;
  LONG width_ = 0;
  LONG height_ = 0;
};

// ---- Audio ------------------------------------------------------------------------------

class CAudio : public ModelObject<CAudio, IAudio> {
 public:
  static constexpr const CLSID& kClassId = CLSID_Audio;
  using C = CAudio;
  static std::span<const DispatchEntry<C>> DispatchTable() {
    static const DispatchEntry<C> t[] = {
        DispProperty<&C::get_odFullResFilename, &C::put_odFullResFilename>(1, u"odFullResFilename"),
        DispProperty<&C::get_destCTime, &C::put_destCTime, VT_DATE>(2, u"destCTime"),
        DispProperty<&C::get_originalFilename, &C::put_originalFilename>(3, u"originalFilename"),
        DispProperty<&C::get_identifier, &C::put_identifier>(9, u"identifier"),
        DispProperty<&C::get_discOriginal9660Filename, &C::put_discOriginal9660Filename>(
            10, u"discOriginal9660Filename"),
        DispProperty<&C::get_discOriginalJolietFilename, &C::put_discOriginalJolietFilename>(
            11, u"discOriginalJolietFilename"),
        DispProperty<&C::get_albumOriginal9660Filename, &C::put_albumOriginal9660Filename>(
            12, u"albumOriginal9660Filename"),
        DispProperty<&C::get_albumOriginalJolietFilename, &C::put_albumOriginalJolietFilename>(
            13, u"albumOriginalJolietFilename"),
        DispProperty<&C::get_odOriginalFilename, &C::put_odOriginalFilename>(14, u"odOriginalFilename"),
    };
    return t;
  }
  static std::span<const PersistEntry> PersistOrder() {
    static const PersistEntry t[] = {{3}, {9}, {10}, {11}, {12}, {13}, {14}, {1}, {2}};
    return t;
  }
  VEXA_STRING_PROPERTY(odFullResFilename)
  VEXA_VALUE_PROPERTY(DATE, destCTime)
  VEXA_STRING_PROPERTY(originalFilename)
  VEXA_STRING_PROPERTY(identifier)
  VEXA_STRING_PROPERTY(discOriginal9660Filename)
  VEXA_STRING_PROPERTY(discOriginalJolietFilename)
  VEXA_STRING_PROPERTY(albumOriginal9660Filename)
  VEXA_STRING_PROPERTY(albumOriginalJolietFilename)
  VEXA_STRING_PROPERTY(odOriginalFilename)

 private:
  DATE destCTime_ = kNoDate;
};

// ---- DiscGenerationInfo ------------------------------------------------------------------

class CDiscGenerationInfo : public ModelObject<CDiscGenerationInfo, IDiscGenerationInfo> {
 public:
  static constexpr const CLSID& kClassId = CLSID_DiscGenerationInfo;
  using C = CDiscGenerationInfo;
  static std::span<const DispatchEntry<C>> DispatchTable() {
    static const DispatchEntry<C> t[] = {
        DispProperty<&C::get_copyrightFileIdentifier, &C::put_copyrightFileIdentifier>(
            1, u"copyrightFileIdentifier"),
        DispProperty<&C::get_abstractFileIdentifier, &C::put_abstractFileIdentifier>(
            3, u"abstractFileIdentifier"),
        DispProperty<&C::get_publisherIdentifier, &C::put_publisherIdentifier>(2, u"publisherIdentifier"),
        DispProperty<&C::get_bibliographicalFileIdentifier, &C::put_bibliographicalFileIdentifier>(
            4, u"bibliographicalFileIdentifier"),
        DispProperty<&C::get_expiresDate, &C::put_expiresDate, VT_DATE>(5, u"expiresDate"),
        DispProperty<&C::get_effectiveDate, &C::put_effectiveDate, VT_DATE>(6, u"effectiveDate"),
        DispProperty<&C::get_dataPreparerIdentifier, &C::put_dataPreparerIdentifier>(
            7, u"dataPreparerIdentifier"),
        DispProperty<&C::get_createdDate, &C::put_createdDate, VT_DATE>(8, u"createdDate"),
        DispProperty<&C::get_modifiedDate, &C::put_modifiedDate, VT_DATE>(9, u"modifiedDate"),
        DispProperty<&C::get_applicationIdentifier, &C::put_applicationIdentifier>(
            10, u"applicationIdentifier"),
    };
    return t;
  }
  static std::span<const PersistEntry> PersistOrder() {
    static const PersistEntry t[] = {{1}, {2}, {10}, {7}, {3}, {4}, {8}, {9}, {5}, {6}};
    return t;
  }

  HRESULT get_copyrightFileIdentifier(BSTR* v) override {
    // This getter reports its own text when the copy cannot be made.
    if (!v) return Error("CopyTo failed", E_FAIL);
    *v = copyrightFileIdentifier_.IsNull() ? SysAllocString(u"") : copyrightFileIdentifier_.Copy();
    if (!*v) return Error("CopyTo failed", E_FAIL);
    return S_OK;
  }
  HRESULT put_copyrightFileIdentifier(BSTR v) override {
    return PutString(copyrightFileIdentifier_, v);
  }
  VEXA_STRING_PROPERTY(abstractFileIdentifier)
  VEXA_STRING_PROPERTY(publisherIdentifier)
  VEXA_STRING_PROPERTY(bibliographicalFileIdentifier)
  VEXA_VALUE_PROPERTY(DATE, expiresDate)
  VEXA_VALUE_PROPERTY(DATE, effectiveDate)
  VEXA_STRING_PROPERTY(dataPreparerIdentifier)
  VEXA_VALUE_PROPERTY(DATE, createdDate)
  VEXA_VALUE_PROPERTY(DATE, modifiedDate)
  VEXA_STRING_PROPERTY(applicationIdentifier)

 private:
  Bstr copyrightFileIdentifier_;
  DATE expiresDate_ = kNoDate;
  DATE effectiveDate_ = kNoDate;
  DATE createdDate_ = kNoDate;
  DATE modifiedDate_ = kNoDate;
};

// Gives a file reference a new identifier and its file name.
template <typename I>
HRESULT NameFileReference(const char16_t* fileName, HRESULT (I::*putName)(BSTR), I* ref) {
  Bstr id;
  HRESULT hr = NewIdentifier(id.Out());
  if (FAILED(hr)) return hr;
  hr = ref->put_identifier(id.Get());
  if (FAILED(hr)) return hr;
  Bstr name(fileName);
  return (ref->*putName)(name.Get());
}

// Makes a new file reference and names it.
template <typename I>
HRESULT MakeFileReference(HRESULT (*create)(REFIID, void**), const char16_t* fileName,
                          HRESULT (I::*putName)(BSTR), ComPtr<I>* out) {
  HRESULT hr = Make(create, out->Put());
  if (FAILED(hr)) return hr;
  return NameFileReference(fileName, putName, out->Get());
}

// ---- StillsSlideShow1 ----------------------------------------------------------------------

constexpr LONG kUnsetDuration = -3615898;

class CStillsSlideShow1 : public ModelObject<CStillsSlideShow1, IStillsSlideShow1> {
 public:
  static constexpr const CLSID& kClassId = CLSID_StillsSlideShow1;
  using C = CStillsSlideShow1;
  static std::span<const DispatchEntry<C>> DispatchTable() {
    static const DispatchEntry<C> t[] = {
        DispProperty<&C::get_stillTitleVisibleTime, &C::put_stillTitleVisibleTime>(
            1, u"stillTitleVisibleTime"),
        DispProperty<&C::get_stillDelay, &C::put_stillDelay>(2, u"stillDelay"),
        DispProperty<&C::get_stillImages>(3, u"stillImages"),
        DispProperty<&C::get_audios>(4, u"audios"),
        DispProperty<&C::get_titleSlide>(5, u"titleSlide"),
        DispProperty<&C::get_identifier, &C::put_identifier>(6, u"identifier"),
        DispProperty<&C::get_tvSystem, &C::put_tvSystem>(7, u"tvSystem"),
        DispProperty<&C::get_paperSize, &C::put_paperSize>(8, u"paperSize"),
        DispProperty<&C::get_vcdSlideShow>(9, u"vcdSlideShow"),
        DispProperty<&C::get_cdCaseInsert>(11, u"cdCaseInsert"),
        DispProperty<&C::get_contactSheet>(12, u"contactSheet"),
        DispProperty<&C::get_multiSizePrints>(13, u"multiSizePrints"),
        DispProperty<&C::get_albumHomePage>(14, u"albumHomePage"),
        DispProperty<&C::get_albumBrowseHomePage>(15, u"albumBrowseHomePage"),
        DispProperty<&C::get_albumSlideShowHomePage>(16, u"albumSlideShowHomePage"),
    };
    return t;
  }
  static std::span<const PersistEntry> PersistOrder() {
    // The four defaults are those every new album starts with: unchanged
    // values are written as empty elements.
    static const PersistEntry t[] = {
        {6},
        {7, true, VEXAXMLTVINVALID},
        {8, true, VEXAXMLPaperSizeInvalid},
        {1, true, kUnsetDuration},
        {2, true, kUnsetDuration},
        {3}, {4}, {5}, {9}, {11}, {12}, {13}, {14}, {15}, {16},
    };
    return t;
  }

  HRESULT FinalConstruct() {
    tvSystem_ = VEXAXMLTVINVALID;
    paperSize_ = VEXAXMLPaperSizeInvalid;
    if (FAILED(Make(CreateTitleSlide, titleSlide_.Put()))) {
      return Error("IStillsSlideShow1::FinalConstruct - Can't create empty TitleSlide", E_FAIL);
    }
    if (FAILED(Make(CreateSeqOfAudio, audios_.Put()))) {
      return Error("IStillsSlideShow1::FinalConstruct - Can't create empty SeqOfAudio", E_FAIL);
    }
    if (FAILED(Make(CreateSeqOfStillImage, stillImages_.Put()))) {
      return Error("IStillsSlideShow1::FinalConstruct - Can't create empty SeqOfStillImage", E_FAIL);
    }
    // Only the making of the first reference has its own text; a failure
    // to name it, or to make or name the others, ends with its own code.
    if (FAILED(Make(CreatePDFFile, cdCaseInsert_.Put()))) {
      return Error("IStillSlideShow1::FinalConstruct - cant create empty PDFFile", E_FAIL);
    }
    HRESULT hr = NameFileReference(u"PRINT/PDF/INSERT.PDF", &IPDFFile::put_pdfFilename,
                                   cdCaseInsert_.Get());
    if (SUCCEEDED(hr)) {
      hr = MakeFileReference(CreateVCDSlideShow, u"/MPEGAV/AVSEQ01.DAT",
                             &IVCDSlideShow::put_trackFilename, &vcdSlideShow_);
    }
    if (SUCCEEDED(hr)) {
      hr = MakeFileReference(CreatePDFFile, u"PRINT/PDF/CONTACT.PDF", &IPDFFile::put_pdfFilename,
                             &contactSheet_);
    }
    if (SUCCEEDED(hr)) {
      hr = MakeFileReference(CreatePDFFile, u"PRINT/PDF/PRINTS.PDF", &IPDFFile::put_pdfFilename,
                             &multiSizePrints_);
    }
    if (SUCCEEDED(hr)) {
      hr = MakeFileReference(CreateHTMLFile, u"VIEW/ALBUM.HTM", &IHTMLFile::put_htmlFilename,
                             &albumHomePage_);
    }
    if (SUCCEEDED(hr)) {
      hr = MakeFileReference(CreateHTMLFile, u"VIEW/BROWSE/BROWSE.HTM",
                             &IHTMLFile::put_htmlFilename, &albumBrowseHomePage_);
    }
    if (SUCCEEDED(hr)) {
      hr = MakeFileReference(CreateHTMLFile, u"VIEW/SHOW/SHOW.HTM", &IHTMLFile::put_htmlFilename,
                             &albumSlideShowHomePage_);
    }
    return hr;
  }

  // Held as doubles; read back truncated toward zero.
  HRESULT get_stillTitleVisibleTime(LONG* v) override {
    return GetValue(static_cast<LONG>(std::trunc(stillTitleVisibleTime_)), v);
  }
  HRESULT put_stillTitleVisibleTime(LONG v) override {
    stillTitleVisibleTime_ = v;
    return S_OK;
  }
  HRESULT get_stillDelay(LONG* v) override {
    return GetValue(static_cast<LONG>(std::trunc(stillDelay_)), v);
  }
  HRESULT put_stillDelay(LONG v) override {
    stillDelay_ = v;
    return S_OK;
  }
  HRESULT get_stillImages(ISeqOfStillImage** v) override { return GetChild(stillImages_, v); }
  HRESULT get_audios(ISeqOfAudio** v) override { return GetChild(audios_, v); }
  HRESULT get_titleSlide(ITitleSlide** v) override { return GetChild(titleSlide_, v); }
  VEXA_STRING_PROPERTY(identifier)
  VEXA_VALUE_PROPERTY(VEXAXMLTVSystem, tvSystem)
  VEXA_VALUE_PROPERTY(VEXAXMLPaperSize, paperSize)
  HRESULT get_vcdSlideShow(IVCDSlideShow** v) override { return GetChild(vcdSlideShow_, v); }
  HRESULT get_cdCaseInsert(IPDFFile** v) override { return GetChild(cdCaseInsert_, v); }
  HRESULT get_contactSheet(IPDFFile** v) override { return GetChild(contactSheet_, v); }
  HRESULT get_multiSizePrints(IPDFFile** v) override { return GetChild(multiSizePrints_, v); }
  HRESULT get_albumHomePage(IHTMLFile** v) override { return GetChild(albumHomePage_, v); }
  HRESULT get_albumBrowseHomePage(IHTMLFile** v) override {
    return GetChild(albumBrowseHomePage_, v);
  }
  HRESULT get_albumSlideShowHomePage(IHTMLFile** v) override {
    return GetChild(albumSlideShowHomePage_, v);
  }

 private:
  double stillTitleVisibleTime_ = kUnsetDuration;
  double stillDelay_ = kUnsetDuration;
  VEXAXMLTVSystem tvSystem_ = VEXAXMLTVINVALID;
  VEXAXMLPaperSize paperSize_ = VEXAXMLPaperSizeInvalid;
  ComPtr<ITitleSlide> titleSlide_;
  ComPtr<ISeqOfAudio> audios_;
  ComPtr<ISeqOfStillImage> stillImages_;
  ComPtr<IPDFFile> cdCaseInsert_;
  ComPtr<IVCDSlideShow> vcdSlideShow_;
  ComPtr<IPDFFile> contactSheet_;
  ComPtr<IPDFFile> multiSizePrints_;
  ComPtr<IHTMLFile> albumHomePage_;
  ComPtr<IHTMLFile> albumBrowseHomePage_;
  ComPtr<IHTMLFile> albumSlideShowHomePage_;
};

// ---- DiscManifest ---------------------------------------------------------------------------

class CDiscManifest : public ModelObject<CDiscManifest, IDiscManifest> {
 public:
  static constexpr const CLSID& kClassId = CLSID_DiscManifest;
  using C = CDiscManifest;
  static std::span<const DispatchEntry<C>> DispatchTable() {
    static const DispatchEntry<C> t[] = {
        DispProperty<&C::get_discGenerationInfo>(1, u"discGenerationInfo"),
        DispProperty<&C::get_volumeIdentifier, &C::put_volumeIdentifier>(2, u"volumeIdentifier"),
        DispProperty<&C::get_specVersion, &C::put_specVersion>(3, u"specVersion"),
        DispProperty<&C::get_discIdentifier, &C::put_discIdentifier>(4, u"discIdentifier"),
        DispProperty<&C::get_albums>(6, u"albums"),
        DispProperty<&C::get_discHomePage>(5, u"discHomePage"),
    };
    return t;
  }
  static std::span<const PersistEntry> PersistOrder() {
    static const PersistEntry t[] = {{2}, {3}, {4}, {1}, {5}, {6}};
    return t;
  }

  HRESULT FinalConstruct() {
    // These two are made through the registry.
    if (FAILED(CoCreateInstance(CLSID_DiscGenerationInfo, nullptr, CLSCTX_ALL,
                                IID_IDiscGenerationInfo, discGenerationInfo_.PutVoid()))) {
      return Error("can't create empty DiscGenerationInfo", E_FAIL);
    }
    if (FAILED(CoCreateInstance(CLSID_SeqOfAlbumInfo, nullptr, CLSCTX_ALL, IID_ISeqOfAlbumInfo,
                                albums_.PutVoid()))) {
      return Error("can't create empty SeqOfAlbumInfo", E_FAIL);
    }
    return MakeFileReference(CreateHTMLFile, u"/HOMEPAGE.HTM", &IHTMLFile::put_htmlFilename,
                             &discHomePage_);
  }

  HRESULT get_discGenerationInfo(IDiscGenerationInfo** v) override {
    return GetChild(discGenerationInfo_, v);
  }
  VEXA_STRING_PROPERTY(volumeIdentifier)
  VEXA_STRING_PROPERTY(specVersion)
  VEXA_STRING_PROPERTY(discIdentifier)
  HRESULT get_albums(ISeqOfAlbumInfo** v) override { return GetChild(albums_, v); }
  HRESULT get_discHomePage(IHTMLFile** v) override { return GetChild(discHomePage_, v); }

 private:
  ComPtr<IDiscGenerationInfo> discGenerationInfo_;
  ComPtr<ISeqOfAlbumInfo> albums_;
  ComPtr<IHTMLFile> discHomePage_;
};

}  // namespace

HRESULT CreateStillsSlideShow1(REFIID iid, void** ppv) {
  return ComObject<CStillsSlideShow1>::CreateInstance(iid, ppv);
}
HRESULT CreateStillImage(REFIID iid, void** ppv) {
  return ComObject<CStillImage>::CreateInstance(iid, ppv);
}
HRESULT CreateAudio(REFIID iid, void** ppv) { return ComObject<CAudio>::CreateInstance(iid, ppv); }
HRESULT CreateTitleSlide(REFIID iid, void** ppv) {
  return ComObject<CTitleSlide>::CreateInstance(iid, ppv);
}
HRESULT CreateVCDSlideShow(REFIID iid, void** ppv) {
  return ComObject<CVCDSlideShow>::CreateInstance(iid, ppv);
}
HRESULT CreatePDFFile(REFIID iid, void** ppv) {
  return ComObject<CPDFFile>::CreateInstance(iid, ppv);
}
HRESULT CreateHTMLFile(REFIID iid, void** ppv) {
  return ComObject<CHTMLFile>::CreateInstance(iid, ppv);
}
HRESULT CreateAlbumInfo(REFIID iid, void** ppv) {
  return ComObject<CAlbumInfo>::CreateInstance(iid, ppv);
}
HRESULT CreateDiscManifest(REFIID iid, void** ppv) {
  return ComObject<CDiscManifest>::CreateInstance(iid, ppv);
}
HRESULT CreateDiscGenerationInfo(REFIID iid, void** ppv) {
  return ComObject<CDiscGenerationInfo>::CreateInstance(iid, ppv);
}
HRESULT CreateEmbedImage(REFIID iid, void** ppv) {
  return ComObject<CEmbedImage>::CreateInstance(iid, ppv);
}

}  // namespace vexa::model
