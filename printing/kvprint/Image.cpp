// CImage and CImageCollection: a photo with its two print copies (the
// normalized copy, long side 1024, and the thumbnail, long side 300) and an
// ordered, 0-based list of photos.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base/Executor.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/imaging/Codec.h"
#include "platform/imaging/Resample.h"
#include "printing/ComSupport.h"
#include "printing/kvprint/Kvprint.h"

namespace vexa::kvprint {
namespace {

using namespace vexa::com;
namespace img = vexa::imaging;

// Settings every Image of the process shares.
struct ImageModule {
  std::mutex mutex;
  std::string workingFolder = kDefaultWorkingFolder;
  long thumbnailLongside = 300;
  long normalizedLongside = 1024;
  long liveImages = 0;
  // Copy names take numbers that are never given out twice in a process,
  // so two photos of the same name never share (and overwrite) copies.
  long nextNumber = 0;
};

ImageModule& Module() {
  static ImageModule m;
  return m;
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string BaseNameWithoutExtension(const std::string& path) {
  std::string name = base::BaseName(path);
  const std::string ext = base::Extension(name);
  return name.substr(0, name.size() - ext.size());
}

// The long side becomes `longside`; the other side keeps the proportions
// (whole part), never below one pixel.
void FitLongside(long W, long H, long longside, long* w, long* h) {
  if (W < H) {
    *h = longside;
    *w = static_cast<long>(static_cast<double>(W) / H * longside);
  } else {
    *w = longside;
    *h = static_cast<long>(static_cast<double>(H) / W * longside);
  }
  *w = std::max(*w, 1L);
  *h = std::max(*h, 1L);
}

class CImage : public ComObjectRoot,
               public DispatchImpl<CImage, IImage>,
               public SupportErrorInfoImpl<IImage> {
 public:
  using Interfaces = InterfaceMap<IImage, Via<IDispatch, IImage>, ISupportErrorInfo>;
  static std::span<const DispatchEntry<CImage>> DispatchTable();

  HRESULT FinalConstruct() {
    ImageModule& m = Module();
    std::lock_guard lock(m.mutex);
    ++m.liveImages;
    number_ = ++m.nextNumber;
    pathname_ = Bstr(u"");
    return S_OK;
  }

  void FinalRelease() {
    if (derivedFailed_) {
      for (const std::string& p : {ThumbnailName(), NormalizedName()}) {
        if (!p.empty()) std::remove(p.c_str());
      }
    }
    ImageModule& m = Module();
    std::lock_guard lock(m.mutex);
    --m.liveImages;
  }

  HRESULT SetPathname(BSTR filename) override {
    const std::string path = BstrToUtf8(filename);
    if (!PathExists(path)) return Fail(CLSID_Image, IID_IImage, "CImage::SetPathname - File not found");
    pathname_ = Bstr(filename ? std::u16string_view(filename, SysStringLen(filename)) : std::u16string_view());
    if (derivedFailed_) return S_OK;
    if (!MakeCopies(path)) {
      derivedFailed_ = true;
      return S_OK;
    }
    return S_FALSE;
  }

  HRESULT GetOriginalWidth(LONG* v) override { return Out(v, originalWidth_); }
  HRESULT GetOriginalHeight(LONG* v) override { return Out(v, originalHeight_); }
  HRESULT GetThumbnailWidth(LONG* v) override { return Out(v, thumbnailWidth_); }
  HRESULT GetThumbnailHeight(LONG* v) override { return Out(v, thumbnailHeight_); }
  HRESULT GetNormalizedHeight(LONG* v) override { return Out(v, normalizedHeight_); }
  HRESULT GetNormalizedWidth(LONG* v) override { return Out(v, normalizedWidth_); }

  HRESULT SetTmpWorkingDirectory(BSTR directory) override {
    const std::string dir = BstrToUtf8(directory);
    if (!PathExists(dir)) {
      return Fail(CLSID_Image, IID_IImage, "CImage::SetTmpWorkingDirectory - Directory not found");
    }
    ImageModule& m = Module();
    std::lock_guard lock(m.mutex);
    m.workingFolder = dir;
    return S_OK;
  }

  HRESULT SetThumbnailLongside(LONG side) override {
    ImageModule& m = Module();
    std::lock_guard lock(m.mutex);
    m.thumbnailLongside = side;
    return S_OK;
  }

  HRESULT SetNormalizedLongside(LONG side) override {
    ImageModule& m = Module();
    std::lock_guard lock(m.mutex);
    m.normalizedLongside = side;
    return S_OK;
  }

  // Names no file: the working folder, the base name directly followed by
  // the number, and "-normal.jpg".
  HRESULT GetOriginalFilename(BSTR* filename) override {
    if (!filename) return E_POINTER;
    *filename = Bstr::FromUtf8(JoinFolder(WorkingFolder(), BaseNameWithoutExtension(BstrToUtf8(pathname_.Get())) +
                                                              std::to_string(number_) + "-normal.jpg"))
                    .Detach();
    return S_OK;
  }
  HRESULT GetOriginalPathname(BSTR* pathname) override {
    if (!pathname) return E_POINTER;
    *pathname = pathname_.Copy();
    return S_OK;
  }
  HRESULT GetThumbnailPathname(BSTR* filename) override {
    if (!filename) return E_POINTER;
    *filename = Bstr::FromUtf8(ThumbnailName()).Detach();
    return S_OK;
  }
  HRESULT GetNormalizedPathname(BSTR* pathname) override {
    if (!pathname) return E_POINTER;
    *pathname = Bstr::FromUtf8(NormalizedName()).Detach();
    return S_OK;
  }

 private:
  static HRESULT Out(LONG* p, long v) {
    if (!p) return E_POINTER;
    *p = static_cast<LONG>(v);
    return S_OK;
  }

  static std::string WorkingFolder() {
    ImageModule& m = Module();
    std::lock_guard lock(m.mutex);
    return m.workingFolder;
  }

  std::string DerivedName(const char* suffix) const {
    return JoinFolder(WorkingFolder(), BaseNameWithoutExtension(BstrToUtf8(pathname_.Get())) + "-" +
                                           std::to_string(number_) + suffix);
  }
  std::string ThumbnailName() const { return DerivedName("-thumb.jpg"); }
  std::string NormalizedName() const { return DerivedName("-normal.jpg"); }

  // One decode at the smallest DCT scale that still covers the normalized
  // size, then the normalized copy and, from it, the thumbnail.
  bool MakeCopies(const std::string& path) {
    const std::string thumbName = ThumbnailName(), normalName = NormalizedName();
    long T, N;
    {
      ImageModule& m = Module();
      std::lock_guard lock(m.mutex);
      T = m.thumbnailLongside;
      N = m.normalizedLongside;
    }
    if (T < 1 || N < 1) return false;
    img::ImageInfo info;
    if (!img::ReadInfo(path, &info) || info.width < 1 || info.height < 1) return false;
    const long W = info.width, H = info.height;
    long tw, th, nw, nh;
    FitLongside(W, H, T, &tw, &th);
    FitLongside(W, H, N, &nw, &nh);
    img::Bitmap original;
    if (!img::Load(path, &original, {static_cast<int>(nw), static_cast<int>(nh)})) return false;
    originalWidth_ = W;
    originalHeight_ = H;
    thumbnailWidth_ = tw;
    thumbnailHeight_ = th;
    normalizedWidth_ = nw;
    normalizedHeight_ = nh;
    img::Bitmap normal, thumb;
    if (!img::Resize(original, static_cast<int>(nw), static_cast<int>(nh), &normal)) return false;
    original.Free();
    if (!img::Save(normalName, normal, img::kFormatJpeg, kNormalizedQualityFactor)) return false;
    if (!img::Resize(normal, static_cast<int>(tw), static_cast<int>(th), &thumb)) return false;
    return static_cast<bool>(img::Save(thumbName, thumb, img::kFormatJpeg, kThumbnailQualityFactor));
  }

  Bstr pathname_;
  long originalWidth_ = 0, originalHeight_ = 0;
  long thumbnailWidth_ = 0, thumbnailHeight_ = 0;
  long normalizedWidth_ = 0, normalizedHeight_ = 0;
  long number_ = 0;
  bool derivedFailed_ = false;
};

std::span<const DispatchEntry<CImage>> CImage::DispatchTable() {
  using printing::Method_;
  static const DispatchEntry<CImage> kTable[] = {
      Method_<&CImage::SetPathname>(1, u"SetPathname"),
      Method_<&CImage::GetOriginalWidth, true>(2, u"GetOriginalWidth"),
      Method_<&CImage::GetOriginalHeight, true>(3, u"GetOriginalHeight"),
      Method_<&CImage::GetThumbnailWidth, true>(4, u"GetThumbnailWidth"),
      Method_<&CImage::GetThumbnailHeight, true>(5, u"GetThumbnailHeight"),
      Method_<&CImage::SetTmpWorkingDirectory>(6, u"SetTmpWorkingDirectory"),
      Method_<&CImage::SetThumbnailLongside>(7, u"SetThumbnailLongside"),
      Method_<&CImage::GetOriginalFilename, true>(8, u"GetOriginalFilename"),
      Method_<&CImage::GetOriginalPathname, true>(9, u"GetOriginalPathname"),
      Method_<&CImage::GetThumbnailPathname, true>(10, u"GetThumbnailPathname"),
      Method_<&CImage::GetNormalizedPathname, true>(11, u"GetNormalizedPathname"),
      Method_<&CImage::GetNormalizedHeight, true>(12, u"GetNormalizedHeight"),
      Method_<&CImage::GetNormalizedWidth, true>(13, u"GetNormalizedWidth"),
      Method_<&CImage::SetNormalizedLongside>(14, u"SetNormalizedLongside"),
  };
  return kTable;
}

class CImageCollection : public ComObjectRoot,
                         public DispatchImpl<CImageCollection, IImageCollection>,
                         public SupportErrorInfoImpl<IImageCollection> {
 public:
  using Interfaces = InterfaceMap<IImageCollection, Via<IDispatch, IImageCollection>, ISupportErrorInfo>;
  static std::span<const DispatchEntry<CImageCollection>> DispatchTable();

  void FinalRelease() { Settle(); }

  HRESULT Add(IDispatch* image) override {
    if (!image) return E_POINTER;
    Settle();
    items_.emplace_back(image);
    return S_OK;
  }

  HRESULT Remove(LONG index) override {
    Settle();
    if (index < 0 || index >= static_cast<LONG>(items_.size())) return E_FAIL;
    items_.erase(items_.begin() + index);
    return S_OK;
  }

  HRESULT get_Count(LONG* pVal) override {
    if (!pVal) return E_POINTER;
    Settle();
    *pVal = static_cast<LONG>(items_.size());
    return S_OK;
  }

  HRESULT AddPathname(BSTR pathname) override {
    if (!PathExists(BstrToUtf8(pathname))) {
      return Fail(CLSID_ImageCollection, IID_IImageCollection, "CImageCollection::AddPathname - File not found");
    }
    ComPtr<IImage> image;
    if (FAILED(CreateImage(IID_IImage, reinterpret_cast<void**>(image.Put())))) return S_OK;
    ComPtr<IDispatch> disp;
    if (FAILED(image->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(disp.Put())))) return S_OK;
    // The image takes its place (and its copies' numbered names) now; its
    // copies are made on the shared pool while the caller adds the next
    // photos (as many at once as the pool has workers, each holding a
    // picture of the normalized size or two). A photo the imaging layer
    // cannot read is kept without copies.
    items_.push_back(disp);
    Bstr path(std::u16string_view(pathname, SysStringLen(pathname)));
    making_.Run([image, path = std::make_shared<Bstr>(std::move(path))] {
      try {
        image->SetPathname(path->Get());
      } catch (...) {
        // Without memory for the copies the photo stays without them.
      }
    });
    return S_OK;
  }

  HRESULT AddDirectory(BSTR directory) override {
    const std::string dir = BstrToUtf8(directory);
    if (!base::DirExists(dir)) {
      return Fail(CLSID_ImageCollection, IID_IImageCollection,
                  "CImageCollection::AddDirectory - Directory not found");
    }
    // "*.jpg" in the folder itself (no subfolders), in name order.
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
      while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (base::EqualsNoCase(base::Extension(name), ".jpg") &&
            !base::DirExists(base::JoinPath(dir, name))) {
          names.push_back(name);
        }
      }
      ::closedir(d);
    }
    if (names.empty()) {
      return Fail(CLSID_ImageCollection, IID_IImageCollection,
                  "CImageCollection::AddDirectory - Directory/Images not found\n");
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      Bstr path = Bstr::FromUtf8(JoinFolder(dir, name));
      AddPathname(path.Get());
    }
    return S_OK;
  }

  HRESULT get__NewEnum(IUnknown** pVal) override {
    if (!pVal) return E_POINTER;
    Settle();
    std::vector<Variant> snapshot;
    for (const auto& item : items_) {
      Variant v;
      v.vt = VT_DISPATCH;
      v.pdispVal = item.Get();
      v.pdispVal->AddRef();
      snapshot.push_back(std::move(v));
    }
    ComPtr<IEnumVARIANT> e;
    HRESULT hr = CreateVariantEnumerator(std::move(snapshot), e.Put());
    if (FAILED(hr)) return hr;
    *pVal = e.Detach();
    return S_OK;
  }

  HRESULT Item(VARIANT index, VARIANT* pItem) override {
    if (!pItem) return E_POINTER;
    Settle();
    if (index.vt != VT_I4) return E_INVALIDARG;
    if (index.lVal < 0 || index.lVal >= static_cast<LONG>(items_.size())) return E_INVALIDARG;
    VariantClear(pItem);
    pItem->vt = VT_DISPATCH;
    pItem->pdispVal = items_[static_cast<std::size_t>(index.lVal)].Get();
    pItem->pdispVal->AddRef();
    return S_OK;
  }

 private:
  // Waits for every copy under way, so nothing reads an image half made.
  void Settle() { making_.WaitQuietly(); }

  std::vector<ComPtr<IDispatch>> items_;
  base::TaskGroup making_;  // declared last: waited for before the items go
};

std::span<const DispatchEntry<CImageCollection>> CImageCollection::DispatchTable() {
  using printing::Method_;
  static const DispatchEntry<CImageCollection> kTable[] = {
      Method_<&CImageCollection::Add>(1, u"Add"),
      Method_<&CImageCollection::Remove>(2, u"Remove"),
      Method_<&CImageCollection::get_Count, true>(3, u"Count"),
      Method_<&CImageCollection::AddPathname>(4, u"AddPathname"),
      Method_<&CImageCollection::AddDirectory>(5, u"AddDirectory"),
      Method_<&CImageCollection::get__NewEnum, true>(DISPID_NEWENUM, u"_NewEnum"),
      Method_<&CImageCollection::Item, true>(DISPID_VALUE, u"Item"),
  };
  return kTable;
}

}  // namespace

HRESULT CreateImage(REFIID iid, void** ppv) { return ComObject<CImage>::CreateInstance(iid, ppv); }
HRESULT CreateImageCollection(REFIID iid, void** ppv) { return ComObject<CImageCollection>::CreateInstance(iid, ppv); }

long LiveImageCount() {
  ImageModule& m = Module();
  std::lock_guard lock(m.mutex);
  return m.liveImages;
}

}  // namespace vexa::kvprint
