// A VEXAImgUtil made through class creation, in a scratch registry layer
// and folder, with helpers to call it and read its error information.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "idl/VEXAImg.h"
#include "platform/base/Path.h"
#include "platform/imaging/Codec.h"
#include "tests/support/Checkers.h"

namespace vexa::imgutil::testing {

inline const char* kConvert = "/usr/bin/convert";
inline const char* kIdentify = "/usr/bin/identify";
inline const char* kCompare = "/usr/bin/compare";

using ::vexa::testsupport::CheckersRequired;

#define VEXA_REQUIRE_IMAGEMAGICK()                                                       \
  do {                                                                                   \
    if (::access(::vexa::imgutil::testing::kConvert, X_OK) != 0) {                       \
      if (::vexa::imgutil::testing::CheckersRequired()) FAIL() << "ImageMagick missing"; \
      GTEST_SKIP() << "ImageMagick missing";                                             \
    }                                                                                    \
  } while (0)

using ::vexa::testsupport::Shell;

// "JPEG 352x240" as identify sees the file.
inline std::string Identify(const std::string& path) {
  std::string out;
  Shell(std::string(kIdentify) + " -format '%m %wx%h' '" + path + "'", &out);
  return out;
}

inline double Rmse(const std::string& a, const std::string& b) {
  std::string out;
  Shell(std::string(kCompare) + " -metric RMSE '" + a + "' '" + b + "' null:", &out);
  auto open = out.find('(');
  return open == std::string::npos ? -1 : std::atof(out.c_str() + open + 1);
}

class ImgUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::MakeTempDir(base::TempDirectory(), "vexa-imgutil-");
    ASSERT_FALSE(dir_.empty());
    ::setenv("VEXA_REGISTRY_DIR", dir_.c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(CoCreateInstance(CLSID_VEXAImgUtil, nullptr, CLSCTX_INPROC_SERVER, IID_IVEXAImgUtil, util.PutVoid()),
              S_OK);
  }
  void TearDown() override {
    util.Reset();
    CoUninitialize();
    base::RemoveAll(dir_);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static vexa::com::Bstr B(const std::string& s) { return vexa::com::Bstr::FromUtf8(s); }
  // The description of the error information the last call left ("" none).
  static std::string Err() { return vexa::com::TakeError().Utf8Description(); }

  // A picture file made by ImageMagick ("gradient" keeps it cheap).
  std::string Make(const std::string& name, int w, int h, const std::string& extra = "") {
    std::string p = Path(name);
    EXPECT_EQ(Shell(std::string(kConvert) + " -size " + std::to_string(w) + "x" + std::to_string(h) +
                    " gradient:red-blue -depth 8 " + extra + " '" + p + "'"),
              0);
    return p;
  }

  vexa::com::ComPtr<IVEXAImgUtil> util;
  std::string dir_;
};

}  // namespace vexa::imgutil::testing
