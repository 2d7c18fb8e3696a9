#include <set>

#include "imaging/tests/ImgUtilFixture.h"
#include "platform/imaging/Formats.h"
#include "platform/registry/Registry.h"

namespace vexa::imgutil::testing {
namespace {

using vexa::com::Bstr;
namespace img = vexa::imaging;

TEST_F(ImgUtilTest, IdentityAndErrorInformation) {
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(u"VEXAImg.VEXAImgUtil", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_VEXAImgUtil);
  ASSERT_EQ(CLSIDFromProgID(u"VEXAImg.VEXAImgUtil.1", &clsid), S_OK);
  vexa::com::ComPtr<ISupportErrorInfo> sei;
  ASSERT_EQ(util.As(&sei), S_OK);
  EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_IVEXAImgUtil), S_OK);
  EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  VARIANT_BOOL v;
  EXPECT_EQ(util->isStillPNG(247, &v), E_FAIL);
  vexa::com::ErrorText e = vexa::com::TakeError();
  EXPECT_TRUE(e.present);
  EXPECT_EQ(e.source, u"VEXAImg.VEXAImgUtil.1");
  EXPECT_EQ(e.iid, IID_IVEXAImgUtil);
}

TEST_F(ImgUtilTest, FormatFamiliesOverTheWholeRange) {
  using Test = HRESULT (IVEXAImgUtil::*)(LONG, VARIANT_BOOL*);
  struct Row {
    const char* name;
    Test test;
    img::FormatFamily family;
  };
  const Row rows[] = {
      {"isStillBMP", &IVEXAImgUtil::isStillBMP, img::FormatFamily::kBmp},
      {"isStillJPG", &IVEXAImgUtil::isStillJPG, img::FormatFamily::kJpg},
      {"isStillTIF", &IVEXAImgUtil::isStillTIF, img::FormatFamily::kTif},
      {"isStillCMP", &IVEXAImgUtil::isStillCMP, img::FormatFamily::kCmp},
      {"isStillGIF", &IVEXAImgUtil::isStillGIF, img::FormatFamily::kGif},
      {"isStillPNG", &IVEXAImgUtil::isStillPNG, img::FormatFamily::kPng},
      {"isStillPCT", &IVEXAImgUtil::isStillPCT, img::FormatFamily::kPct},
      {"isStillPCD", &IVEXAImgUtil::isStillPCD, img::FormatFamily::kPcd},
  };
  IVEXAImgUtil* u = util.Get();
  for (const Row& r : rows) {
    for (LONG code = 0; code <= 246; ++code) {
      VARIANT_BOOL v = 7;
      ASSERT_EQ((u->*r.test)(code, &v), S_OK);
      ASSERT_EQ(v, img::IsInFamily(code, r.family) ? VARIANT_TRUE : VARIANT_FALSE) << r.name << " " << code;
    }
    for (LONG bad : {-1, 247}) {
      VARIANT_BOOL v;
      EXPECT_EQ((u->*r.test)(bad, &v), E_FAIL);
      EXPECT_EQ(Err(), std::string("IVEXAImgUtil::") + r.name +
                           " - You must specify a valid Leadtools still format number ltInputFormat (0-246)");
    }
  }
  VARIANT_BOOL v;
  EXPECT_EQ(util->isSupportedStillInputFormat(-1, &v), E_FAIL);
  EXPECT_EQ(Err(),
            "IVEXAImgUtil::isSupportedStillInputFormat - You must specify a valid Leadtools still format number "
            "ltInputFormat (0-246)");
}

TEST_F(ImgUtilTest, SupportedInputFormatsFollowTheFilter) {
  const char* key = "SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion";
  struct Row {
    const char* filter;  // null: the shipped default; "": none, so the built-in BMP, JPEG and TIFF
    LONG code;
    bool supported;
  };
  const Row rows[] = {
      {nullptr, 75, true}, {nullptr, 2, true},   {nullptr, 3, true},  {nullptr, 6, true}, {nullptr, 101, true},
      {nullptr, 56, true}, {nullptr, 57, false}, {nullptr, 5, false}, {"", 75, false},     {"", 2, false},
      {"", 101, true},
      {"Pictures (*.jpg;*.bmp)|*.jpg;*.bmp", 75, false}, {"Pictures (*.jpg;*.bmp)|*.jpg;*.bmp", 6, true},
      {"Pictures (*.jpg;*.bmp)|*.jpg;*.bmp", 10, true},  {"Pictures (*.jpg;*.bmp)|*.jpg;*.bmp", 3, false},
      {"*.png;*.gif;*.pcd", 75, true}, {"*.png;*.gif;*.pcd", 14, true}, {"*.png;*.gif;*.pcd", 57, true},
      {"*.png;*.gif;*.pcd", 101, false}, {"", 3, true},
  };
  for (const Row& r : rows) {
    if (r.filter) {
      ASSERT_EQ(reg::SetValue(reg::Hive::LocalMachine, key, "SUPPORTED_FILE_FILTER", reg::Value::String(r.filter)),
                reg::Status::Ok);
    } else {
      reg::DeleteValue(reg::Hive::LocalMachine, key, "SUPPORTED_FILE_FILTER");
    }
    VARIANT_BOOL v = 7;
    ASSERT_EQ(util->isSupportedStillInputFormat(r.code, &v), S_OK);
    EXPECT_EQ(v, r.supported ? VARIANT_TRUE : VARIANT_FALSE) << (r.filter ? r.filter : "(none)") << " " << r.code;
  }
}

TEST_F(ImgUtilTest, GetStillInfoOfEveryFormat) {
  VEXA_REQUIRE_IMAGEMAGICK();
  struct Row {
    const char* file;
    const char* coder;
    LONG type;
    LONG w, h;
  };
  const Row rows[] = {
      {"a photo.jpg", "JPEG:", 101, 64, 48}, {"b.bmp", "BMP3:", 6, 64, 48},   {"c.tif", "TIFF:", 3, 64, 48},
      {"d.gif", "GIF:", 2, 64, 48},          {"e.png", "PNG:", 75, 64, 48},   {"f.pct", "PICT:", 56, 64, 48},
      {"g.pcd", "PCD:", 57, 768, 512},       {"Mixed.Case.JPEG", "JPEG:", 101, 64, 48},
  };
  for (const Row& r : rows) {
    std::string src = Path(std::string("src-") + r.file + ".ppm");
    Make(std::string("src-") + r.file + ".ppm", 64, 48);
    ASSERT_EQ(Shell(std::string(kConvert) + " '" + src + "' " + r.coder + "'" + Path(r.file) + "'"), 0);
    Bstr name, shortName, ext;
    LONG type = 0, w = 0, h = 0;
    ASSERT_EQ(util->GetStillInfo(B(Path(r.file)).Get(), name.Out(), shortName.Out(), ext.Out(), &type, &w, &h), S_OK)
        << Err();
    std::string base = r.file, e = base.substr(base.rfind('.'));
    EXPECT_EQ(name.Utf8(), base.substr(0, base.size() - e.size()));
    EXPECT_EQ(shortName.Utf8(), name.Utf8());
    EXPECT_EQ(ext.Utf8(), e);
    EXPECT_EQ(type, r.type) << r.file;
    EXPECT_EQ(w, r.w) << r.file;
    EXPECT_EQ(h, r.h) << r.file;
  }
}

TEST_F(ImgUtilTest, GetStillInfoChecksInOrder) {
  Bstr name, shortName, ext;
  LONG type, w, h;
  EXPECT_EQ(util->GetStillInfo(B("").Get(), name.Out(), shortName.Out(), ext.Out(), &type, &w, &h), E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::GetStillInfo - You must specify a valid srcFile to read from - ");
  EXPECT_EQ(util->GetStillInfo(B("x").Get(), nullptr, shortName.Out(), ext.Out(), &type, &w, &h), E_POINTER);
  EXPECT_EQ(Err(), "IVEXAImgUtil::GetImageInfo - BSTR *fileName is not a valid pointer");
  EXPECT_EQ(util->GetStillInfo(B("x").Get(), name.Out(), nullptr, ext.Out(), &type, &w, &h), E_POINTER);
  EXPECT_EQ(Err(), "IVEXAImgUtil::GetImageInfo - BSTR *shortFileName is not a valid pointer");
  EXPECT_EQ(util->GetStillInfo(B("x").Get(), name.Out(), shortName.Out(), nullptr, &type, &w, &h), E_POINTER);
  EXPECT_EQ(Err(), "IVEXAImgUtil::GetImageInfo - BSTR *fileExt is not a valid pointer");
  EXPECT_EQ(util->GetStillInfo(B(Path("none.jpg")).Get(), name.Out(), shortName.Out(), ext.Out(), &type, &w, &h),
            E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::GetImageInfo - Can not get find data for srcFile");
  // A wildcard is part of the name, never a pattern that finds another file.
  ASSERT_TRUE(base::WriteFileAtomic(Path("real.jpg"), "not really"));
  EXPECT_EQ(util->GetStillInfo(B(Path("*.jpg")).Get(), name.Out(), shortName.Out(), ext.Out(), &type, &w, &h),
            E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::GetImageInfo - Can not get find data for srcFile");
  EXPECT_EQ(util->GetStillInfo(B(Path("real.jp?")).Get(), name.Out(), shortName.Out(), ext.Out(), &type, &w, &h),
            E_FAIL);
  Err();
  // A file that is no picture: the layer's text, number, the path and the text again.
  EXPECT_EQ(util->GetStillInfo(B(Path("real.jpg")).Get(), name.Out(), shortName.Out(), ext.Out(), &type, &w, &h),
            E_FAIL);
  EXPECT_EQ(Err().rfind("IVEXAImgUtil::GetImageInfo - ltFile.GetInfo() failed - Invalid file format - -7 - " +
                            Path("real.jpg") + " - Invalid file format",
                        0),
            0u);
  // A folder is found, named, and then fails as a picture, saying why.
  ASSERT_TRUE(base::MakeDirs(Path("album.d")));
  EXPECT_EQ(util->GetStillInfo(B(Path("album.d")).Get(), name.Out(), shortName.Out(), ext.Out(), &type, &w, &h),
            E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::GetImageInfo - ltFile.GetInfo() failed - Error reading from file - -5 - " +
                       Path("album.d") + " - Error reading from file: a folder, not a picture file");
  EXPECT_EQ(ext.Utf8(), ".d");
}

TEST_F(ImgUtilTest, ResizeStillChecksInOrder) {
  struct Row {
    const char* src;
    const char* dst;
    VARIANT_BOOL box;
    LONG x, y;
    VARIANT_BOOL up, matte;
    LONG r, g, b;
    const char* message;
  };
  const std::string m = "IVEXAImgUtil::ResizeStill - ";
  const Row rows[] = {
      {"", "", 5, 0, 0, 5, 5, -1, -1, -1, "You must specify a valid srcFile to read from"},
      {"s", "", 5, 0, 0, 5, 5, -1, -1, -1, "You must specify a valid destFile to save to"},
      {"s", "d", 1, 0, 0, 5, 5, -1, -1, -1, "boundingBox must be set to VARIANT_TRUE or VARIANT_FALSE"},
      {"s", "d", -1, 0, 0, 5, 5, -1, -1, -1, "destX must specify a valid final x-coordinate size"},
      {"s", "d", 0, 1, 0, 5, 5, -1, -1, -1, "destY must specify a valid final y-coordinate size"},
      {"s", "d", 0, 1, 1, 5, 5, -1, -1, -1, "upsample must be set to VARIANT_TRUE or VARIANT_FALSE"},
      {"s", "d", 0, 1, 1, 0, -1, 256, -1, -1, "you must specify a valid RGB Red value for the matte (0-255)"},
      {"s", "d", 0, 1, 1, 0, -1, 0, -1, -1, "you must specify a valid RGB Grenn value for the matte (0-255)"},
      {"s", "d", 0, 1, 1, 0, -1, 0, 0, 256, "you must specify a valid RGB Blue value for the matte (0-255)"},
      {"s", "d", 0, 1, 1, 0, 1, -1, -1, -1, "matte must be set to VARIANT_TRUE or VARIANT_FALSE"},
      {"s", "d", 0, 1, 1, 0, 0, -1, -1, -1, "bmSrc.Load failed - -4 - File not found: s"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(util->ResizeStill(B(r.src).Get(), B(r.dst).Get(), r.box, r.x, r.y, r.up, r.matte, r.r, r.g, r.b), E_FAIL);
    EXPECT_EQ(Err(), m + r.message);
  }
}

// Reads a saved still back for pixel checks.
img::Bitmap Read(const std::string& path) {
  img::Bitmap b;
  EXPECT_TRUE(img::Load(path, &b).ok()) << path;
  return b;
}
void ExpectColour(const img::Bitmap& b, int x, int y, int r, int g, int bl, int tolerance = 12) {
  std::uint8_t pr, pg, pb;
  b.GetRgb(x, y, &pr, &pg, &pb);
  EXPECT_NEAR(pr, r, tolerance) << x << "," << y;
  EXPECT_NEAR(pg, g, tolerance) << x << "," << y;
  EXPECT_NEAR(pb, bl, tolerance) << x << "," << y;
}

TEST_F(ImgUtilTest, ResizeStillGeometry) {
  VEXA_REQUIRE_IMAGEMAGICK();
  std::string big = Make("big.png", 1600, 1200), small = Make("small.png", 100, 80);
  // A JPEG is decoded at a reduced scale where that suffices; the fit follows its full size.
  std::string photo = Make("photo.jpg", 1000, 337);
  struct Row {
    std::string src;
    VARIANT_BOOL box;
    LONG x, y;
    VARIANT_BOOL up, matte;
    std::string expect;
  };
  const Row rows[] = {
      // Fitted by the smaller ratio: a landscape picture no longer overflows a flatter box.
      {big, VARIANT_TRUE, 352, 240, VARIANT_FALSE, VARIANT_FALSE, "JPEG 320x240"},
      {big, VARIANT_TRUE, 352, 240, VARIANT_FALSE, VARIANT_TRUE, "JPEG 352x240"},
      {big, VARIANT_FALSE, 704, 480, VARIANT_FALSE, VARIANT_FALSE, "JPEG 704x480"},
      {small, VARIANT_TRUE, 160, 160, VARIANT_FALSE, VARIANT_FALSE, "JPEG 100x80"},
      {small, VARIANT_TRUE, 160, 160, VARIANT_TRUE, VARIANT_FALSE, "JPEG 160x128"},
      {small, VARIANT_TRUE, 160, 160, VARIANT_FALSE, VARIANT_TRUE, "JPEG 160x160"},
      {photo, VARIANT_TRUE, 160, 160, VARIANT_FALSE, VARIANT_FALSE, "JPEG 160x53"},  // 337 x 0.16 = 53.9
      {photo, VARIANT_TRUE, 160, 160, VARIANT_FALSE, VARIANT_TRUE, "JPEG 160x160"},
  };
  for (const Row& r : rows) {
    ASSERT_EQ(util->ResizeStill(B(r.src).Get(), B(Path("out.jpg")).Get(), r.box, r.x, r.y, r.up, r.matte, 0, 255, 0),
              S_OK)
        << Err();
    EXPECT_EQ(Identify(Path("out.jpg")), r.expect);
  }
  // The matte surrounds the centred picture: 100 x 80 sits at (30, 40).
  ASSERT_EQ(util->ResizeStill(B(small).Get(), B(Path("m.jpg")).Get(), VARIANT_TRUE, 160, 160, VARIANT_FALSE,
                              VARIANT_TRUE, 0, 255, 0),
            S_OK);
  img::Bitmap m = Read(Path("m.jpg"));
  ExpectColour(m, 20, 80, 0, 255, 0);
  ExpectColour(m, 80, 30, 0, 255, 0);
  ExpectColour(m, 80, 130, 0, 255, 0);
  ExpectColour(m, 33, 43, 255, 0, 0, 40);  // red top of the gradient
  // A matte of 0, 0, 0 is accepted.
  EXPECT_EQ(util->ResizeStill(B(small).Get(), B(Path("k.jpg")).Get(), VARIANT_TRUE, 160, 160, VARIANT_FALSE,
                              VARIANT_TRUE, 0, 0, 0),
            S_OK);
  // The exact resize against ImageMagick's Lanczos.
  std::string ref = Path("ref.png");
  ASSERT_EQ(Shell(std::string(kConvert) + " '" + big + "' -filter Lanczos -resize 704x480! '" + ref + "'"), 0);
  ASSERT_EQ(util->ResizeStill(B(big).Get(), B(Path("e.jpg")).Get(), VARIANT_FALSE, 704, 480, VARIANT_FALSE,
                              VARIANT_FALSE, 0, 0, 0),
            S_OK);
  double rmse = Rmse(Path("e.jpg"), ref);
  EXPECT_GE(rmse, 0);
  EXPECT_LE(rmse, 0.01);
}

TEST_F(ImgUtilTest, RotateStill) {
  VEXA_REQUIRE_IMAGEMAGICK();
  std::string jpg = Make("p.jpg", 640, 480), bmp = Make("p.bmp", 64, 48);
  const std::string m = "IVEXAImgUtil::RotateStill - ";
  LONG fx = 0, fy = 0;
  struct Bad {
    std::string src, dst;
    LONG degrees;
    VARIANT_BOOL resize;
    std::string message;
  };
  const Bad bad[] = {
      {"", "d", 90, VARIANT_TRUE, "You must specify a valid srcFile to read from"},
      {jpg, "", 90, VARIANT_TRUE, "You must specify a valid destFile to save to"},
      {jpg, "d", 0, VARIANT_TRUE, "degrees must be > 0 and <= 360"},
      {jpg, "d", 361, VARIANT_TRUE, "degrees must be > 0 and <= 360"},
      {jpg, "d", 90, 1, "resize must be set to VARIANT_TRUE or VARIANT_FALSE"},
      {Path("none.jpg"), "d", 90, VARIANT_TRUE, "bmSrc.Load failed - -4 - File not found: " + Path("none.jpg")},
  };
  for (const Bad& b : bad) {
    EXPECT_EQ(util->RotateStill(B(b.src).Get(), B(b.dst).Get(), b.degrees, b.resize, &fx, &fy), E_FAIL);
    EXPECT_EQ(Err(), m + b.message);
  }
  ASSERT_EQ(util->RotateStill(B(jpg).Get(), B(Path("r.jpg")).Get(), 90, VARIANT_TRUE, &fx, &fy), S_OK) << Err();
  EXPECT_EQ(fx, 480);
  EXPECT_EQ(fy, 640);
  EXPECT_EQ(Identify(Path("r.jpg")), "JPEG 480x640");
  std::string ref = Path("ref.png");
  ASSERT_EQ(Shell(std::string(kConvert) + " '" + jpg + "' -rotate 90 '" + ref + "'"), 0);
  EXPECT_LE(Rmse(Path("r.jpg"), ref), 0.01);
  // A BMP source is saved as a JPEG (format 101).
  ASSERT_EQ(util->RotateStill(B(bmp).Get(), B(Path("r2.out")).Get(), 270, VARIANT_TRUE, &fx, &fy), S_OK);
  EXPECT_EQ(Identify(Path("r2.out")), "JPEG 48x64");
  ASSERT_EQ(util->RotateStill(B(bmp).Get(), B(Path("r3.jpg")).Get(), 360, VARIANT_FALSE, &fx, &fy), S_OK);
  EXPECT_EQ(fx, 64);
  EXPECT_EQ(fy, 48);
}

TEST_F(ImgUtilTest, CropStill) {
  VEXA_REQUIRE_IMAGEMAGICK();
  std::string src = Make("wide.png", 704, 480);
  const std::string m = "IVEXAImgUtil::CropStill - ";
  struct Row {
    std::string src, dst;
    LONG x0, y0, x1, y1;
    std::string message;  // "" = succeeds
    std::string size;
  };
  const Row rows[] = {
      {"", "d", 0, 0, 1, 1, "You must specify a valid srcFile to read from", ""},
      {src, "", 0, 0, 1, 1, "You must specify a valid destFile to save to", ""},
      {src, "d", -1, 0, 1, 1, "startX must specify a valid starting x-coordinate", ""},
      {src, "d", 0, -1, 1, 1, "startY must specify a valid starting y-coordinate", ""},
      {src, "d", 0, 0, -1, 1, "endX must specify a valid ending x-coordinate", ""},
      {src, "d", 0, 0, 1, -1, "endY must specify a valid ending y-coordinate", ""},
      {src, "d", 5, 5, 9, 5, "invalid parameters - startY >= endY", ""},
      {src, "d", 5, 5, 5, 9, "invalid parameters - startX >= endX", ""},
      {src, Path("c.jpg"), 0, 0, 705, 480, "bmDest.CopyRect failed - -3 - Invalid parameter passed", ""},
      {src, Path("c.jpg"), 0, 105, 703, 355, "", "JPEG 703x250"},
      {src, Path("c.jpg"), 0, 0, 352, 240, "", "JPEG 352x240"},
  };
  for (const Row& r : rows) {
    HRESULT hr = util->CropStill(B(r.src).Get(), B(r.dst).Get(), r.x0, r.y0, r.x1, r.y1);
    if (r.message.empty()) {
      ASSERT_EQ(hr, S_OK) << Err();
      EXPECT_EQ(Identify(r.dst), r.size);
    } else {
      EXPECT_EQ(hr, E_FAIL);
      EXPECT_EQ(Err(), m + r.message);
    }
  }
  std::string ref = Path("ref.png");
  ASSERT_EQ(Shell(std::string(kConvert) + " '" + src + "' -crop 703x250+0+105 +repage '" + ref + "'"), 0);
  ASSERT_EQ(util->CropStill(B(src).Get(), B(Path("c.jpg")).Get(), 0, 105, 703, 355), S_OK);
  EXPECT_LE(Rmse(Path("c.jpg"), ref), 0.01);
}

TEST_F(ImgUtilTest, Any2JpgAndDamagedSources) {
  VEXA_REQUIRE_IMAGEMAGICK();
  std::string png = Make("a.png", 50, 40);
  EXPECT_EQ(util->Any2JPG(B("").Get(), B("d").Get()), E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::Any2JPG - You must specify a valid srcFile to read from");
  EXPECT_EQ(util->Any2JPG(B(png).Get(), B("").Get()), E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::Any2JPG - You must specify a valid destFile to save to");
  ASSERT_EQ(util->Any2JPG(B(png).Get(), B(Path("a.jpg")).Get()), S_OK);
  EXPECT_EQ(Identify(Path("a.jpg")), "JPEG 50x40");
  // Cut files of each kind: the load fails with the layer's number and text.
  struct Row {
    const char* name;
    const char* coder;
  };
  for (Row r : {Row{"t.jpg", "JPEG:"}, Row{"t.png", "PNG:"}, Row{"t.bmp", "BMP3:"}, Row{"t.gif", "GIF:"},
                Row{"t.tif", "TIFF:"}}) {
    std::string p = Path(r.name);
    ASSERT_EQ(Shell(std::string(kConvert) + " -size 200x150 plasma:fractal " + r.coder + "'" + p + "'"), 0);
    std::string bytes;
    ASSERT_TRUE(base::ReadFile(p, &bytes));
    ASSERT_TRUE(base::WriteFileAtomic(p, bytes.substr(0, bytes.size() / 2)));
    EXPECT_EQ(util->Any2JPG(B(p).Get(), B(Path("x.jpg")).Get()), E_FAIL);
    std::string e = Err();
    EXPECT_EQ(e.rfind("IVEXAImgUtil::any2any - bmBase.Load failed - -", 0), 0u) << r.name << ": " << e;
  }
  EXPECT_FALSE(base::FileExists(Path("x.jpg")));
}

TEST_F(ImgUtilTest, DerivativesOfALargePhoto) {
  VEXA_REQUIRE_IMAGEMAGICK();
  std::string photo = Make("photo.jpg", 6000, 4000);
  struct Row {
    LONG rotate;
    const char* album;
    const char* thumb;
    const char* web;
  };
  const Row rows[] = {
      {0, "JPEG 6000x4000", "JPEG 160x106", "JPEG 640x426"},
      {90, "JPEG 4000x6000", "JPEG 106x160", "JPEG 426x640"},
  };
  for (const Row& r : rows) {
    VARIANT_BOOL ar, tr, wr;
    LONG aw, ah, tw, th, ww, wh;
    ASSERT_EQ(util->CreateStillDerivatives(B(photo).Get(), r.rotate, B(Path("album.jpg")).Get(),
                                           B(Path("thumb.jpg")).Get(), 160, 160, B(Path("web.jpg")).Get(), 640, 640,
                                           &ar, &aw, &ah, &tr, &tw, &th, &wr, &ww, &wh),
              S_OK)
        << Err();
    EXPECT_EQ(ar, VARIANT_TRUE);
    EXPECT_EQ(tr, VARIANT_TRUE);
    EXPECT_EQ(wr, VARIANT_TRUE);
    EXPECT_EQ(Identify(Path("album.jpg")), r.album);
    EXPECT_EQ(Identify(Path("thumb.jpg")), r.thumb);
    EXPECT_EQ(Identify(Path("web.jpg")), r.web);
    EXPECT_EQ("JPEG " + std::to_string(aw) + "x" + std::to_string(ah), r.album);
    EXPECT_EQ("JPEG " + std::to_string(tw) + "x" + std::to_string(th), r.thumb);
    EXPECT_EQ("JPEG " + std::to_string(ww) + "x" + std::to_string(wh), r.web);
  }
}

// A photo the camera stored turned (EXIF Orientation 8: stored a quarter
// turn clockwise) has the upright size, and every picture made from it is
// upright, the user's rotation applied after the camera's, with no
// orientation of its own for a viewer to apply again; the photo stays as it
// was. ImageMagick's -auto-orient is the reference.
TEST_F(ImgUtilTest, PicturesOfAPhotoTheCameraStoredTurnedAreUpright) {
  VEXA_REQUIRE_IMAGEMAGICK();
  if (::access("/usr/bin/exiftool", X_OK) != 0) {
    if (CheckersRequired()) FAIL() << "exiftool missing";
    GTEST_SKIP() << "exiftool missing";
  }
  const std::string photo = Make("side.jpg", 600, 400);
  ASSERT_EQ(Shell("/usr/bin/exiftool -q -overwrite_original -Orientation#=8 '" + photo + "'"), 0);
  std::string before;
  ASSERT_TRUE(base::ReadFile(photo, &before));

  Bstr name, shortName, ext;
  LONG type = 0, w = 0, h = 0;
  ASSERT_EQ(util->GetStillInfo(B(photo).Get(), name.Out(), shortName.Out(), ext.Out(), &type, &w, &h), S_OK) << Err();
  EXPECT_EQ(w, 400);
  EXPECT_EQ(h, 600);

  const auto orientationTag = [](const std::string& path) {
    std::string out;
    Shell("/usr/bin/exiftool -s3 -n -Orientation '" + path + "'", &out);
    return out;
  };
  struct Row {
    LONG rotate;
    const char* album;
    const char* thumb;
    const char* web;
    const char* turn;  // ImageMagick's turn after -auto-orient
  };
  const Row rows[] = {
      {0, "JPEG 400x600", "JPEG 106x160", "JPEG 400x600", ""},  // never made larger
      {90, "JPEG 600x400", "JPEG 160x106", "JPEG 600x400", " -rotate 90"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.rotate);
    VARIANT_BOOL ar, tr, wr;
    LONG aw, ah, tw, th, ww, wh;
    ASSERT_EQ(util->CreateStillDerivatives(B(photo).Get(), r.rotate, B(Path("album.jpg")).Get(),
                                           B(Path("thumb.jpg")).Get(), 160, 160, B(Path("web.jpg")).Get(), 640, 640,
                                           &ar, &aw, &ah, &tr, &tw, &th, &wr, &ww, &wh),
              S_OK)
        << Err();
    EXPECT_EQ("JPEG " + std::to_string(aw) + "x" + std::to_string(ah), r.album);
    const std::string reference = Path("reference.png");
    ASSERT_EQ(Shell(std::string(kConvert) + " '" + photo + "' -auto-orient" + r.turn + " '" + reference + "'"), 0);
    EXPECT_EQ(Identify(Path("album.jpg")), r.album);
    EXPECT_LE(Rmse(Path("album.jpg"), reference), 0.01);
    EXPECT_EQ(Identify(Path("thumb.jpg")), r.thumb);
    EXPECT_EQ(Identify(Path("web.jpg")), r.web);
    const std::string small = Path("reference-web.png");
    ASSERT_EQ(Shell(std::string(kConvert) + " '" + reference + "' -resize " + std::to_string(ww) + "x" +
                    std::to_string(wh) + "! '" + small + "'"),
              0);
    EXPECT_LE(Rmse(Path("web.jpg"), small), 0.02);
    for (const char* copy : {"album.jpg", "thumb.jpg", "web.jpg"}) {
      const std::string tag = orientationTag(Path(copy));
      EXPECT_TRUE(tag.empty() || tag == "1\n") << copy << " has orientation " << tag;
    }
  }
  // The user's own rotation of the file alone comes after the camera's too.
  LONG fx = 0, fy = 0;
  ASSERT_EQ(util->RotateStill(B(photo).Get(), B(Path("r.jpg")).Get(), 270, VARIANT_TRUE, &fx, &fy), S_OK) << Err();
  EXPECT_EQ(fx, 600);
  EXPECT_EQ(fy, 400);
  ASSERT_EQ(Shell(std::string(kConvert) + " '" + photo + "' -auto-orient -rotate 270 '" + Path("ref-r.png") + "'"), 0);
  EXPECT_LE(Rmse(Path("r.jpg"), Path("ref-r.png")), 0.01);

  std::string after;
  ASSERT_TRUE(base::ReadFile(photo, &after));
  EXPECT_TRUE(after == before) << "the photo itself was changed";
  EXPECT_EQ(orientationTag(photo), "8\n");
}

TEST_F(ImgUtilTest, DerivativesEdgeCases) {
  VEXA_REQUIRE_IMAGEMAGICK();
  std::string photo = Make("p.jpg", 800, 600);
  VARIANT_BOOL ar, tr, wr;
  LONG aw, ah, tw, th, ww, wh;
  // The album still is the original itself: nothing written, its size reported.
  ASSERT_EQ(util->CreateStillDerivatives(B(photo).Get(), 0, B(photo).Get(), B(Path("t.jpg")).Get(), 160, 160,
                                         B(Path("w.jpg")).Get(), 640, 640, &ar, &aw, &ah, &tr, &tw, &th, &wr, &ww,
                                         &wh),
            S_OK);
  EXPECT_EQ(ar, VARIANT_TRUE);
  EXPECT_EQ(aw, 800);
  EXPECT_EQ(ah, 600);
  EXPECT_EQ(tw, 160);
  EXPECT_EQ(th, 120);
  EXPECT_EQ(ww, 640);
  EXPECT_EQ(wh, 480);
  // A missing original: every output stays unset.
  EXPECT_EQ(util->CreateStillDerivatives(B(Path("none.jpg")).Get(), 0, B(Path("a.jpg")).Get(), B(Path("t.jpg")).Get(),
                                         160, 160, B(Path("w.jpg")).Get(), 640, 640, &ar, &aw, &ah, &tr, &tw, &th, &wr,
                                         &ww, &wh),
            E_FAIL);
  EXPECT_EQ(Err(), "CVEXAImgUtil::CreateStillDerivatives - bmSrc.Load() failed - -4 - File not found: " +
                       Path("none.jpg"));
  EXPECT_TRUE(ar == VARIANT_FALSE && tr == VARIANT_FALSE && wr == VARIANT_FALSE);
  EXPECT_TRUE(aw == -1 && ah == -1 && tw == -1 && th == -1 && ww == -1 && wh == -1);
  // An album still that cannot be written ends the call before the others.
  base::RemoveAll(Path("t.jpg"));
  EXPECT_EQ(util->CreateStillDerivatives(B(photo).Get(), 0, B(Path("no/such/dir/a.jpg")).Get(), B(Path("t.jpg")).Get(),
                                         160, 160, B(Path("w.jpg")).Get(), 640, 640, &ar, &aw, &ah, &tr, &tw, &th, &wr,
                                         &ww, &wh),
            E_FAIL);
  EXPECT_EQ(Err().rfind("CVEXAImgUtil::CreateStillDerivatives - bmDest.Save failed for albumRes still - -6 - ", 0), 0u);
  EXPECT_EQ(ar, VARIANT_FALSE);
  EXPECT_FALSE(base::FileExists(Path("t.jpg")));
  // All or nothing: a still that cannot be made or written leaves no file
  // of the call behind, and the targets already there as they were.
  ASSERT_TRUE(base::WriteFileAtomic(Path("t.jpg"), "old thumb"));
  ASSERT_TRUE(base::MakeDirs(Path("folder.jpg")));
  struct Row {
    LONG tx, wx;
    std::string web;
    std::string message;
  };
  const Row rows[] = {
      {0, 640, Path("w.jpg"),
       "CVEXAImgUtil::CreateStillDerivatives - ResizeStillHelper failed for thumbRes still - -3 - "
       "Invalid parameter passed"},
      {160, -1, Path("w.jpg"),
       "CVEXAImgUtil::CreateStillDerivatives - ResizeStillHelper failed for webRes still - -3 - "
       "Invalid parameter passed"},
      {160, 640, Path("no/such/dir/w.jpg"),
       "CVEXAImgUtil::CreateStillDerivatives - bmDest.Save failed for webRes still - -6 - Error writing to file: "
       "cannot create a file in '" + Path("no/such/dir") + "' for '" + Path("no/such/dir/w.jpg") +
       "': No such file or directory"},
      {160, 640, Path("folder.jpg"),
       "CVEXAImgUtil::CreateStillDerivatives - bmDest.Save failed for webRes still - -6 - Error writing to file: '" +
           Path("folder.jpg") + "' is a folder"},
  };
  for (const Row& r : rows) {
    base::RemoveAll(Path("a.jpg"));
    EXPECT_EQ(util->CreateStillDerivatives(B(photo).Get(), 0, B(Path("a.jpg")).Get(), B(Path("t.jpg")).Get(), r.tx,
                                           160, B(r.web).Get(), r.wx, 640, &ar, &aw, &ah, &tr, &tw, &th, &wr, &ww,
                                           &wh),
              E_FAIL);
    EXPECT_EQ(Err(), r.message);
    EXPECT_TRUE(ar == VARIANT_FALSE && tr == VARIANT_FALSE && wr == VARIANT_FALSE);
    EXPECT_FALSE(base::FileExists(Path("a.jpg")));
    std::string thumb;
    base::ReadFile(Path("t.jpg"), &thumb);
    EXPECT_EQ(thumb, "old thumb");
  }
}

// A result that names its source (by the same text, another spelling or a
// link) or another result is refused before anything is written; an album
// still that is the source itself is the original, unless it must turn.
TEST_F(ImgUtilTest, DerivativesNeverOverwriteTheirSource) {
  VEXA_REQUIRE_IMAGEMAGICK();
  const std::string photo = Make("p.jpg", 800, 600);
  std::string original;
  ASSERT_TRUE(base::ReadFile(photo, &original));
  ASSERT_EQ(::symlink(photo.c_str(), Path("link.jpg").c_str()), 0);
  const std::string p = "CVEXAImgUtil::CreateStillDerivatives - ";
  struct Row {
    LONG degrees;
    std::string album, thumb, web, message;
  } rows[] = {
      {90, photo, Path("t.jpg"), Path("w.jpg"), p + "albumResStill names origStill, which the rotation would overwrite"},
      {0, Path("a.jpg"), photo, Path("w.jpg"), p + "thumbResStill names origStill, which it would overwrite"},
      {0, Path("a.jpg"), Path("t.jpg"), Path("link.jpg"), p + "webResStill names origStill, which it would overwrite"},
      {0, Path("a.jpg"), dir_ + "/./p.jpg", Path("w.jpg"), p + "thumbResStill names origStill, which it would overwrite"},
      {0, Path("a.jpg"), Path("t.jpg"), Path("t.jpg"), p + "thumbResStill and webResStill name the same file"},
      {0, Path("w.jpg"), Path("t.jpg"), Path("w.jpg"), p + "albumResStill names the same file as webResStill"},
  };
  VARIANT_BOOL ar, tr, wr;
  LONG aw, ah, tw, th, ww, wh;
  for (const Row& r : rows) {
    EXPECT_EQ(util->CreateStillDerivatives(B(photo).Get(), r.degrees, B(r.album).Get(), B(r.thumb).Get(), 160, 160,
                                           B(r.web).Get(), 640, 640, &ar, &aw, &ah, &tr, &tw, &th, &wr, &ww, &wh),
              E_FAIL);
    EXPECT_EQ(Err(), r.message);
    std::string after;
    ASSERT_TRUE(base::ReadFile(photo, &after));
    EXPECT_EQ(after, original);
    EXPECT_FALSE(base::FileExists(Path("a.jpg")) || base::FileExists(Path("t.jpg")) || base::FileExists(Path("w.jpg")));
  }
  // The album still reached through a link to the source, without rotation:
  // the original serves and is not written.
  ASSERT_EQ(util->CreateStillDerivatives(B(photo).Get(), 0, B(Path("link.jpg")).Get(), B(Path("t.jpg")).Get(), 160,
                                         160, B(Path("w.jpg")).Get(), 640, 640, &ar, &aw, &ah, &tr, &tw, &th, &wr,
                                         &ww, &wh),
            S_OK)
      << Err();
  EXPECT_EQ(ar, VARIANT_TRUE);
  std::string after;
  ASSERT_TRUE(base::ReadFile(photo, &after));
  EXPECT_EQ(after, original);
}

TEST_F(ImgUtilTest, CallsThroughIDispatch) {
  vexa::com::ComPtr<IDispatch> d;
  ASSERT_EQ(util.As(&d), S_OK);
  LPOLESTR name = const_cast<LPOLESTR>(u"resizestill");
  DISPID id = 0;
  ASSERT_EQ(d->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 4);
  // Type information from the same table, in the server's library.
  vexa::com::ComPtr<ITypeInfo> info;
  ASSERT_EQ(d->GetTypeInfo(0, 0, info.Put()), S_OK);
  vexa::com::Bstr itf;
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, itf.Out(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(itf.View(), u"IVEXAImgUtil");
  vexa::com::ComPtr<ITypeLib> lib;
  ASSERT_EQ(info->GetContainingTypeLib(lib.Put(), nullptr), S_OK);
  TLIBATTR* libAttr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&libAttr), S_OK);
  EXPECT_EQ(libAttr->guid, LIBID_VEXAIMGLib);
  lib->ReleaseTLibAttr(libAttr);
  MEMBERID memid = 0;
  ASSERT_EQ(info->GetIDsOfNames(&name, 1, &memid), S_OK);
  EXPECT_EQ(memid, 4);
  VARIANT_BOOL answer = 7;
  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[0].vt = VT_BYREF | VT_BOOL;  // last argument first
  args[0].pboolVal = &answer;
  args[1].vt = VT_I4;
  args[1].lVal = 101;
  DISPPARAMS params{args, nullptr, 2, 0};
  vexa::com::Variant result;
  ASSERT_EQ(d->Invoke(9, GUID_NULL, 0, DISPATCH_METHOD, &params, result.Out(), nullptr, nullptr), S_OK);
  EXPECT_EQ(answer, VARIANT_TRUE);
  args[1].lVal = 500;
  EXPECT_EQ(d->Invoke(9, GUID_NULL, 0, DISPATCH_METHOD, &params, result.Out(), nullptr, nullptr), E_FAIL);
  EXPECT_EQ(Err(), "IVEXAImgUtil::isStillJPG - You must specify a valid Leadtools still format number ltInputFormat (0-246)");
  args[0].vt = VT_BOOL;  // an out-argument not passed by reference
  EXPECT_EQ(d->Invoke(9, GUID_NULL, 0, DISPATCH_METHOD, &params, result.Out(), nullptr, nullptr), DISP_E_TYPEMISMATCH);
  // A last out-argument left off is the call's result.
  args[1].lVal = 101;
  DISPPARAMS formatOnly{&args[1], nullptr, 1, 0};
  ASSERT_EQ(d->Invoke(9, GUID_NULL, 0, DISPATCH_METHOD, &formatOnly, result.Out(), nullptr, nullptr), S_OK);
  EXPECT_EQ(result.vt, VT_BOOL);
  EXPECT_EQ(result.boolVal, VARIANT_TRUE);
  formatOnly.cArgs = 0;
  EXPECT_EQ(d->Invoke(9, GUID_NULL, 0, DISPATCH_METHOD, &formatOnly, result.Out(), nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
}

}  // namespace
}  // namespace vexa::imgutil::testing
