// CCoVexaPrt: the print front. It owns one of each kvprint print product
// and one photo collection they share, feeds the disc's stills, title lines
// and paper size to them and asks each for its PDF; and it carries a self
// test that writes a small diagnostic log.
#include <cstdio>
#include <memory>
#include <type_traits>

#include "idl/kvprint.h"
#include "idl/vexaprt.h"
#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "printing/ComSupport.h"

namespace vexa::vexaprt {
namespace {

using namespace vexa::com;

HRESULT Fail(std::string_view message) { return ReportError(CLSID_CoVexaPrt, message, IID_ICoVexaPrt, E_FAIL); }

// A failure of a print product: the product's own reason ("...::GeneratePDF -
// Too many images: ...") stays in front of this object's message, a line
// feed between them, so the user learns why the document was not made.
HRESULT FailAfterProduct(std::string_view message) {
  const ErrorText e = TakeError();
  if (!e.present || e.description.empty()) return Fail(message);
  return Fail(e.Utf8Description() + "\n" + std::string(message));
}

template <typename I>
HRESULT Create(REFCLSID clsid, ComPtr<I>* out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IidOf<I>(), reinterpret_cast<void**>(out->Put()));
}

// The self test's log file, through the system's output file (a symbolic
// link or another user's file at the path is refused); put in place when
// the test ends, on every path.
class Log {
 public:
  explicit Log(const std::string& path) { open_ = out_.Open(base::ToNativePath(path)); }
  ~Log() {
    if (open_) out_.Commit();
  }
  bool open() const { return open_; }
  bool Write(std::string_view text) { return open_ && out_.Write(text); }
  void Flush() {
    if (open_) std::fflush(out_.Stream());
  }

 private:
  base::OutputFile out_;
  bool open_ = false;
};

class CCoVexaPrt : public ComObjectRoot,
                   public DispatchImpl<CCoVexaPrt, ICoVexaPrt> {
 public:
  using Interfaces = InterfaceMap<ICoVexaPrt, Via<IDispatch, ICoVexaPrt>>;
  static std::span<const DispatchEntry<CCoVexaPrt>> DispatchTable();

  HRESULT FinalConstruct() {
    if (FAILED(Create(CLSID_PrintContactSheet, &contactSheet_))) {
      return Fail("CCoVexaPrt::FinalConstruct - Failed to create IPrintContactSheet");
    }
    if (FAILED(Create(CLSID_PrintAlbum, &album_))) return Fail("CCoVexaPrt::FinalConstruct - Failed to create IPrintAlbum");
    if (FAILED(Create(CLSID_PrintJCInsert, &insert_))) {
      return Fail("CCoVexaPrt::FinalConstruct - Failed to create IPrintJCInsert");
    }
    if (FAILED(Create(CLSID_ImageCollection, &collection_))) {
      return Fail("CCoVexaPrt::FinalConstruct - Failed to create IImageCollection");
    }
    if (FAILED(contactSheet_->SetImageCollection(collection_.Get()))) {
      return Fail("CCoVexaPrt::FinalConstruct - Failed to set contact sheet image collection");
    }
    if (FAILED(insert_->SetImageCollection(collection_.Get()))) {
      return Fail("CCoVexaPrt::FinalConstruct - Failed to set jewel case image collection");
    }
    if (FAILED(album_->SetImageCollection(collection_.Get()))) {
      return Fail("CCoVexaPrt::FinalConstruct - Failed to set print album image collection");
    }
    if (FAILED(SetPageLayout(0))) return Fail("CCoVexaPrt::FinalConstruct - Problem setting paper size");
    return S_OK;
  }

  void FinalRelease() {
    collection_.Reset();
    contactSheet_.Reset();
    album_.Reset();
    insert_.Reset();
  }

  HRESULT AddStill(BSTR stillFile, BSTR, DATE, LONG, BSTR, DATE) override {
    if (FAILED(collection_->AddPathname(stillFile))) return Fail("CCoVexaPrt::AddStill - Failed to add image");
    return S_OK;
  }

  HRESULT SetTitleLines(BSTR line1, BSTR line2, BSTR line3) override {
    if (FAILED(contactSheet_->SetTitleLines(line1, line2, line3))) {
      return Fail("CCoVexaPrt::SetTitleLines - Failed to set title line for contact sheet");
    }
    if (FAILED(insert_->SetTitleLines(line1, line2, line3))) {
      return Fail("CCoVexaPrt::SetTitleLines - Failed to set title line for cd insert");
    }
    return S_OK;
  }

  HRESULT MakeContactSheet(BSTR destinationPath, BSTR prefixStr, LONG numberOfDigits) override {
    if (FAILED(contactSheet_->GeneratePDF(destinationPath, prefixStr, numberOfDigits))) {
      return FailAfterProduct("CCoVexaPrt::MakeContactSheet - Failed to create contact sheet");
    }
    return S_OK;
  }

  HRESULT MakeCdInsert(BSTR destination) override {
    if (FAILED(insert_->GeneratePDF(destination))) {
      return FailAfterProduct("CCoVexaPrt::MakeCdInsert - Failed to create cd insert");
    }
    return S_OK;
  }

  HRESULT MakePrintAlbum(BSTR destination) override {
    if (FAILED(album_->GeneratePDF(destination))) {
      return FailAfterProduct("CCoVexaPrt::MakePrintAlbum - Failed to create print album");
    }
    return S_OK;
  }

  HRESULT SetTemporaryDirectory(BSTR directory) override {
    ComPtr<IImage> image;
    if (FAILED(Create(CLSID_Image, &image))) {
      return Fail("CCoVexaPrt::SetTemporaryDirectory - Failed to create IImage");
    }
    if (FAILED(image->SetTmpWorkingDirectory(directory))) {
      return Fail("CCoVexaPrt::SetTemporaryDirectory - Failed to set working directory");
    }
    return S_OK;
  }

  HRESULT Clean() override { return S_OK; }

  HRESULT SetPaperSize(LONG paperSize) override {
    if (FAILED(SetPageLayout(paperSize))) return Fail("CCoVexaPrt::SetPaperSize - Problem setting paper size");
    return S_OK;
  }

  HRESULT SelfTest(BSTR logfile, LONG test, VARIANT_BOOL* result) override {
    Log log(BstrToUtf8(logfile));
    if (!log.open()) return Fail("VexaPrt::SelfTest - Unable to create log file.");
    if (!log.Write("VexaPrt Error Log File \n\n")) return Fail("VexaPrt::SelfTest - Unable to write log file.");
    log.Write("Running VexaPrt::SelfTest \n");
    log.Flush();
    bool passed = true;
    switch (test) {
      case 0:
        passed = TestErrorHandling(log) && passed;
        passed = TestSetWorkingDir(log) && passed;
        passed = TestPaperSize(log) && passed;
        passed = TestContactSheet(log) && passed;
        passed = TestPrintAlbum(log) && passed;
        passed = TestJewelCase(log) && passed;
        break;
      case 1:
        passed = TestSetWorkingDir(log);
        break;
      case 2:
        passed = TestContactSheet(log);
        break;
      case 3:
        passed = TestPrintAlbum(log);
        break;
      case 4:
        passed = TestJewelCase(log);
        break;
      default:
        return Fail("VexaPrt::SelfTest - Unrecognized test.");
    }
    log.Write(passed ? "VexaPrt::SelfTest - No Errors Found" : "VexaPrt::SelfTest - Errors Found");
    log.Flush();
    if (result) *result = passed ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

 private:
  HRESULT SetPageLayout(LONG layout) {
    if (layout != 0 && layout != 1) return Fail("CCoVexaPrt::SetPageLayout - Bad parameter");
    ComPtr<IPrintAlbumConfiguration> albumConfig;
    ComPtr<IPrintContactSheetConfiguration> sheetConfig;
    ComPtr<IPrintJewelCaseConfiguration> insertConfig;
    if (FAILED(album_->get_Configuration(albumConfig.Put())) || !albumConfig) {
      return Fail("CCoVexaPrt::SetPageLayout - Uable to get print album config object");
    }
    if (FAILED(contactSheet_->get_Configuration(sheetConfig.Put())) || !sheetConfig) {
      return Fail("CCoVexaPrt::SetPageLayout - Uable to get contact sheet config object");
    }
    if (FAILED(insert_->get_Configuration(insertConfig.Put())) || !insertConfig) {
      return Fail("CCoVexaPrt::SetPageLayout - Uable to get jewel case config object");
    }
    if (FAILED(albumConfig->put_PageLayout(layout)) || FAILED(sheetConfig->put_PageLayout(layout)) ||
        FAILED(insertConfig->put_PageLayout(layout))) {
      return Fail("CCoVexaPrt::SetPageLayout - Uable to set config object value");
    }
    return S_OK;
  }

  static bool Failed(Log& log, const std::string& line) {
    log.Write(line);
    log.Flush();
    return false;
  }

  bool TestErrorHandling(Log& log) {
    log.Write("Test >>>>>>>>>>>>>>>>>>>> Test Error Handling \n");
    ComPtr<IImage> image;
    if (FAILED(Create(CLSID_Image, &image))) {
      return Failed(log, "CCoVexaPrt::test_error_handling - Failed to create IImage");
    }
    Bstr bogus(u"bogusFilename");
    if (SUCCEEDED(image->SetPathname(bogus.Get()))) return true;
    std::string description;
    ComPtr<ISupportErrorInfo> support;
    if (SUCCEEDED(image->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(support.Put()))) &&
        support->InterfaceSupportsErrorInfo(IID_IImage) == S_OK) {
      ComPtr<IErrorInfo> info;
      if (GetErrorInfo(0, info.Put()) == S_OK && info) {
        Bstr text;
        if (SUCCEEDED(info->GetDescription(text.Out()))) description = text.Utf8();
      }
    }
    if (description != "CImage::SetPathname - File not found") {
      return Failed(log, "CCoVexaPrt::test_error_handling - Not the error we expected");
    }
    return true;
  }

  bool TestSetWorkingDir(Log& log) {
    log.Write("Test >>>>>>>>>>>>>>>>>>>> Set Working Directory \n");
    ComPtr<ICoVexaPrt> other;
    if (FAILED(Create(CLSID_CoVexaPrt, &other))) {
      return Failed(log, "CCoVexaPrt::test_set_working_dir - Unable to create m_pCoVexaPrt");
    }
    Bstr bogus(u"tmpfiles_bogus"), good(u"tmpfiles");
    if (SUCCEEDED(other->SetTemporaryDirectory(bogus.Get()))) {
      return Failed(log, "CCoVexaPrt::test_set_working_dir - Did not fail on bad directory");
    }
    if (FAILED(other->SetTemporaryDirectory(good.Get()))) {
      return Failed(log, "CCoVexaPrt::test_set_working_dir - Unable to set directory");
    }
    return true;
  }

  bool TestPaperSize(Log& log) {
    log.Write("Test >>>>>>>>>>>>>>>>>>>> Test Paper Size \n");
    return true;
  }

  // The shared steps of the three product tests: the test photos into the
  // product's own collection, then its PDF, which must exist and is deleted.
  template <typename P>
  bool TestProduct(Log& log, const char* member, const char* objectName, REFCLSID clsid, const char* pdfName,
                   bool titles, HRESULT (*generate)(P*, BSTR)) {
    const std::string prefix = std::string("CCoVexaPrt::") + member + " - ";
    ComPtr<P> product;
    if (FAILED(Create(clsid, &product))) return Failed(log, prefix + "Create " + objectName + " failed  ");
    ComPtr<IImageCollection> photos;
    product->GetImageCollection(photos.Put());
    Bstr folder(u"../../../imageSets/TestSequence-StillPhotoOnly");
    if (!photos || FAILED(photos->AddDirectory(folder.Get()))) {
      return Failed(log, prefix + "imageCol->AddDirectory failed  " + TakeError().Utf8Description());
    }
    if constexpr (!std::is_same_v<P, IPrintAlbum>) {
      if (titles) {
        Bstr l1(u"This is title line number one"), l2(u"This is title line number two"),
            l3(u"This is title line number three");
        if (FAILED(product->SetTitleLines(l1.Get(), l2.Get(), l3.Get()))) {
          return Failed(log, prefix + objectName + "->SetTitleLines failed  ");
        }
      }
    }
    Bstr pdf = Bstr::FromUtf8(std::string("outputfiles\\") + pdfName);
    if (FAILED(generate(product.Get(), pdf.Get()))) {
      return Failed(log, prefix + objectName + "->GeneratePDF failed  " + TakeError().Utf8Description());
    }
    const std::string path = base::ToNativePath(pdf.Utf8());
    if (!base::FileExists(path)) return Failed(log, prefix + "PDF file not found");
    if (std::remove(path.c_str()) != 0) return Failed(log, prefix + "couldn't delete PDF file");
    return true;
  }

  bool TestContactSheet(Log& log) {
    log.Write("Test >>>>>>>>>>>>>>>>>>>> Create Contact Sheet \n");
    return TestProduct<IPrintContactSheet>(
        log, "test_create_contact_sheet", "m_pPrintContactSheet", CLSID_PrintContactSheet, "ContactSheet.pdf", true,
        [](IPrintContactSheet* p, BSTR path) {
          Bstr prefix(u"pics_");
          return p->GeneratePDF(path, prefix.Get(), 3);
        });
  }

  bool TestPrintAlbum(Log& log) {
    log.Write("Test >>>>>>>>>>>>>>>>>>>> Create Print Album \n");
    log.Flush();
    return TestProduct<IPrintAlbum>(log, "test_create_print_album", "m_pPrintAlbum", CLSID_PrintAlbum,
                                    "PrintAlbum.pdf", false,
                                    [](IPrintAlbum* p, BSTR path) { return p->GeneratePDF(path); });
  }

  bool TestJewelCase(Log& log) {
    log.Write("Test >>>>>>>>>>>>>>>>>>>> Create Jewel Case \n");
    log.Flush();
    return TestProduct<IPrintJCInsert>(log, "test_create_jewel_case", "m_pPrintJCInsert", CLSID_PrintJCInsert,
                                       "JewelCase.pdf", true,
                                       [](IPrintJCInsert* p, BSTR path) { return p->GeneratePDF(path); });
  }

  ComPtr<IImageCollection> collection_;
  ComPtr<IPrintContactSheet> contactSheet_;
  ComPtr<IPrintAlbum> album_;
  ComPtr<IPrintJCInsert> insert_;
};

std::span<const DispatchEntry<CCoVexaPrt>> CCoVexaPrt::DispatchTable() {
  using printing::Method_;
  static const DispatchEntry<CCoVexaPrt> kTable[] = {
      Method_<&CCoVexaPrt::AddStill>(1, u"AddStill"),
      Method_<&CCoVexaPrt::SetTitleLines>(2, u"SetTitleLines"),
      Method_<&CCoVexaPrt::MakeContactSheet>(3, u"MakeContactSheet"),
      Method_<&CCoVexaPrt::MakeCdInsert>(4, u"MakeCdInsert"),
      Method_<&CCoVexaPrt::MakePrintAlbum>(5, u"MakePrintAlbum"),
      Method_<&CCoVexaPrt::SetTemporaryDirectory>(6, u"SetTemporaryDirectory"),
      Method_<&CCoVexaPrt::Clean>(7, u"Clean"),
      Method_<&CCoVexaPrt::SetPaperSize>(8, u"SetPaperSize"),
      Method_<&CCoVexaPrt::SelfTest, true>(9, u"SelfTest"),
  };
  return kTable;
}

}  // namespace

HRESULT CreateCoVexaPrt(REFIID iid, void** ppv) { return ComObject<CCoVexaPrt>::CreateInstance(iid, ppv); }

}  // namespace vexa::vexaprt
