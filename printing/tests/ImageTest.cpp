// Print images and their collection, and the three configuration objects.
#include <cstdlib>
#include <fstream>

#include "printing/tests/PrintFixture.h"

namespace vexa::printtest {
namespace {

using com::Variant;

struct Sizes {
  long ow, oh, nw, nh, tw, th;
};

Sizes SizesOf(IImage* image) {
  LONG v[6] = {};
  image->GetOriginalWidth(&v[0]);
  image->GetOriginalHeight(&v[1]);
  image->GetNormalizedWidth(&v[2]);
  image->GetNormalizedHeight(&v[3]);
  image->GetThumbnailWidth(&v[4]);
  image->GetThumbnailHeight(&v[5]);
  return {v[0], v[1], v[2], v[3], v[4], v[5]};
}


class ImageTest : public PrintTest {};

TEST_F(ImageTest, CopiesHaveTheLongSidesOfTheLayoutWhateverTheOriginal) {
  VEXA_NEED_CHECKERS("identify");
  struct Row {
    int w, h;
    Sizes want;
  } rows[] = {
      {4000, 3000, {4000, 3000, 1024, 768, 300, 225}},
      {3000, 4000, {3000, 4000, 768, 1024, 225, 300}},
      {2000, 2000, {2000, 2000, 1024, 1024, 300, 300}},
      {3000, 2000, {3000, 2000, 1024, 682, 300, 200}},
      {200, 100, {200, 100, 1024, 512, 300, 150}},
      {4000, 2, {4000, 2, 1024, 1, 300, 1}},  // never a zero-size copy
  };
  for (const Row& r : rows) {
    const std::string src = MakePhoto(Path("in" + std::to_string(r.w) + "x" + std::to_string(r.h) + ".jpg"), r.w, r.h);
    ComPtr<IImage> image = Make<IImage>(CLSID_Image);
    EXPECT_EQ(image->SetPathname(B(src).Get()), S_FALSE) << "copies made by this call";
    const Sizes s = SizesOf(image.Get());
    EXPECT_EQ(s.ow, r.want.ow);
    EXPECT_EQ(s.oh, r.want.oh);
    EXPECT_EQ(s.nw, r.want.nw) << r.w << "x" << r.h;
    EXPECT_EQ(s.nh, r.want.nh) << r.w << "x" << r.h;
    EXPECT_EQ(s.tw, r.want.tw) << r.w << "x" << r.h;
    EXPECT_EQ(s.th, r.want.th) << r.w << "x" << r.h;
    Bstr normal, thumb;
    image->GetNormalizedPathname(normal.Out());
    image->GetThumbnailPathname(thumb.Out());
    std::string out;
    pdftest::Shell("identify -format '%m %wx%h\\n' " + pdftest::Quote(normal.Utf8()) + " " +
                       pdftest::Quote(thumb.Utf8()),
                   &out);
    EXPECT_EQ(out, "JPEG " + std::to_string(r.want.nw) + "x" + std::to_string(r.want.nh) + "\nJPEG " +
                       std::to_string(r.want.tw) + "x" + std::to_string(r.want.th) + "\n");
  }
}

// A photo the camera stored turned (EXIF Orientation 6, a quarter turn
// clockwise to view) is printed upright: its sizes are the upright ones and
// its copies match ImageMagick's upright reading of it.
TEST_F(ImageTest, PhotosTheCameraStoredTurnedArePrintedUpright) {
  VEXA_NEED_CHECKERS("identify", "convert", "compare", "exiftool");
  const std::string src = MakePhoto(Path("side.jpg"), 400, 300);
  ASSERT_EQ(pdftest::Shell("exiftool -q -overwrite_original -Orientation#=6 " + pdftest::Quote(src)), 0);
  ComPtr<IImage> image = Make<IImage>(CLSID_Image);
  ASSERT_TRUE(SUCCEEDED(image->SetPathname(B(src).Get())));
  const Sizes s = SizesOf(image.Get());
  EXPECT_EQ(s.ow, 300);
  EXPECT_EQ(s.oh, 400);
  EXPECT_EQ(s.nw, 768);
  EXPECT_EQ(s.nh, 1024);
  EXPECT_EQ(s.tw, 225);
  EXPECT_EQ(s.th, 300);
  Bstr normal;
  image->GetNormalizedPathname(normal.Out());
  const std::string reference = Path("upright.png");
  ASSERT_EQ(pdftest::Shell("convert " + pdftest::Quote(src) + " -auto-orient -resize 768x1024! " +
                           pdftest::Quote(reference)),
            0);
  std::string out;
  pdftest::Shell("compare -metric RMSE " + pdftest::Quote(normal.Utf8()) + " " + pdftest::Quote(reference) +
                     " null: 2>&1",
                 &out);
  ASSERT_NE(out.find('('), std::string::npos) << out;
  EXPECT_LE(std::atof(out.c_str() + out.find('(') + 1), 0.02) << out;
}

TEST_F(ImageTest, PhotosNamedAlikeKeepTheirOwnCopies) {
  base::MakeDirs(Path("a"));
  base::MakeDirs(Path("b"));
  const std::string a = MakePhoto(Path("a/beach.JPG"), 64, 48, 1);
  const std::string b = MakePhoto(Path("b/beach.jpg"), 48, 64, 2);
  ComPtr<IImage> first = Make<IImage>(CLSID_Image);
  ComPtr<IImage> released = Make<IImage>(CLSID_Image);
  released.Reset();  // a number given out once is never given again
  ComPtr<IImage> second = Make<IImage>(CLSID_Image);
  ASSERT_TRUE(SUCCEEDED(first->SetPathname(B(a).Get())));
  ASSERT_TRUE(SUCCEEDED(second->SetPathname(B(b).Get())));
  Bstr n1, n2, t1, t2;
  first->GetNormalizedPathname(n1.Out());
  second->GetNormalizedPathname(n2.Out());
  first->GetThumbnailPathname(t1.Out());
  second->GetThumbnailPathname(t2.Out());
  EXPECT_NE(n1.Utf8(), n2.Utf8());
  EXPECT_NE(t1.Utf8(), t2.Utf8());
  EXPECT_EQ(base::DirName(n1.Utf8()), work_);
  EXPECT_EQ(base::BaseName(n1.Utf8()).rfind("beach-", 0), 0u);
  EXPECT_EQ(base::BaseName(t1.Utf8()).substr(base::BaseName(t1.Utf8()).size() - 10), "-thumb.jpg");
  imaging::ImageInfo i1, i2;
  ASSERT_TRUE(imaging::ReadInfo(n1.Utf8(), &i1).ok());
  ASSERT_TRUE(imaging::ReadInfo(n2.Utf8(), &i2).ok());
  EXPECT_EQ(i1.width, 1024) << "the landscape photo's copy";
  EXPECT_EQ(i2.width, 768) << "the portrait photo's copy";

  // The names follow the working folder, also for copies made earlier.
  base::MakeDirs(Path("other"));
  ASSERT_EQ(first->SetTmpWorkingDirectory(B(Path("other")).Get()), S_OK);
  Bstr moved;
  first->GetNormalizedPathname(moved.Out());
  EXPECT_EQ(base::DirName(moved.Utf8()), Path("other"));
  EXPECT_EQ(first->SetTmpWorkingDirectory(B(work_).Get()), S_OK);
}

TEST_F(ImageTest, MissingFilesAndFoldersAreReported) {
  ComPtr<IImage> image = Make<IImage>(CLSID_Image);
  EXPECT_EQ(image->SetPathname(B(Path("none.jpg")).Get()), E_FAIL);
  EXPECT_EQ(LastError(), "CImage::SetPathname - File not found");
  EXPECT_EQ(image->SetTmpWorkingDirectory(B(Path("no-folder")).Get()), E_FAIL);
  EXPECT_EQ(LastError(), "CImage::SetTmpWorkingDirectory - Directory not found");
  // A file the imaging layer cannot read is kept without copies.
  ASSERT_TRUE(base::WriteFileAtomic(Path("text.jpg"), "not a picture"));
  EXPECT_EQ(image->SetPathname(B(Path("text.jpg")).Get()), S_OK);
  const Sizes s = SizesOf(image.Get());
  EXPECT_EQ(s.nw + s.nh + s.tw + s.th + s.ow + s.oh, 0);
  Bstr original;
  image->GetOriginalPathname(original.Out());
  EXPECT_EQ(original.Utf8(), Path("text.jpg"));
}

TEST_F(ImageTest, TheCollectionIsZeroBasedAndChecksItsArguments) {
  ComPtr<IImageCollection> photos = Make<IImageCollection>(CLSID_ImageCollection);
  const auto files = Photos("set", 3);
  base::MakeDirs(Path("set/sub"));
  MakePhoto(Path("set/sub/nested.jpg"), 20, 20);
  ASSERT_TRUE(base::WriteFileAtomic(Path("set/notes.png"), "x"));
  ASSERT_EQ(photos->AddDirectory(B(Path("set")).Get()), S_OK);
  LONG count = 0;
  photos->get_Count(&count);
  EXPECT_EQ(count, 3) << "the folder's own .jpg files only";
  EXPECT_EQ(photos->AddPathname(B(Path("none.jpg")).Get()), E_FAIL);
  EXPECT_EQ(LastError(), "CImageCollection::AddPathname - File not found");
  EXPECT_EQ(photos->AddDirectory(B(Path("nowhere")).Get()), E_FAIL);
  EXPECT_EQ(LastError(), "CImageCollection::AddDirectory - Directory not found");
  base::MakeDirs(Path("pngs"));
  ASSERT_TRUE(base::WriteFileAtomic(Path("pngs/a.png"), "x"));
  EXPECT_EQ(photos->AddDirectory(B(Path("pngs")).Get()), E_FAIL);
  EXPECT_EQ(LastError(), "CImageCollection::AddDirectory - Directory/Images not found\n");

  Variant bad;
  bad.vt = VT_BSTR;
  bad.bstrVal = SysAllocString(u"0");
  Variant item;
  EXPECT_EQ(photos->Item(bad, &item), E_INVALIDARG);
  EXPECT_EQ(photos->Item(Variant::I4(3), &item), E_INVALIDARG);
  EXPECT_EQ(photos->Remove(3), E_FAIL);
  ASSERT_EQ(photos->Item(Variant::I4(1), &item), S_OK);
  ASSERT_EQ(item.vt, VT_DISPATCH);
  ComPtr<IImage> second;
  ASSERT_EQ(item.pdispVal->QueryInterface(IID_IImage, reinterpret_cast<void**>(second.Put())), S_OK);
  Bstr path;
  second->GetOriginalPathname(path.Out());
  EXPECT_EQ(path.Utf8(), files[1]);

  // The enumerator is a snapshot.
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(photos->get__NewEnum(unknown.Put()), S_OK);
  ComPtr<IEnumVARIANT> e;
  ASSERT_EQ(unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(e.Put())), S_OK);
  EXPECT_EQ(photos->Remove(0), S_OK);
  int seen = 0;
  for (;;) {
    Variant v;
    ULONG got = 0;
    if (e->Next(1, &v, &got) != S_OK || got == 0) break;
    ++seen;
  }
  EXPECT_EQ(seen, 3);
  photos->get_Count(&count);
  EXPECT_EQ(count, 2);
}

// The copies of the photos added one after another are made while the next
// ones are added; whatever the collection answers afterwards (its count,
// its items, its enumeration) sees every photo whole, in the order added.
TEST_F(ImageTest, PhotosAddedInARowAreWholeAndInOrderWhenRead) {
  ComPtr<IImageCollection> photos = Make<IImageCollection>(CLSID_ImageCollection);
  std::vector<std::string> files;
  std::vector<Sizes> want;
  for (int i = 0; i < 20; ++i) {
    const bool broken = i == 7;
    const std::string path = Path("row" + std::to_string(i) + ".jpg");
    if (broken) {
      ASSERT_TRUE(base::WriteFileAtomic(path, "not a picture"));
      want.push_back({});
    } else {
      const int w = 200 + 40 * i, h = i % 2 ? 300 : 150;
      MakePhoto(path, w, h, i + 1);
      Sizes s{w, h, 0, 0, 0, 0};
      const bool wide = w >= h;
      s.nw = wide ? 1024 : static_cast<long>(static_cast<double>(w) / h * 1024);
      s.nh = wide ? static_cast<long>(static_cast<double>(h) / w * 1024) : 1024;
      s.tw = wide ? 300 : static_cast<long>(static_cast<double>(w) / h * 300);
      s.th = wide ? static_cast<long>(static_cast<double>(h) / w * 300) : 300;
      want.push_back(s);
    }
    files.push_back(path);
    ASSERT_EQ(photos->AddPathname(B(path).Get()), S_OK);
  }
  LONG count = 0;
  ASSERT_EQ(photos->get_Count(&count), S_OK);
  ASSERT_EQ(count, 20);
  for (int i = 0; i < 20; ++i) {
    Variant item;
    ASSERT_EQ(photos->Item(Variant::I4(i), &item), S_OK);
    ComPtr<IImage> image;
    ASSERT_EQ(item.pdispVal->QueryInterface(IID_IImage, reinterpret_cast<void**>(image.Put())), S_OK);
    Bstr original;
    image->GetOriginalPathname(original.Out());
    EXPECT_EQ(original.Utf8(), files[static_cast<std::size_t>(i)]);
    const Sizes s = SizesOf(image.Get()), w = want[static_cast<std::size_t>(i)];
    EXPECT_EQ(std::vector<long>({s.ow, s.oh, s.nw, s.nh, s.tw, s.th}),
              std::vector<long>({w.ow, w.oh, w.nw, w.nh, w.tw, w.th}))
        << "photo " << i;
    if (w.nw == 0) continue;
    Bstr normal, thumb;
    image->GetNormalizedPathname(normal.Out());
    image->GetThumbnailPathname(thumb.Out());
    imaging::ImageInfo n, t;
    ASSERT_TRUE(imaging::ReadInfo(normal.Utf8(), &n).ok()) << normal.Utf8();
    ASSERT_TRUE(imaging::ReadInfo(thumb.Utf8(), &t).ok()) << thumb.Utf8();
    EXPECT_EQ(std::vector<long>({n.width, n.height, t.width, t.height}), std::vector<long>({w.nw, w.nh, w.tw, w.th}))
        << "photo " << i;
  }
}

TEST_F(ImageTest, ConfigurationsStartWithTheirDefaultsAndCheckIndexes) {
  ComPtr<IPrintJewelCaseConfiguration> jc = Make<IPrintJewelCaseConfiguration>(CLSID_PrintJewelCaseConfiguration);
  LONG dash = 0;
  FLOAT angle = 0, size = 0;
  jc->get_CutLineDashPattern(&dash);
  jc->get_BindingLabelTitleStringAngle(0, &angle);
  jc->get_HelpStringFontSize(0, &size);
  EXPECT_EQ(dash, 6);
  EXPECT_EQ(angle, 270.0f);
  EXPECT_EQ(size, 12.0f);
  Bstr text;
  jc->get_BackCoverString(0, text.Out());
  EXPECT_EQ(text.Utf8(), "kv orlune disc");
  jc->get_BackCoverString(1, text.Out());
  EXPECT_EQ(text.Utf8(), "Created: ");
  jc->get_HelpString(3, text.Out());
  EXPECT_EQ(text.Utf8(), "- If size is wrong, verify that \"Shrink to Fit\" is turned off in the print dialog");
  jc->get_TitleStringFontType(0, text.Out());
  EXPECT_EQ(text.Utf8(), "Times-Roman");
  SHORT index = 0;
  jc->get_FrontCoverPictureImageIndex(&index);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(jc->get_HelpString(9, text.Out()), E_FAIL);
  EXPECT_EQ(LastError(), "CPrintJewelCaseConfiguration::get_HelpString - Index out of range");
  EXPECT_EQ(jc->put_BindingLabelTitleStringPosX(2, 1.0f), E_FAIL);

  ComPtr<IPrintAlbumConfiguration> album = Make<IPrintAlbumConfiguration>(CLSID_PrintAlbumConfiguration);
  album->get_HelpStringFontSize(0, &size);
  EXPECT_EQ(size, 10.0f);
  album->get_HelpString(0, 1, text.Out());
  EXPECT_EQ(text.Utf8(), "The box surrounding the picture above should measure exactly 13 cm x 18 cm.");
  FLOAT w = 0;
  album->get_PhotoWidth(0, 1, &w);
  EXPECT_EQ(w, 7.0866f);
  album->get_PhotoWidth(3, 1, &w);
  EXPECT_EQ(w, 0.0f);
  EXPECT_EQ(album->get_PhotoWidth(4, 0, &w), E_FAIL);
  EXPECT_EQ(album->get_PhotoWidth(0, 2, &w), E_FAIL);
  EXPECT_EQ(album->put_PageLayout(1), S_OK);
  LONG layout = 0;
  album->get_PageLayout(&layout);
  EXPECT_EQ(layout, 1);
  album->get_PhotoWidth(0, 0, &w);
  EXPECT_EQ(w, 7.0f) << "both layouts' values stay";

  ComPtr<IPrintContactSheetConfiguration> sheet =
      Make<IPrintContactSheetConfiguration>(CLSID_PrintContactSheetConfiguration);
  sheet->put_PageMarginRight(1.25f);
  sheet->put_PageMarginTop(2.0f);
  sheet->get_PageMarginRight(&w);
  EXPECT_EQ(w, 1.25f);
  sheet->get_TitleStringFontSize(2, &size);
  EXPECT_EQ(size, 8.0f);
  sheet->get_BannerString(text.Out());
  EXPECT_EQ(text.Utf8(), "");

  // Through IDispatch too: a plain property and an indexed read.
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(u"CutLineDashPattern");
  ASSERT_EQ(jc->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 37);
  Variant result;
  DISPPARAMS none{};
  ASSERT_EQ(jc->Invoke(37, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
  EXPECT_EQ(result.lVal, 6);
  Variant arg = Variant::I4(1);
  DISPPARAMS one{&arg, nullptr, 1, 0};
  Variant y;
  ASSERT_EQ(jc->Invoke(43, GUID_NULL, 0, DISPATCH_PROPERTYGET, &one, &y, nullptr, nullptr), S_OK);
  EXPECT_EQ(y.vt, VT_R4);
  EXPECT_EQ(y.fltVal, 1.45f);
}

}  // namespace
}  // namespace vexa::printtest
