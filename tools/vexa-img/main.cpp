// vexa-img: the still-picture jobs of VEXAImg from the command line, for
// checks by hand and for scripts. Every command goes through the server's
// interface, so it behaves (and reports failures) as the system does.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "idl/VEXAImg.h"
#include "platform/imaging/BitmapHandle.h"

using vexa::com::Bstr;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: vexa-img info FILE\n"
               "       vexa-img any2jpg SRC DST\n"
               "       vexa-img resize SRC DST W H [--box] [--upsample] [--matte R,G,B]\n"
               "       vexa-img rotate SRC DST DEG\n"
               "       vexa-img crop SRC DST X0 Y0 X1 Y1\n"
               "       vexa-img derivatives SRC DEG ALBUM THUMB TW TH WEB WW WH\n"
               "       vexa-img title DST L1 L2 L3 [--pal]\n");
  return 2;
}

// Prints the error information the failed call left and returns 1.
int Failed(HRESULT hr) {
  std::string text = vexa::com::TakeError().Utf8Description();
  std::fprintf(stderr, "vexa-img: %s\n", text.empty() ? HresultName(hr).c_str() : text.c_str());
  return 1;
}

constexpr char kTitleFace[] = "Times New Roman";
constexpr LONG kTitlePrimary = 22;
constexpr LONG kTitleSecondary = 18;

BSTR B(const std::string& s, std::vector<Bstr>* keep);

// A title line wider than the still's safe width is cut at the picture's
// edges; the still is written all the same, and the user is told which
// lines were cut (the same lines measured at the still's own size).
void WarnOfClippedLines(IVEXAImgUtil* u, const std::vector<std::string>& a, VARIANT_BOOL ntsc,
                        std::vector<Bstr>* keep) {
  VARIANT_BOOL clipped[3] = {VARIANT_FALSE, VARIANT_FALSE, VARIANT_FALSE};
  HBITMAP bitmap = nullptr;
  if (FAILED(u->Create3LineTitleStillInMemory(B(a[1], keep), B(a[2], keep), B(a[3], keep), B(kTitleFace, keep), 0,
                                              kTitlePrimary, kTitleSecondary, ntsc, &clipped[0], &clipped[1],
                                              &clipped[2], &bitmap))) {
    vexa::com::TakeError();
    return;
  }
  DeleteObject(bitmap);
  for (int i = 0; i < 3; ++i) {
    if (clipped[i] == VARIANT_TRUE) {
      std::fprintf(stderr, "vexa-img: warning: title line %d is wider than the still and is cut at its edges\n",
                   i + 1);
    }
  }
}

bool ToInt(const std::string& s, LONG* out) {
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || v < -2147483647L || v > 2147483647L) return false;
  *out = static_cast<LONG>(v);
  return true;
}

BSTR B(const std::string& s, std::vector<Bstr>* keep) {
  keep->push_back(Bstr::FromUtf8(s));
  return keep->back().Get();
}

int Run(IVEXAImgUtil* u, const std::string& cmd, const std::vector<std::string>& a) {
  std::vector<Bstr> keep;
  keep.reserve(16);
  HRESULT hr = S_OK;
  if (cmd == "info" && a.size() == 1) {
    Bstr name, shortName, ext;
    LONG type = 0, w = 0, h = 0;
    hr = u->GetStillInfo(B(a[0], &keep), name.Out(), shortName.Out(), ext.Out(), &type, &w, &h);
    if (FAILED(hr)) return Failed(hr);
    std::printf("%s%s type %d %dx%d\n", name.Utf8().c_str(), ext.Utf8().c_str(), type, w, h);
    return 0;
  }
  if (cmd == "any2jpg" && a.size() == 2) {
    hr = u->Any2JPG(B(a[0], &keep), B(a[1], &keep));
  } else if (cmd == "resize" && a.size() >= 4) {
    LONG w, h, r = 0, g = 0, b = 0;
    VARIANT_BOOL box = VARIANT_FALSE, up = VARIANT_FALSE, matte = VARIANT_FALSE;
    if (!ToInt(a[2], &w) || !ToInt(a[3], &h)) return Usage();
    for (std::size_t i = 4; i < a.size(); ++i) {
      if (a[i] == "--box") {
        box = VARIANT_TRUE;
      } else if (a[i] == "--upsample") {
        up = VARIANT_TRUE;
      } else if (a[i] == "--matte" && i + 1 < a.size()) {
        int rr, gg, bb;
        if (std::sscanf(a[++i].c_str(), "%d,%d,%d", &rr, &gg, &bb) != 3) return Usage();
        r = rr;
        g = gg;
        b = bb;
        matte = VARIANT_TRUE;
      } else {
        return Usage();
      }
    }
    hr = u->ResizeStill(B(a[0], &keep), B(a[1], &keep), box, w, h, up, matte, r, g, b);
  } else if (cmd == "rotate" && a.size() == 3) {
    LONG degrees, fx = 0, fy = 0;
    if (!ToInt(a[2], &degrees)) return Usage();
    hr = u->RotateStill(B(a[0], &keep), B(a[1], &keep), degrees, VARIANT_TRUE, &fx, &fy);
  } else if (cmd == "crop" && a.size() == 6) {
    LONG x0, y0, x1, y1;
    if (!ToInt(a[2], &x0) || !ToInt(a[3], &y0) || !ToInt(a[4], &x1) || !ToInt(a[5], &y1)) return Usage();
    hr = u->CropStill(B(a[0], &keep), B(a[1], &keep), x0, y0, x1, y1);
  } else if (cmd == "derivatives" && a.size() == 9) {
    LONG degrees, tw, th, ww, wh;
    if (!ToInt(a[1], &degrees) || !ToInt(a[4], &tw) || !ToInt(a[5], &th) || !ToInt(a[7], &ww) || !ToInt(a[8], &wh)) {
      return Usage();
    }
    VARIANT_BOOL ar, tr, wr;
    LONG aw, ah, rtw, rth, rww, rwh;
    hr = u->CreateStillDerivatives(B(a[0], &keep), degrees, B(a[2], &keep), B(a[3], &keep), tw, th, B(a[6], &keep), ww,
                                   wh, &ar, &aw, &ah, &tr, &rtw, &rth, &wr, &rww, &rwh);
    if (FAILED(hr)) return Failed(hr);
    std::printf("album %dx%d\nthumb %dx%d\nweb %dx%d\n", aw, ah, rtw, rth, rww, rwh);
    return 0;
  } else if (cmd == "title" && (a.size() == 4 || (a.size() == 5 && a[4] == "--pal"))) {
    VARIANT_BOOL ntsc = a.size() == 5 ? VARIANT_FALSE : VARIANT_TRUE;
    hr = u->Create3LineTitleStill(B(a[1], &keep), B(a[2], &keep), B(a[3], &keep), B(a[0], &keep),
                                  B(kTitleFace, &keep), 0, kTitlePrimary, kTitleSecondary, ntsc);
    if (SUCCEEDED(hr)) WarnOfClippedLines(u, a, ntsc, &keep);
  } else {
    return Usage();
  }
  if (FAILED(hr)) return Failed(hr);
  std::printf("%s\n", a[cmd == "title" ? 0 : 1].c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::vector<std::string> args(argv + 2, argv + argc);
  CoInitialize(nullptr);
  int rc;
  {
    vexa::com::ComPtr<IVEXAImgUtil> util;
    HRESULT hr = CoCreateInstance(CLSID_VEXAImgUtil, nullptr, CLSCTX_INPROC_SERVER, IID_IVEXAImgUtil, util.PutVoid());
    rc = FAILED(hr) ? Failed(hr) : Run(util.Get(), argv[1], args);
  }
  CoUninitialize();
  return rc;
}
