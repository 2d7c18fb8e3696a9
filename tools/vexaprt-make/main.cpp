// vexaprt-make: the three PDFs of a disc (CONTACT.PDF, INSERT.PDF,
// PRINTS.PDF) for a set of photos, made through the print front exactly as
// the disc engine calls it, for tests and by hand.
//
//   vexaprt-make OUT_DIR [--a4] [--tmp DIR] [--title1 T] [--title2 T] [--title3 T] PHOTO|FOLDER...
//
// A folder stands for its .jpg files in name order. The print copies go to a
// new private folder under --tmp (default: the system's temporary folder),
// removed at the end, so that nothing already there is replaced. A PDF that
// would be written over a photo is refused, and so is an OUT_DIR that is or
// holds a photo or folder given.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "idl/vexaprt.h"
#include "platform/base/Overlap.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

using vexa::com::Bstr;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: vexaprt-make OUT_DIR [--a4] [--tmp DIR] [--title1 T] [--title2 T] [--title3 T] "
               "PHOTO|FOLDER...\n");
  return 2;
}

int Failed(const char* what, HRESULT hr) {
  const std::string text = vexa::com::TakeError().Utf8Description();
  std::fprintf(stderr, "vexaprt-make: %s: %s\n", what, text.empty() ? HresultName(hr).c_str() : text.c_str());
  return 1;
}

void Expand(const std::string& arg, std::vector<std::string>* photos) {
  if (!vexa::base::DirExists(arg)) {
    photos->push_back(arg);
    return;
  }
  std::vector<std::string> names;
  if (DIR* d = ::opendir(arg.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (vexa::base::EqualsNoCase(vexa::base::Extension(name), ".jpg")) names.push_back(name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) photos->push_back(vexa::base::JoinPath(arg, n));
}

int Run(ICoVexaPrt* prt, const std::string& out, const std::string& tmp, bool a4, const std::string titles[3],
        const std::vector<std::string>& photos) {
  HRESULT hr = prt->SetTemporaryDirectory(Bstr::FromUtf8(tmp).Get());
  if (FAILED(hr)) return Failed("SetTemporaryDirectory", hr);
  if (FAILED(hr = prt->SetPaperSize(a4 ? 1 : 0))) return Failed("SetPaperSize", hr);
  Bstr t1 = Bstr::FromUtf8(titles[0]), t2 = Bstr::FromUtf8(titles[1]), t3 = Bstr::FromUtf8(titles[2]);
  if (FAILED(hr = prt->SetTitleLines(t1.Get(), t2.Get(), t3.Get()))) return Failed("SetTitleLines", hr);
  Bstr empty(u"");
  for (const std::string& p : photos) {
    if (FAILED(hr = prt->AddStill(Bstr::FromUtf8(p).Get(), empty.Get(), 0, 0, empty.Get(), 0))) {
      return Failed(p.c_str(), hr);
    }
  }
  Bstr prefix(u"IM_A");
  if (FAILED(hr = prt->MakeContactSheet(Bstr::FromUtf8(vexa::base::JoinPath(out, "CONTACT.PDF")).Get(),
                                        prefix.Get(), 4))) {
    return Failed("MakeContactSheet", hr);
  }
  if (FAILED(hr = prt->MakeCdInsert(Bstr::FromUtf8(vexa::base::JoinPath(out, "INSERT.PDF")).Get()))) {
    return Failed("MakeCdInsert", hr);
  }
  if (FAILED(hr = prt->MakePrintAlbum(Bstr::FromUtf8(vexa::base::JoinPath(out, "PRINTS.PDF")).Get()))) {
    return Failed("MakePrintAlbum", hr);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string out = argv[1];
  std::string tmp, titles[3];
  bool a4 = false;
  std::vector<std::string> photos, given;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--a4") a4 = true;
    else if (a == "--tmp" && i + 1 < argc) tmp = argv[++i];
    else if (a.rfind("--title", 0) == 0 && a.size() == 8 && a[7] >= '1' && a[7] <= '3' && i + 1 < argc) {
      titles[a[7] - '1'] = argv[++i];
    } else if (a.rfind("--", 0) == 0) {
      return Usage();
    } else {
      given.push_back(a);
      Expand(a, &photos);
    }
  }
  for (const char* pdf : {"CONTACT.PDF", "INSERT.PDF", "PRINTS.PDF"}) {
    const std::string target = vexa::base::JoinPath(out, pdf);
    const std::string held = vexa::base::OverlappedInput(target, photos);
    if (!held.empty()) {
      std::fprintf(stderr, "vexaprt-make: %s would be written over the photo %s; choose another OUT_DIR\n",
                   target.c_str(), held.c_str());
      return 2;
    }
  }
  // The PDFs replace what OUT_DIR holds under their names: a folder of the
  // photos (or one that holds them) is refused as a whole, whatever else is
  // in it.
  given.insert(given.end(), photos.begin(), photos.end());
  if (const std::string held = vexa::base::OverlappedInput(out, given); !held.empty()) {
    std::fprintf(stderr, "vexaprt-make: the output folder %s is or holds %s, which it was given to read; "
                         "choose another OUT_DIR\n", out.c_str(), held.c_str());
    return 2;
  }
  if (!vexa::base::DirExists(out) && !vexa::base::MakeDirs(out)) {
    std::fprintf(stderr, "vexaprt-make: cannot make %s: %s\n", out.c_str(), std::strerror(errno));
    return 1;
  }
  // A folder that takes no files (read-only, not the user's) is named with
  // the system's reason before any work is done.
  if (::access(out.c_str(), W_OK | X_OK) != 0) {
    std::fprintf(stderr, "vexaprt-make: cannot write in %s: %s\n", out.c_str(), std::strerror(errno));
    return 1;
  }
  const std::string madeTmp = vexa::base::MakeTempDir(tmp.empty() ? vexa::base::TempDirectory() : tmp, "vexaprt-make-");
  if (madeTmp.empty()) {
    std::fprintf(stderr, "vexaprt-make: cannot make a working folder in %s\n",
                 tmp.empty() ? vexa::base::TempDirectory().c_str() : tmp.c_str());
    return 1;
  }
  CoInitialize(nullptr);
  int rc;
  {
    vexa::com::ComPtr<ICoVexaPrt> prt;
    HRESULT hr = CoCreateInstance(CLSID_CoVexaPrt, nullptr, CLSCTX_ALL, IID_ICoVexaPrt, prt.PutVoid());
    rc = FAILED(hr) ? Failed("CoVexaPrt", hr) : Run(prt.Get(), out, madeTmp, a4, titles, photos);
  }
  CoUninitialize();
  vexa::base::RemoveAll(madeTmp);
  return rc;
}
