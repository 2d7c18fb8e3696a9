// kvprint and vexaprt objects made through class creation, in a scratch
// registry layer and folder, with photo fixtures made at test time.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "idl/kvprint.h"
#include "idl/vexaprt.h"
#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "printing/testsupport/PdfCheck.h"

namespace vexa::printtest {

using com::Bstr;
using com::ComPtr;

inline Bstr B(const std::string& s) { return Bstr::FromUtf8(s); }

// The description of the thread's error information ("" when none).
inline std::string LastError() { return com::TakeError().Utf8Description(); }

template <typename I>
ComPtr<I> Make(REFCLSID clsid) {
  ComPtr<I> p;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, com::IidOf<I>(), reinterpret_cast<void**>(p.Put())), S_OK);
  return p;
}

// A w x h JPEG with a picture that is not flat (so each photo differs).
inline std::string MakePhoto(const std::string& path, int w, int h, int seed = 1) {
  imaging::Bitmap b;
  EXPECT_TRUE(b.Create(w, h, 24).ok());
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b.row(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<std::uint8_t>((x * 255) / (w > 1 ? w - 1 : 1));
      row[3 * x + 1] = static_cast<std::uint8_t>((y * 255) / (h > 1 ? h - 1 : 1));
      row[3 * x + 2] = static_cast<std::uint8_t>(seed * 37);
    }
  }
  imaging::JpegOptions options;
  options.quality = 80;
  std::string bytes;
  EXPECT_TRUE(imaging::EncodeJpeg(b, options, &bytes).ok());
  EXPECT_TRUE(base::WriteFileAtomic(path, bytes));
  return path;
}

class PrintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("VEXA_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    work_ = dir_ / "work";
    ASSERT_TRUE(base::MakeDirs(work_));
    ComPtr<IImage> image = Make<IImage>(CLSID_Image);
    ASSERT_EQ(image->SetTmpWorkingDirectory(B(work_).Get()), S_OK);
  }
  void TearDown() override { CoUninitialize(); }

  std::string Path(const std::string& name) const { return dir_ / name; }
  // n photos in a folder of their own: landscape, portrait and square in turn.
  std::vector<std::string> Photos(const std::string& folder, int n, int scale = 1) {
    base::MakeDirs(Path(folder));
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) {
      const int w = (i % 3 == 0 ? 120 : i % 3 == 1 ? 90 : 100) * scale;
      const int h = (i % 3 == 0 ? 90 : i % 3 == 1 ? 120 : 100) * scale;
      char name[32];
      std::snprintf(name, sizeof name, "photo%03d.jpg", i + 1);
      out.push_back(MakePhoto(Path(folder + "/" + name), w, h, i + 1));
    }
    return out;
  }

  pdftest::ScratchDir dir_;
  std::string work_;
};

}  // namespace vexa::printtest
