// JPEGCOM: the comment segments at the head of a JPEG file, read, edited and
// written back into a copy whose other bytes are unchanged. And JPGFixer,
// which finishes an edited picture file.
#include <sys/stat.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "model/Model_p.h"
#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

using namespace vexa::com;

namespace vexa::model {
namespace {

constexpr BYTE kSOI = 0xD8;
constexpr BYTE kEOI = 0xD9;
constexpr BYTE kSOS = 0xDA;
constexpr BYTE kCOM = 0xFE;
// The largest payload a segment's 16-bit length field can carry.
constexpr std::size_t kMaxPayload = 65533;

bool IsFrameMarker(BYTE code) {
  return (code >= 0xC0 && code <= 0xCF) && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// Byte-wise reading of the marker structure; a short read is a failure.
struct Cursor {
  const std::string& data;
  std::size_t pos = 0;

  bool Byte(BYTE* b) {
    if (pos >= data.size()) return false;
    *b = static_cast<BYTE>(data[pos++]);
    return true;
  }
  bool FirstMarker() {
    pos = 0;
    BYTE a = 0, b = 0;
    return Byte(&a) && Byte(&b) && a == 0xFF && b == kSOI;
  }
  // Skips to the next 0xFF, then over fill bytes; the first other byte is
  // the marker code.
  bool NextMarker(BYTE* code) {
    BYTE b = 0;
    do {
      if (!Byte(&b)) return false;
    } while (b != 0xFF);
    do {
      if (!Byte(&b)) return false;
    } while (b == 0xFF);
    *code = b;
    return true;
  }
  bool Length(unsigned* length) {
    BYTE hi = 0, lo = 0;
    if (!Byte(&hi) || !Byte(&lo)) return false;
    *length = hi * 256u + lo;
    return true;
  }
};

// Walks the segments before the first frame header (or EOI). For each
// segment calls onSegment(code, lengthFieldPos, payload); at the end
// *stopCode holds the frame marker and cursor.pos the byte after it. On a
// malformed head returns the message.
template <typename F>
const char* WalkHead(Cursor& c, BYTE* stopCode, F onSegment) {
  if (!c.FirstMarker()) return "invalid first marker";
  for (;;) {
    BYTE code = 0;
    if (!c.NextMarker(&code)) return "invalid JPEG file";
    if (IsFrameMarker(code) || code == kEOI) {
      *stopCode = code;
      return nullptr;
    }
    if (code == kSOS) return "SOS without prior SOFn";
    const std::size_t at = c.pos;
    unsigned length = 0;
    if (!c.Length(&length)) return "read_2_bytes failed";
    if (length < 2) return "Erroneous JPEG marker length";
    if (c.pos + (length - 2) > c.data.size()) return "invalid JPEG file";
    onSegment(code, at, std::string_view(c.data).substr(c.pos, length - 2));
    c.pos += length - 2;
  }
}

class CJPEGCOM : public ComObjectRoot,
                 public DispatchImpl<CJPEGCOM, IJPEGCOM>,
                 public SupportErrorInfoImpl<IJPEGCOM> {
 public:
  using Interfaces = InterfaceMap<IJPEGCOM, Via<IDispatch, IJPEGCOM>, ISupportErrorInfo>;
  static const TypeLibraryId& TypeLibrary() { return kVEXAXMLLib; }
  static std::span<const DispatchEntry<CJPEGCOM>> DispatchTable() {
    static const DispatchEntry<CJPEGCOM> t[] = {
        DispProperty<&CJPEGCOM::get_fromFilename, &CJPEGCOM::put_fromFilename>(1, u"fromFilename"),
        DispProperty<&CJPEGCOM::get_toFilename, &CJPEGCOM::put_toFilename>(2, u"toFilename"),
        DispMethodOf<&CJPEGCOM::getMarker>(3, u"getMarker"),
        DispMethodOf<&CJPEGCOM::replaceMarker>(4, u"replaceMarker"),
        DispMethodOf<&CJPEGCOM::insertMarker>(5, u"insertMarker"),
        DispProperty<&CJPEGCOM::get_numMarkers>(6, u"numMarkers"),
        DispMethodOf<&CJPEGCOM::commit>(7, u"commit"),
        DispMethodOf<&CJPEGCOM::start>(8, u"start"),
        DispMethodOf<&CJPEGCOM::removeMarker>(9, u"removeMarker"),
    };
    return t;
  }

  HRESULT get_fromFilename(BSTR* pVal) override { return CopyOut(from_, pVal); }
  HRESULT put_fromFilename(BSTR v) override {
    from_ = Bstr(BstrView(v));
    return S_OK;
  }
  HRESULT get_toFilename(BSTR* pVal) override { return CopyOut(to_, pVal); }
  HRESULT put_toFilename(BSTR v) override {
    to_ = Bstr(BstrView(v));
    return S_OK;
  }

  // Opens the file, reads it whole and checks that it starts like a JPEG;
  // a second start begins a fresh list.
  HRESULT start() override {
    scanned_ = false;
    open_ = false;
    markers_.clear();
    input_.clear();
    if (from_.Length() == 0) return Error("fromFilename is empty");
    const std::string path = from_.Utf8();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return Error("file doesn't exist");
    // Only a regular file is read: a pipe or a device could hold the call.
    if (!S_ISREG(st.st_mode)) return Error("unable to open fromFile", path + " is not a regular file");
    try {
      vexa::base::InputFile in;
      if (!in.Open(path)) return Error("unable to open fromFile", in.Error());
      input_.resize(static_cast<std::size_t>(in.Size()));
      // A file that changes while it is read is refused, naming itself.
      if (!in.ReadExactly(input_.data(), input_.size()) || !in.AtEnd()) {
        input_.clear();
        return Error("couldn't read from fromFile", in.Error());
      }
    } catch (const std::bad_alloc&) {
      input_.clear();
      return Error("unable to open fromFile", "out of memory");
    }
    readSize_ = st.st_size;
    readTime_ = st.st_mtim;
    open_ = true;
    Cursor c{input_};
    if (!c.FirstMarker()) return Error("not a valid JPEG file");
    return S_OK;
  }

  HRESULT get_numMarkers(LONG* pVal) override {
    if (!pVal) return E_POINTER;
    try {
      if (!scanned_) {
        HRESULT hr = ScanHead();
        if (FAILED(hr)) return hr;
      }
      *pVal = static_cast<LONG>(markers_.size());
      return S_OK;
    } catch (const std::exception&) {
      return Error("exception thrown");
    }
  }

  HRESULT getMarker(LONG i, VARIANT* bytesOut) override {
    if (i < 1) return Error("index is one-based");
    if (!bytesOut) return E_POINTER;
    try {
      LONG n = 0;
      if (FAILED(get_numMarkers(&n))) return Error("getNumMarkers failed");
      if (i > n) return Error("i is out of range");
      const std::string& payload = markers_[i - 1];
      if (payload.empty()) return Error("the marker is empty");
      SafeArray array(VT_UI1, static_cast<ULONG>(payload.size()));
      if (!array.Get()) return E_OUTOFMEMORY;
      void* data = nullptr;
      if (FAILED(SafeArrayAccessData(array.Get(), &data))) return E_UNEXPECTED;
      std::copy(payload.begin(), payload.end(), static_cast<char*>(data));
      SafeArrayUnaccessData(array.Get());
      VariantClear(bytesOut);
      bytesOut->vt = VT_ARRAY | VT_UI1;
      bytesOut->parray = array.Detach();
      return S_OK;
    } catch (const std::exception&) {
      return Error("vector exception");
    }
  }

  HRESULT replaceMarker(LONG i, VARIANT bytes) override { return Put(i, bytes, false); }
  HRESULT removeMarker(LONG i) override {
    if (i < 1) return Error("index is one-based");
    try {
      LONG n = 0;
      if (FAILED(get_numMarkers(&n))) return Error("getNumMarkers failed");
      if (i > n) return Error("i is out of range");
      markers_.erase(markers_.begin() + (i - 1));
      return S_OK;
    } catch (const std::exception&) {
      return Error("exception thrown");
    }
  }
  HRESULT insertMarker(LONG i, VARIANT bytes) override { return Put(i, bytes, true); }

  // Writes the input with the comment list in place of the comments before
  // the frame header, through the shared output helper: the copy replaces
  // toFilename in one step once complete (the input may be the output), a
  // failure leaves the target as it was, and what may not be replaced is
  // refused with its reason.
  HRESULT commit() override {
    if (!open_) return Error("fromFile is invalid");
    if (to_.Length() == 0) return Error("toFilename isn't valid");
    try {
      // Without a scan the list would be empty and every comment lost.
      LONG n = 0;
      HRESULT hr = get_numMarkers(&n);
      if (FAILED(hr)) return hr;
      // The copy is made from what start read: a file changed since then
      // is not what was scanned.
      const std::string from = from_.Utf8();
      struct stat st {};
      if (::stat(from.c_str(), &st) != 0 || st.st_size != readSize_ || st.st_mtim.tv_sec != readTime_.tv_sec ||
          st.st_mtim.tv_nsec != readTime_.tv_nsec) {
        return Error("couldn't read from fromFile", from + " changed after it was read");
      }
      vexa::base::OutputFile out;
      if (!out.Open(to_.Utf8())) return Error("couldn't create toFile", out.Error());
      std::string head;
      head += '\xFF';
      head += static_cast<char>(kSOI);
      Cursor c{input_};
      BYTE stop = 0;
      const char* failure = WalkHead(c, &stop, [&](BYTE code, std::size_t at, std::string_view) {
        if (code == kCOM) return;  // the old comments are dropped
        head += '\xFF';
        head += static_cast<char>(code);
        const unsigned length = static_cast<BYTE>(input_[at]) * 256u + static_cast<BYTE>(input_[at + 1]);
        head.append(input_, at, length);
      });
      if (failure) return Error(failure);
      if (!out.Write(head)) return Error("couldn't write to toFile", out.Error());
      for (const std::string& payload : markers_) {
        if (payload.size() > kMaxPayload) {
          return Error("couldn't write COM marker to toFile", "a comment of " + std::to_string(payload.size()) +
                                                                  " bytes does not fit a segment");
        }
        const std::size_t length = payload.size() + 2;
        std::string segment = "\xFF";
        segment += static_cast<char>(kCOM);
        segment += static_cast<char>(length >> 8);
        segment += static_cast<char>(length & 0xFF);
        segment += payload;
        if (!out.Write(segment)) return Error("couldn't write COM marker to toFile", out.Error());
      }
      std::string rest = "\xFF";
      rest += static_cast<char>(stop);
      if (!out.Write(rest) || !out.Write(std::string_view(input_).substr(c.pos)) || !out.Commit()) {
        return Error("couldn't write to toFile", out.Error());
      }
      return S_OK;
    } catch (const std::exception&) {
      return Error("vector exception");
    }
  }

 private:
  // Fills the list from the comments before the first frame header. A
  // malformed head fails the scan.
  HRESULT ScanHead() {
    markers_.clear();
    Cursor c{input_};
    BYTE stop = 0;
    std::vector<std::string> found;
    const char* failure = WalkHead(c, &stop, [&](BYTE code, std::size_t, std::string_view payload) {
      if (code == kCOM) found.emplace_back(payload);
    });
    if (failure) return Error(failure);
    markers_ = std::move(found);
    scanned_ = true;
    return S_OK;
  }

  HRESULT Put(LONG i, const VARIANT& bytes, bool insert) {
    if (i < 1) return Error("index is one-based");
    if (bytes.vt != (VT_ARRAY | VT_UI1) || !bytes.parray || SafeArrayGetDim(bytes.parray) != 1) {
      return Error("variant isn't of type VT_ARRAY");
    }
    try {
      LONG n = 0;
      if (FAILED(get_numMarkers(&n))) return Error("getNumMarkers failed");
      if (i > n + (insert ? 1 : 0)) return Error("i is out of range");
      LONG lower = 0, upper = -1;
      SafeArrayGetLBound(bytes.parray, 1, &lower);
      SafeArrayGetUBound(bytes.parray, 1, &upper);
      const std::size_t size = upper >= lower ? static_cast<std::size_t>(upper - lower + 1) : 0;
      // A segment's length field cannot describe more.
      if (size > kMaxPayload) return Error("the marker is longer than 65533 bytes");
      void* data = nullptr;
      if (FAILED(SafeArrayAccessData(bytes.parray, &data))) return E_UNEXPECTED;
      std::string payload(static_cast<const char*>(data), size);
      SafeArrayUnaccessData(bytes.parray);
      if (insert) {
        markers_.insert(markers_.begin() + (i - 1), std::move(payload));
      } else {
        markers_[i - 1] = std::move(payload);
      }
      return S_OK;
    } catch (const std::exception&) {
      return Error("exception thrown");
    }
  }

  static HRESULT CopyOut(const Bstr& s, BSTR* out) {
    if (!out) return E_POINTER;
    *out = s.IsNull() ? SysAllocString(u"") : s.Copy();
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  // The editor's text, then ": " and the cause.
  static HRESULT Error(std::string_view text, const std::string& cause) {
    return Error(std::string(text) + (cause.empty() ? "" : ": " + cause));
  }

  // Errors of this class carry their text in a small block naming the
  // class.
  static HRESULT Error(std::string_view text) {
    const std::string progId = "Vexaxml.JPEGCOM.1";
    const std::string block = "\n<IErrorInfo>\n<GUID></GUID>\n  <Source>" + progId +
                              "</Source>\n  <Description>" + std::string(text) +
                              "  </Description>\n</IErrorInfo>\n";
    return SetError(vexa::base::Utf8ToUtf16(block), u"Vexaxml.JPEGCOM.1", IID_IJPEGCOM, E_FAIL);
  }

  Bstr from_, to_;
  std::string input_;
  // The input's size and modification time when start read it.
  off_t readSize_ = 0;
  timespec readTime_{};
  bool open_ = false;
  bool scanned_ = false;
  std::vector<std::string> markers_;
};

// ---- JPGFixer ------------------------------------------------------------------------

class CJPGFixer : public ComObjectRoot,
                  public DispatchImpl<CJPGFixer, IJPGFixer>,
                  public SupportErrorInfoImpl<IJPGFixer> {
 public:
  using Interfaces = InterfaceMap<IJPGFixer, Via<IDispatch, IJPGFixer>, ISupportErrorInfo>;
  static const TypeLibraryId& TypeLibrary() { return kVEXAXMLLib; }
  static std::span<const DispatchEntry<CJPGFixer>> DispatchTable() { return {}; }

  // Puts the edited picture at resultPath; the rotation and clip numbers are
  // not used.
  HRESULT fixup(BSTR beforePath, BSTR afterPath, BSTR resultPath, LONG, LONG, LONG, LONG,
                LONG) override {
    std::string before, after;
    if (!Readable(BstrToUtf8(beforePath))) {
      return Error("IJPGFixer::fixup - beforePath couldn't be opened");
    }
    if (!Readable(BstrToUtf8(afterPath))) {
      return Error("IJPGFixer::fixup - afterPath couldn't be opened");
    }
    if (BstrView(afterPath) != BstrView(resultPath)) {
      std::string why;
      if (!vexa::base::ReadFile(BstrToUtf8(afterPath), &after, &why) ||
          !vexa::base::WriteFileAtomic(BstrToUtf8(resultPath), after, &why)) {
        return Error("IJPGFixer::fixup - couldn't copy to resultPath" + (why.empty() ? "" : ": " + why));
      }
    }
    return S_OK;
  }

 private:
  static bool Readable(const std::string& path) {
    if (path.empty() || vexa::base::DirExists(path)) return false;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
  }
  static HRESULT Error(std::string_view text) {
    return ModelError(CLSID_JPGFixer, IID_IJPGFixer, text, E_FAIL);
  }
};

}  // namespace

HRESULT CreateJPEGCOM(REFIID iid, void** ppv) { return ComObject<CJPEGCOM>::CreateInstance(iid, ppv); }
HRESULT CreateJPGFixer(REFIID iid, void** ppv) {
  return ComObject<CJPGFixer>::CreateInstance(iid, ppv);
}

}  // namespace vexa::model
