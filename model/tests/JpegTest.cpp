// JPEG comment segments and the record kept in them: edits keep every other
// byte, malformed heads fail cleanly, the photo is replaced only whole.
// Pictures are made at test time; rdjpgcom, exiftool and djpeg check them.
#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "model/tests/ModelTestUtil.h"
#include "platform/registry/Registry.h"

namespace vexa::model::test {
namespace {

std::string Segment(unsigned char code, const std::string& payload) {
  std::string s = "\xFF";
  s += static_cast<char>(code);
  const std::size_t length = payload.size() + 2;
  s += static_cast<char>(length >> 8);
  s += static_cast<char>(length & 0xFF);
  return s + payload;
}

// Offset of the first frame header's marker (FF Cn), walking the segments.
std::size_t FrameOffset(const std::string& jpeg) {
  std::size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    const auto code = static_cast<unsigned char>(jpeg[pos + 1]);
    if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) return pos;
    const std::size_t length = static_cast<unsigned char>(jpeg[pos + 2]) * 256u +
                               static_cast<unsigned char>(jpeg[pos + 3]);
    pos += 2 + length;
  }
  return std::string::npos;
}

// The file without its comment segments before the scan.
std::string WithoutComments(const std::string& jpeg) {
  std::string out = jpeg.substr(0, 2);
  std::size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    const auto code = static_cast<unsigned char>(jpeg[pos + 1]);
    if (code == 0xDA) break;
    const std::size_t length = static_cast<unsigned char>(jpeg[pos + 2]) * 256u +
                               static_cast<unsigned char>(jpeg[pos + 3]);
    if (code != 0xFE) out.append(jpeg, pos, 2 + length);
    pos += 2 + length;
  }
  return out + jpeg.substr(pos);
}

Variant Bytes(const std::string& data) {
  SafeArray array(VT_UI1, static_cast<ULONG>(data.size()));
  void* p = nullptr;
  SafeArrayAccessData(array.Get(), &p);
  if (!data.empty()) std::memcpy(p, data.data(), data.size());
  SafeArrayUnaccessData(array.Get());
  Variant v;
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = array.Detach();
  return v;
}

std::string Text(const VARIANT& bytes) {
  if (bytes.vt != (VT_ARRAY | VT_UI1)) return "<not bytes>";
  void* p = nullptr;
  SafeArrayAccessData(bytes.parray, &p);
  std::string s(static_cast<const char*>(p), bytes.parray->rgsabound[0].cElements);
  SafeArrayUnaccessData(bytes.parray);
  return s;
}

// A display profile with a header and one tag: enough for exiftool to read
// its fields.
std::string MinimalIccProfile() {
  std::string p;
  auto u32 = [&](unsigned v) {
    for (int shift = 24; shift >= 0; shift -= 8) p += static_cast<char>((v >> shift) & 0xFF);
  };
  auto u16 = [&](unsigned v) {
    p += static_cast<char>(v >> 8);
    p += static_cast<char>(v & 0xFF);
  };
  u32(0);  // size, filled in below
  p += "none";
  u32(0x02100000);
  p += "mntrRGB XYZ ";
  for (unsigned v : {2002u, 9u, 13u, 0u, 1u, 3u}) u16(v);
  p += "acspAPPL";
  u32(0);                      // flags
  p += "vexa";                 // manufacturer
  u32(0);                      // model
  p += std::string(8, '\0');  // attributes
  u32(0);                      // intent
  u32(0x0000F6D6);             // D50 illuminant
  u32(0x00010000);
  u32(0x0000D32D);
  p += "vexa";                 // creator
  p += std::string(16 + 28, '\0');
  u32(1);                      // one tag: the copyright text
  p += "cprt";
  u32(144);
  u32(16);
  p += std::string("text\0\0\0\0vexa test", 17).substr(0, 16);
  const unsigned size = static_cast<unsigned>(p.size());
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((size >> (24 - 8 * i)) & 0xFF);
  return p;
}

class JpegTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    tmp_ = Path("tmp");
    vexa::base::MakeDirs(tmp_);
    setenv("TMPDIR", tmp_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    ModelTest::TearDown();
  }

  // A camera-style photo: JFIF, EXIF (APP1) and ICC (APP2) segments, two
  // comments before the frame header and one after it.
  bool MakePhoto(const std::string& path, const std::vector<std::string>& before,
                 const std::string& after = "after the frame header") {
    const std::string base = Path("base.jpg");
    std::string out;
    if (Shell("convert -size 64x48 gradient:red-blue -quality 90 '" + base + "'", &out) != 0) {
      ADD_FAILURE() << out;
      return false;
    }
    if (Shell("exiftool -q -overwrite_original -Make=Vexa -Model=Camera "
                "'-DateTimeOriginal=2002:09:13 00:01:03' '" + base + "'", &out) != 0) {
      ADD_FAILURE() << out;
      return false;
    }
    std::string jpeg;
    vexa::base::ReadFile(base, &jpeg);
    const std::size_t frame = FrameOffset(jpeg);
    if (frame == std::string::npos) return false;
    std::string icc = std::string("ICC_PROFILE\0\x01\x01", 14) + MinimalIccProfile();
    std::string head = jpeg.substr(0, frame) + Segment(0xE2, icc);
    for (const auto& c : before) head += Segment(0xFE, c);
    const std::size_t frameLength = static_cast<unsigned char>(jpeg[frame + 2]) * 256u +
                                    static_cast<unsigned char>(jpeg[frame + 3]);
    std::string photo = head + jpeg.substr(frame, 2 + frameLength);
    if (!after.empty()) photo += Segment(0xFE, after);
    photo += jpeg.substr(frame + 2 + frameLength);
    return vexa::base::WriteFileAtomic(path, photo);
  }

  ComPtr<IJPEGCOM> Open(const std::string& from, const std::string& to = "") {
    auto j = Create<IJPEGCOM>(CLSID_JPEGCOM);
    Bstr f = Bstr::FromUtf8(from), t = Bstr::FromUtf8(to);
    j->put_fromFilename(f.Get());
    j->put_toFilename(t.Get());
    return j;
  }

  // The message inside the editor's error block.
  static std::string JpegError() {
    const std::string d = LastError();
    const auto a = d.find("<Description>");
    const auto b = d.find("  </Description>");
    if (a == std::string::npos || b == std::string::npos) return d;
    return d.substr(a + 13, b - a - 13);
  }

  std::string Run(const std::string& command) {
    std::string out;
    EXPECT_EQ(Shell(command, &out), 0) << command << "\n" << out;
    return out;
  }

  // exiftool's view of every segment, comments and file-system facts aside.
  std::string Metadata(const std::string& path) {
    std::string all = Run("exiftool -a -G1 -s '" + path + "'"), kept;
    std::size_t pos = 0;
    while (pos < all.size()) {
      std::size_t end = all.find('\n', pos);
      if (end == std::string::npos) end = all.size();
      const std::string line = all.substr(pos, end - pos);
      pos = end + 1;
      if (line.rfind("[System]", 0) == 0 || line.find("ExifToolVersion") != std::string::npos) continue;
      if (line.find(" Comment ") != std::string::npos) continue;
      kept += line + "\n";
    }
    return kept;
  }

  std::vector<std::string> BvFiles() {
    std::vector<std::string> names;
    if (DIR* d = opendir(tmp_.c_str())) {
      while (dirent* e = readdir(d)) {
        if (std::strncmp(e->d_name, "BV", 2) == 0) names.push_back(e->d_name);
      }
      closedir(d);
    }
    return names;
  }

  std::string tmp_;
};

#define VEXA_NEED_JPEG_TOOLS()        \
  VEXA_NEED_CHECKER("convert");       \
  VEXA_NEED_CHECKER("exiftool");      \
  VEXA_NEED_CHECKER("rdjpgcom");      \
  VEXA_NEED_CHECKER("djpeg")

TEST_F(JpegTest, EditsRewriteOnlyTheCommentsBeforeTheFrame) {
  VEXA_NEED_JPEG_TOOLS();
  const std::string in = Path("in.jpg"), out = Path("out.jpg");
  ASSERT_TRUE(MakePhoto(in, {"first", "second"}));
  auto j = Open(in, out);
  ASSERT_EQ(j->start(), S_OK);
  LONG n = 0;
  ASSERT_EQ(j->get_numMarkers(&n), S_OK);
  ASSERT_EQ(n, 2);
  Variant got;
  ASSERT_EQ(j->getMarker(1, &got), S_OK);
  EXPECT_EQ(Text(got), "first");
  EXPECT_EQ(got.parray->rgsabound[0].lLbound, 0);

  ASSERT_EQ(j->replaceMarker(2, Bytes("replaced")), S_OK);
  ASSERT_EQ(j->insertMarker(1, Bytes("inserted")), S_OK);  // inserted first replaced
  ASSERT_EQ(j->removeMarker(2), S_OK);                     // inserted replaced
  ASSERT_EQ(j->insertMarker(3, Bytes("appended")), S_OK);  // inserted replaced appended
  EXPECT_EQ(j->insertMarker(5, Bytes("x")), E_FAIL);
  EXPECT_EQ(JpegError(), "i is out of range");
  EXPECT_EQ(j->replaceMarker(4, Bytes("x")), E_FAIL);
  EXPECT_EQ(JpegError(), "i is out of range");
  ASSERT_EQ(j->commit(), S_OK);

  EXPECT_EQ(Run("rdjpgcom '" + out + "'"), "inserted\nreplaced\nappended\nafter the frame header\n");
  EXPECT_EQ(Metadata(out), Metadata(in));
  EXPECT_EQ(Run("djpeg -pnm '" + out + "'"), Run("djpeg -pnm '" + in + "'"));
  std::string a, b;
  vexa::base::ReadFile(in, &a);
  vexa::base::ReadFile(out, &b);
  EXPECT_EQ(WithoutComments(b), WithoutComments(a));
  // The new list stands directly before the frame header.
  const std::size_t frame = FrameOffset(b);
  EXPECT_EQ(b.substr(frame - Segment(0xFE, "appended").size(), Segment(0xFE, "appended").size()),
            Segment(0xFE, "appended"));
}

// Writing over the input itself works, and without an explicit scan the
// comments are kept.
TEST_F(JpegTest, CommitOverItsOwnInputKeepsTheComments) {
  VEXA_NEED_JPEG_TOOLS();
  const std::string photo = Path("photo.jpg");
  ASSERT_TRUE(MakePhoto(photo, {"one", "two"}, ""));
  const std::string pixels = Run("djpeg -pnm '" + photo + "'");
  auto j = Open(photo, photo);
  ASSERT_EQ(j->start(), S_OK);
  ASSERT_EQ(j->commit(), S_OK);
  j.Reset();
  EXPECT_EQ(Run("rdjpgcom '" + photo + "'"), "one\ntwo\n");
  EXPECT_EQ(Run("djpeg -pnm '" + photo + "'"), pixels);

  // A failed commit creates nothing.
  auto k = Open(photo, Path("no/such/dir/out.jpg"));
  ASSERT_EQ(k->start(), S_OK);
  EXPECT_EQ(k->commit(), E_FAIL);
  EXPECT_EQ(JpegError(), "couldn't create toFile: cannot create a file in '" + Path("no/such/dir") + "' for '" +
                            Path("no/such/dir/out.jpg") + "': No such file or directory");
  EXPECT_FALSE(vexa::base::DirExists(Path("no")));
}

// The editor's failure texts where those failures happen, with the cause
// after them; the photo on disk is never changed by a failure.
TEST_F(JpegTest, EditorAndRecordFailuresNameWhatFailed) {
  VEXA_NEED_JPEG_TOOLS();
  const std::string photo = Path("photo.jpg");
  ASSERT_TRUE(MakePhoto(photo, {"one"}, ""));
  std::string original;
  ASSERT_TRUE(vexa::base::ReadFile(photo, &original));

  // A photo that changes between start and commit is not the one scanned.
  {
    auto j = Open(photo, Path("out.jpg"));
    ASSERT_EQ(j->start(), S_OK);
    LONG n = 0;
    ASSERT_EQ(j->get_numMarkers(&n), S_OK);
    ASSERT_TRUE(vexa::base::WriteFileAtomic(photo, original + "tail"));
    EXPECT_EQ(j->commit(), E_FAIL);
    EXPECT_EQ(JpegError(), "couldn't read from fromFile: " + photo + " changed after it was read");
    EXPECT_FALSE(vexa::base::FileExists(Path("out.jpg")));
    ASSERT_TRUE(vexa::base::WriteFileAtomic(photo, original));
  }
  // A device that takes nothing: the copy cannot be written.
  {
    auto j = Open(photo, "/dev/full");
    ASSERT_EQ(j->start(), S_OK);
    EXPECT_EQ(j->commit(), E_FAIL);
    EXPECT_EQ(JpegError(), "couldn't write to toFile: cannot write '/dev/full': No space left on device");
  }
  // A folder or a pipe named as the photo.
  ASSERT_TRUE(vexa::base::MakeDirs(Path("album.d")));
  ASSERT_EQ(::mkfifo(Path("pipe.jpg").c_str(), 0600), 0);
  for (const std::string& odd : {Path("album.d"), Path("pipe.jpg")}) {
    auto j = Open(odd, Path("out.jpg"));
    EXPECT_EQ(j->start(), E_FAIL);
    EXPECT_EQ(JpegError(), "unable to open fromFile: " + odd + " is not a regular file");
  }
  // The record written into a photo reached through a link: the link is
  // not replaced by a file, and the photo it names stays as it was.
  const std::string link = Path("link.jpg");
  ASSERT_EQ(::symlink(photo.c_str(), link.c_str()), 0);
  auto mapper = Create<IEmbedImageXML>(CLSID_EmbedImageXML);
  auto record = Create<IEmbedImage>(CLSID_EmbedImage);
  Bstr linkPath = Bstr::FromUtf8(link);
  EXPECT_EQ(mapper->storeToJPEG(linkPath.Get(), record.Get()), E_FAIL);
  EXPECT_EQ(LastError(), "couldn't write to dest file: '" + link +
                             "' is a symbolic link; it is not replaced (name the file it points to)");
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  std::string after;
  ASSERT_TRUE(vexa::base::ReadFile(photo, &after));
  EXPECT_EQ(after, original);
  EXPECT_TRUE(BvFiles().empty());
}

TEST_F(JpegTest, PayloadsMustFitASegment) {
  VEXA_NEED_JPEG_TOOLS();
  const std::string in = Path("in.jpg"), out = Path("out.jpg");
  ASSERT_TRUE(MakePhoto(in, {}, ""));
  auto j = Open(in, out);
  ASSERT_EQ(j->start(), S_OK);
  EXPECT_EQ(j->insertMarker(1, Bytes(std::string(65534, 'x'))), E_FAIL);
  EXPECT_EQ(JpegError(), "the marker is longer than 65533 bytes");
  ASSERT_EQ(j->insertMarker(1, Bytes(std::string(65533, 'y'))), S_OK);
  EXPECT_EQ(j->replaceMarker(1, Bytes(std::string(70000, 'z'))), E_FAIL);
  EXPECT_EQ(j->insertMarker(0, Bytes("x")), E_FAIL);
  EXPECT_EQ(JpegError(), "index is one-based");
  Variant notBytes = Variant::String(u"text");
  EXPECT_EQ(j->insertMarker(1, notBytes), E_FAIL);
  EXPECT_EQ(JpegError(), "variant isn't of type VT_ARRAY");
  ASSERT_EQ(j->commit(), S_OK);
  EXPECT_EQ(Run("rdjpgcom '" + out + "'"), std::string(65533, 'y') + "\n");
  EXPECT_EQ(Run("djpeg -pnm '" + out + "'"), Run("djpeg -pnm '" + in + "'"));
}

// Malformed heads fail with their message and write nothing.
TEST_F(JpegTest, MalformedHeadsFail) {
  const std::string soi = "\xFF\xD8";
  const std::string sof = Segment(0xC0, std::string("\x08\x00\x10\x00\x10\x01\x01\x11\x00", 9));
  struct Case {
    const char* name;
    std::string bytes;
    const char* startError;  // null: start succeeds
    const char* scanError;   // null: the scan succeeds
    LONG comments;
  } cases[] = {
      {"not-jpeg", "GIF89a....", "not a valid JPEG file", nullptr, 0},
      {"empty", "", "not a valid JPEG file", nullptr, 0},
      {"sos-first", soi + Segment(0xDA, "xx") + sof, nullptr, "SOS without prior SOFn", 0},
      {"ends-in-head", soi + Segment(0xE0, "JFIF"), nullptr, "invalid JPEG file", 0},
      {"comment-length-1", soi + std::string("\xFF\xFE\x00\x01", 4) + sof, nullptr,
       "Erroneous JPEG marker length", 0},
      {"segment-past-end", soi + std::string("\xFF\xE1\x40\x00", 4) + "short", nullptr,
       "invalid JPEG file", 0},
      {"length-cut", soi + std::string("\xFF\xFE\x00", 3), nullptr, "read_2_bytes failed", 0},
      // Fill bytes and stray bytes before a marker are read past.
      {"fill-bytes", soi + "junk" + std::string("\xFF\xFF", 2) + Segment(0xFE, "kept") + sof, nullptr,
       nullptr, 1},
      {"eoi-only", soi + Segment(0xFE, "c") + "\xFF\xD9", nullptr, nullptr, 1},
  };
  for (const auto& c : cases) {
    const std::string in = Path(std::string(c.name) + ".jpg");
    const std::string out = Path(std::string(c.name) + "-out.jpg");
    vexa::base::WriteFileAtomic(in, c.bytes);
    auto j = Open(in, out);
    TakeError();
    const HRESULT started = j->start();
    if (c.startError) {
      EXPECT_EQ(started, E_FAIL) << c.name;
      EXPECT_EQ(JpegError(), c.startError) << c.name;
      EXPECT_EQ(j->commit(), E_FAIL) << c.name;
      EXPECT_FALSE(vexa::base::FileExists(out)) << c.name;
      continue;
    }
    ASSERT_EQ(started, S_OK) << c.name;
    LONG n = -1;
    if (c.scanError) {
      EXPECT_EQ(j->get_numMarkers(&n), E_FAIL) << c.name;
      EXPECT_EQ(JpegError(), c.scanError) << c.name;
      EXPECT_EQ(j->commit(), E_FAIL) << c.name;
      EXPECT_FALSE(vexa::base::FileExists(out)) << c.name;
      continue;
    }
    ASSERT_EQ(j->get_numMarkers(&n), S_OK) << c.name;
    EXPECT_EQ(n, c.comments) << c.name;
    EXPECT_EQ(j->commit(), S_OK) << c.name;
  }
  // The error block around the message.
  auto j = Open(Path("missing.jpg"));
  EXPECT_EQ(j->start(), E_FAIL);
  ErrorText e = TakeError();
  EXPECT_EQ(e.Utf8Description(),
            "\n<IErrorInfo>\n<GUID></GUID>\n  <Source>Vexaxml.JPEGCOM.1</Source>\n"
            "  <Description>file doesn't exist  </Description>\n</IErrorInfo>\n");
  EXPECT_EQ(e.iid, IID_IJPEGCOM);
  auto none = Create<IJPEGCOM>(CLSID_JPEGCOM);
  EXPECT_EQ(none->start(), E_FAIL);
  EXPECT_EQ(JpegError(), "fromFilename is empty");
}

// The editor's members through IDispatch, found by name, as a script would
// use them.
TEST_F(JpegTest, LateBoundEditing) {
  const std::string sof = Segment(0xC0, std::string("\x08\x00\x10\x00\x10\x01\x01\x11\x00", 9));
  const std::string in = Path("in.jpg"), out = Path("out.jpg");
  vexa::base::WriteFileAtomic(in, "\xFF\xD8" + Segment(0xFE, "old") + sof + "\xFF\xD9");
  auto j = Open(in, out);
  ComPtr<IDispatch> d;
  ASSERT_EQ(j.As(&d), S_OK);
  auto id = [&](const char16_t* name) {
    std::u16string n(name);
    LPOLESTR names[] = {n.data()};
    DISPID result = DISPID_UNKNOWN;
    EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, names, 1, 0, &result), S_OK) << BstrToUtf8(n.data());
    return result;
  };
  const struct {
    const char16_t* name;
    DISPID id;
  } members[] = {{u"fromFilename", 1}, {u"toFilename", 2}, {u"getMarker", 3}, {u"replaceMarker", 4},
                 {u"insertMarker", 5}, {u"numMarkers", 6}, {u"commit", 7},    {u"start", 8}};
  for (const auto& m : members) EXPECT_EQ(id(m.name), m.id);

  // Arguments arrive last first.
  auto call = [&](DISPID member, std::vector<Variant> args, Variant* result = nullptr) {
    DISPPARAMS p{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    Variant scratch;
    return d->Invoke(member, GUID_NULL, 0, DISPATCH_METHOD, &p, result ? result->Out() : scratch.Out(),
                     nullptr, nullptr);
  };
  ASSERT_EQ(call(8, {}), S_OK);
  ASSERT_EQ(call(5, {Bytes("new"), Variant::I4(1)}), S_OK);
  ASSERT_EQ(call(4, {Bytes("changed"), Variant::I4(2)}), S_OK);
  Variant got;
  ASSERT_EQ(call(3, {Variant::I4(1)}, &got), S_OK);
  EXPECT_EQ(Text(got), "new");
  // The payload through a by-reference out argument.
  Variant slot;
  Variant ref;
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &slot;
  ASSERT_EQ(call(3, {ref, Variant::I4(2)}), S_OK);
  EXPECT_EQ(Text(slot), "changed");
  EXPECT_EQ(call(3, {Variant::I4(3)}, &got), E_FAIL);
  EXPECT_EQ(JpegError(), "i is out of range");
  EXPECT_EQ(call(5, {Variant::String(u"text"), Variant::I4(1)}), E_FAIL);
  EXPECT_EQ(JpegError(), "variant isn't of type VT_ARRAY");
  EXPECT_EQ(call(4, {Bytes("x")}), DISP_E_BADPARAMCOUNT);
  ASSERT_EQ(call(7, {}), S_OK);
  std::string written;
  vexa::base::ReadFile(out, &written);
  EXPECT_EQ(written, "\xFF\xD8" + Segment(0xFE, "new") + Segment(0xFE, "changed") + sof + "\xFF\xD9");

  // The record's methods of the mapper, late-bound too.
  const std::string record = "<EmbedImage xmlns='http://schemas.vexa.example/go/di-cv-vexa-1-6'>"
                             "<originalIdentifier>R</originalIdentifier></EmbedImage>";
  const std::string photo = Path("record.jpg");
  vexa::base::WriteFileAtomic(photo, "\xFF\xD8" + Segment(0xFE, "plain") + Segment(0xFE, record) + sof +
                                         "\xFF\xD9");
  ComPtr<IDispatch> mapper;
  ASSERT_EQ(CoCreateInstance(CLSID_EmbedImageXML, nullptr, CLSCTX_ALL, IID_IDispatch, mapper.PutVoid()),
            S_OK);
  auto k = Open(photo);
  ASSERT_EQ(k->start(), S_OK);
  LONG position = -1;
  Variant payload, indexRef, bytesRef;
  indexRef.vt = VT_BYREF | VT_I4;
  indexRef.plVal = &position;
  bytesRef.vt = VT_BYREF | VT_VARIANT;
  bytesRef.pvarVal = &payload;
  ComPtr<IDispatch> editor;
  k.As(&editor);
  std::vector<Variant> args = {bytesRef, indexRef, Variant::Dispatch(editor.Get())};
  DISPPARAMS p{args.data(), nullptr, 3, 0};
  Variant none;
  ASSERT_EQ(mapper->Invoke(5, GUID_NULL, 0, DISPATCH_METHOD, &p, none.Out(), nullptr, nullptr), S_OK)
      << LastError();
  EXPECT_EQ(position, 2);
  EXPECT_EQ(Text(payload), record);
  Variant path = Variant::Utf8(photo), loaded;
  DISPPARAMS loadParams{&path, nullptr, 1, 0};
  ASSERT_EQ(mapper->Invoke(3, GUID_NULL, 0, DISPATCH_METHOD, &loadParams, loaded.Out(), nullptr, nullptr),
            S_OK)
      << LastError();
  ComPtr<IEmbedImage> loadedRecord;
  ASSERT_EQ(loaded.pdispVal->QueryInterface(IID_IEmbedImage, loadedRecord.PutVoid()), S_OK);
  Bstr original;
  loadedRecord->get_originalIdentifier(original.Out());
  EXPECT_EQ(original.Utf8(), "R");
}

TEST_F(JpegTest, RecordInAPhoto) {
  VEXA_NEED_JPEG_TOOLS();
  const std::string photo = Path("photo.jpg");
  ASSERT_TRUE(MakePhoto(photo, {}, ""));
  const std::string pixels = Run("djpeg -pnm '" + photo + "'");
  const std::string metadata = Metadata(photo);
  // The segments exiftool reads are all there to compare.
  for (const char* expected : {"[IFD0]          Make", "[ExifIFD]       DateTimeOriginal",
                               "[ICC-header]    ProfileCreator", "[JFIF]"}) {
    EXPECT_NE(metadata.find(expected), std::string::npos) << expected << "\n" << metadata;
  }
  EXPECT_EQ(metadata.find("Warning"), std::string::npos) << metadata;
  auto mapper = Create<IEmbedImageXML>(CLSID_EmbedImageXML);
  Bstr path = Bstr::FromUtf8(photo);

  // No record: a fresh one, not an error.
  ComPtr<IEmbedImage> record;
  ASSERT_EQ(mapper->loadFromJPEG(path.Get(), record.Put()), S_OK) << LastError();
  Bstr id;
  VEXAXMLStillImageResolution res = VEXAXMLStillImageAlbumResolution;
  record->get_originalIdentifier(id.Out());
  record->get_resolution(&res);
  EXPECT_EQ(id.Length(), 0u);
  EXPECT_EQ(res, VEXAXMLStillImageUnknownResolution);

  // Stored twice: one record, the latest.
  for (const char* value : {"first-id", "second-id"}) {
    Bstr v = Bstr::FromUtf8(value);
    record->put_originalIdentifier(v.Get());
    record->put_resolution(VEXAXMLStillImageWebResolution);
    ASSERT_EQ(mapper->storeToJPEG(path.Get(), record.Get()), S_OK) << LastError();
  }
  const std::string listed = Run("rdjpgcom '" + photo + "'");
  EXPECT_EQ(listed.find("first-id"), std::string::npos);
  EXPECT_NE(listed.find("<originalIdentifier>second-id</originalIdentifier>"), std::string::npos);
  EXPECT_EQ(listed.rfind("<?xml", 0), 0u) << listed;
  EXPECT_EQ(listed.find("<?xml", 1), std::string::npos) << listed;
  ComPtr<IEmbedImage> loaded;
  ASSERT_EQ(mapper->loadFromJPEG(path.Get(), loaded.Put()), S_OK);
  loaded->get_originalIdentifier(id.Out());
  loaded->get_resolution(&res);
  EXPECT_EQ(id.Utf8(), "second-id");
  EXPECT_EQ(res, VEXAXMLStillImageWebResolution);
  EXPECT_EQ(Run("djpeg -pnm '" + photo + "'"), pixels);
  EXPECT_EQ(Metadata(photo), metadata);
  EXPECT_TRUE(BvFiles().empty());
}

TEST_F(JpegTest, RecordAmongOtherComments) {
  VEXA_NEED_JPEG_TOOLS();
  const std::string ns = "http://schemas.vexa.example/go/di-cv-vexa-1-6";
  const std::string recordA = "<EmbedImage xmlns='" + ns + "'><originalIdentifier>A</originalIdentifier>"
                              "<resolution>1</resolution></EmbedImage>";
  const std::string recordB = "<EmbedImage xmlns='" + ns + "'><originalIdentifier>B</originalIdentifier>"
                              "</EmbedImage>";
  const std::string otherRoot = "<Other xmlns='" + ns + "'/>";
  const std::string otherNs = "<EmbedImage xmlns='urn:other'><originalIdentifier>X</originalIdentifier></EmbedImage>";
  const std::string photo = Path("photo.jpg");
  ASSERT_TRUE(MakePhoto(photo, {"plain text", otherRoot, otherNs, "", recordA, recordB}, ""));
  auto mapper = Create<IEmbedImageXML>(CLSID_EmbedImageXML);
  auto j = Open(photo);
  ASSERT_EQ(j->start(), S_OK);
  LONG index = -1;
  Variant bytes;
  ASSERT_EQ(mapper->getMarker(j.Get(), &index, &bytes), S_OK) << LastError();
  EXPECT_EQ(index, 5);  // the first comment that is the record
  EXPECT_EQ(Text(bytes), recordA);
  j.Reset();

  Bstr path = Bstr::FromUtf8(photo);
  ComPtr<IEmbedImage> record;
  ASSERT_EQ(mapper->loadFromJPEG(path.Get(), record.Put()), S_OK) << LastError();
  Bstr id;
  record->get_originalIdentifier(id.Out());
  EXPECT_EQ(id.Utf8(), "A");
  Bstr c(u"C");
  record->put_originalIdentifier(c.Get());
  ASSERT_EQ(mapper->storeToJPEG(path.Get(), record.Get()), S_OK) << LastError();
  // The first record is replaced in place; the others stay.
  auto k = Open(photo);
  ASSERT_EQ(k->start(), S_OK);
  LONG n = 0;
  ASSERT_EQ(k->get_numMarkers(&n), S_OK);
  ASSERT_EQ(n, 6);
  Variant v;
  ASSERT_EQ(k->getMarker(1, &v), S_OK);
  EXPECT_EQ(Text(v), "plain text");
  ASSERT_EQ(k->getMarker(5, &v), S_OK);
  EXPECT_NE(Text(v).find("<originalIdentifier>C</originalIdentifier>"), std::string::npos);
  ASSERT_EQ(k->getMarker(6, &v), S_OK);
  EXPECT_EQ(Text(v), recordB);
  EXPECT_EQ(k->getMarker(4, &v), E_FAIL);
  EXPECT_EQ(JpegError(), "the marker is empty");
}

// Broken photos fail cleanly, stay untouched, and leave no temporary file.
TEST_F(JpegTest, BrokenPhotosAndFailedLoadsLeaveNothing) {
  VEXA_NEED_JPEG_TOOLS();
  const std::string photo = Path("photo.jpg");
  ASSERT_TRUE(MakePhoto(photo, {}, ""));
  std::string good;
  vexa::base::ReadFile(photo, &good);
  auto mapper = Create<IEmbedImageXML>(CLSID_EmbedImageXML);
  auto record = Create<IEmbedImage>(CLSID_EmbedImage);
  Bstr id(u"id");
  record->put_originalIdentifier(id.Get());
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"truncated.jpg", good.substr(0, FrameOffset(good) - 3)},
      {"garbage.jpg", std::string("\x00\x01garbage", 9)},
      {"sos-first.jpg", "\xFF\xD8" + Segment(0xDA, "xx")},
  };
  for (const auto& c : cases) {
    const std::string path = Path(c.name);
    vexa::base::WriteFileAtomic(path, c.bytes);
    Bstr p = Bstr::FromUtf8(path);
    EXPECT_EQ(mapper->storeToJPEG(p.Get(), record.Get()), E_FAIL) << c.name;
    ComPtr<IEmbedImage> loaded;
    EXPECT_EQ(mapper->loadFromJPEG(p.Get(), loaded.Put()), E_FAIL) << c.name;
    std::string after;
    vexa::base::ReadFile(path, &after);
    EXPECT_EQ(after, c.bytes) << c.name;
  }
  // A record that is found but cannot be loaded (no stylesheets): the
  // temporary file goes all the same.
  Bstr p = Bstr::FromUtf8(photo);
  ASSERT_EQ(mapper->storeToJPEG(p.Get(), record.Get()), S_OK) << LastError();
  ASSERT_EQ(vexa::reg::SetValue(vexa::reg::Hive::LocalMachine,
                                "SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion", "APP_PATH",
                                vexa::reg::Value::String(Path("nothing/"))),
            vexa::reg::Status::Ok);
  ComPtr<IEmbedImage> loaded;
  EXPECT_EQ(mapper->loadFromJPEG(p.Get(), loaded.Put()), E_FAIL);
  EXPECT_EQ(LastError(), "couldn't loadFromURL: Unable to load XML document: " + Path("nothing/") +
                             "xslt/EmbedImageInput.xsl: No such file or directory");
  EXPECT_TRUE(BvFiles().empty());
}

// Text a record cannot carry is refused before the photo is touched, and a
// record that no longer parses is an error, never "no record".
TEST_F(JpegTest, RecordsXmlCannotCarryAreRefusedAndDamagedOnesReported) {
  VEXA_NEED_JPEG_TOOLS();
  const std::string photo = Path("photo.jpg");
  ASSERT_TRUE(MakePhoto(photo, {}, ""));
  auto mapper = Create<IEmbedImageXML>(CLSID_EmbedImageXML);
  auto record = Create<IEmbedImage>(CLSID_EmbedImage);
  Bstr path = Bstr::FromUtf8(photo);
  std::string before;
  vexa::base::ReadFile(photo, &before);
  struct Case {
    std::u16string id;
    std::string error;
  } cases[] = {
      {std::u16string(u"ab\x01" u"c"), "U+0001 at character 3"},
      {std::u16string(u"tab\tand\x1B"), "U+001B at character 8"},
      {std::u16string(u"\xFFFE"), "U+FFFE at character 1"},
      {std::u16string(u"lone \xD800"), "U+D800 at character 6"},
  };
  for (const Case& c : cases) {
    Bstr id(std::u16string_view(c.id));
    record->put_originalIdentifier(id.Get());
    EXPECT_EQ(mapper->storeToJPEG(path.Get(), record.Get()), E_FAIL);
    EXPECT_EQ(LastError(), "couldn't store the file: couldn't put the value: the text of originalIdentifier holds " +
                               c.error + ", which XML cannot carry");
    std::string after;
    vexa::base::ReadFile(photo, &after);
    EXPECT_EQ(after, before);
  }
  // Characters beyond the first plane and tabs are carried.
  Bstr fine(std::u16string_view(u"ok\t\U0001F600"));
  record->put_originalIdentifier(fine.Get());
  ASSERT_EQ(mapper->storeToJPEG(path.Get(), record.Get()), S_OK) << LastError();

  // A comment that names the record's namespace but does not parse.
  const std::string damaged = Path("damaged.jpg");
  ASSERT_TRUE(MakePhoto(damaged, {"plain", std::string("<EmbedImage xmlns='") +
                                               vexa::base::Utf16ToUtf8(kVexaXmlNamespace) +
                                               "'><originalIdentifier>a\x01</originalIdentifier></EmbedImage>"},
                        ""));
  Bstr damagedPath = Bstr::FromUtf8(damaged);
  ComPtr<IEmbedImage> loaded;
  EXPECT_EQ(mapper->loadFromJPEG(damagedPath.Get(), loaded.Put()), E_FAIL);
  const std::string error = LastError();
  EXPECT_EQ(error.rfind("the embedxml marker (comment 2) cannot be parsed: ", 0), 0u) << error;
  EXPECT_FALSE(loaded);
  std::string kept;
  vexa::base::ReadFile(damaged, &kept);
  EXPECT_EQ(mapper->storeToJPEG(damagedPath.Get(), record.Get()), E_FAIL);
  std::string afterStore;
  vexa::base::ReadFile(damaged, &afterStore);
  EXPECT_EQ(afterStore, kept);
  EXPECT_TRUE(BvFiles().empty());
}

TEST_F(JpegTest, FixerCopiesTheEditedFile) {
  const std::string before = Path("before.jpg"), after = Path("after.jpg"), result = Path("result.jpg");
  vexa::base::WriteFileAtomic(before, "B");
  vexa::base::WriteFileAtomic(after, "A");
  auto fixer = Create<IJPGFixer>(CLSID_JPGFixer);
  Bstr b = Bstr::FromUtf8(before), a = Bstr::FromUtf8(after), r = Bstr::FromUtf8(result);
  Bstr missing = Bstr::FromUtf8(Path("missing.jpg"));
  ASSERT_EQ(fixer->fixup(b.Get(), a.Get(), r.Get(), 90, 0, 0, 10, 10), S_OK);
  std::string text;
  vexa::base::ReadFile(result, &text);
  EXPECT_EQ(text, "A");
  EXPECT_EQ(fixer->fixup(b.Get(), a.Get(), a.Get(), 0, 0, 0, 0, 0), S_OK);
  struct Case {
    BSTR before, after, result;
    const char* error;
  } cases[] = {
      {missing.Get(), a.Get(), r.Get(), "IJPGFixer::fixup - beforePath couldn't be opened"},
      {b.Get(), missing.Get(), r.Get(), "IJPGFixer::fixup - afterPath couldn't be opened"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fixer->fixup(c.before, c.after, c.result, 0, 0, 0, 0, 0), E_FAIL);
    EXPECT_EQ(LastError(), c.error);
  }
  Bstr nowhere = Bstr::FromUtf8(Path("no/dir/result.jpg"));
  EXPECT_EQ(fixer->fixup(b.Get(), a.Get(), nowhere.Get(), 0, 0, 0, 0, 0), E_FAIL);
  EXPECT_EQ(LastError(), "IJPGFixer::fixup - couldn't copy to resultPath: cannot create a file in '" +
                             Path("no/dir") + "' for '" + Path("no/dir/result.jpg") + "': No such file or directory");
}

}  // namespace
}  // namespace vexa::model::test
