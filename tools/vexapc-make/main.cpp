// vexapc-make: the PC pages of an album from a folder of photos, through the
// page server VEXAPC as the disc engine drives it. The output folder plays
// the album folder of a disc: the photos' web and thumbnail copies go to
// LOWRES/ (made by VEXAImg), the music to CONTENT/, the pages to VIEW/
// (VIEW/ALBUM.HTM is the menu) with the support files beside them.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

#include "idl/VEXAImg.h"
#include "idl/VEXAPC.h"
#include "platform/base/File.h"
#include "platform/base/Overlap.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace fs = std::filesystem;
using vexa::com::Bstr;
using vexa::com::ComPtr;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: vexapc-make [-1 TITLE] [-2 TITLE] [-3 TITLE] [-m MUSIC] [-d MS] [--clean]\n"
               "                   OUTDIR PHOTO|FOLDER...\n"
               "Writes the PC pages of the photos (a folder gives its pictures in name order)\n"
               "into OUTDIR, the album folder: LOWRES/ (web and thumbnail copies), CONTENT/\n"
               "(the music), VIEW/ALBUM.HTM (the menu), VIEW/BROWSE and VIEW/SHOW.\n"
               "  -1 -2 -3   title lines         -m  music file (MP3, WAV, ...)\n"
               "  -d         display time of each photo in milliseconds (default 5000)\n"
               "  --clean    remove the pages of an earlier run from OUTDIR first; refused, with\n"
               "             nothing deleted, when OUTDIR holds anything this tool does not write\n"
               "OUTDIR may not be, or hold, a photo or the music it is given.\n"
               "The menu also links the printable PDFs of the album (../PRINT/PDF/*.PDF),\n"
               "which the disc engine makes; this tool does not.\n");
  return 2;
}

int Failed(const char* what, HRESULT hr) {
  const std::string text = vexa::com::TakeError().Utf8Description();
  std::fprintf(stderr, "vexapc-make: %s: %s\n", what, text.empty() ? HresultName(hr).c_str() : text.c_str());
  return 1;
}

int Error(const std::string& text) {
  std::fprintf(stderr, "vexapc-make: %s\n", text.c_str());
  return 1;
}

// The music is copied through the system's output file, as every page is
// written: a symbolic link or another user's file in its place is refused.
bool CopyMusic(const std::string& from, const std::string& to, std::string* why) {
  vexa::base::InputFile in;
  vexa::base::OutputFile out;
  if (!in.OpenRegular(from)) {
    *why = in.Error();
    return false;
  }
  if (!out.Open(to)) {
    *why = out.Error();
    return false;
  }
  char buf[65536];
  for (long long n; (n = in.ReadSome(buf, sizeof buf)) != 0;) {
    if (n < 0) {
      *why = in.Error();
      return false;
    }
    if (!out.Write(buf, static_cast<std::size_t>(n))) {
      *why = out.Error();
      return false;
    }
  }
  if (!out.Commit()) {
    *why = out.Error();
    return false;
  }
  return true;
}

bool IsPicture(const fs::path& p) {
  const std::string ext = vexa::base::ToLowerAscii(p.extension().string());
  for (const char* e : {".jpg", ".jpeg", ".png", ".bmp", ".tif", ".tiff", ".gif"}) {
    if (ext == e) return true;
  }
  return false;
}

// The photos named on the command line, folders opened in name order.
bool CollectPhotos(const std::vector<std::string>& inputs, std::vector<std::string>* photos, std::string* why) {
  for (const std::string& in : inputs) {
    std::error_code ec;
    if (fs::is_directory(in, ec)) {
      std::vector<std::string> found;
      for (const auto& e : fs::directory_iterator(in, ec)) {
        if (e.is_regular_file() && IsPicture(e.path())) found.push_back(e.path().string());
      }
      if (ec) {
        *why = "cannot read folder " + in;
        return false;
      }
      std::sort(found.begin(), found.end());
      photos->insert(photos->end(), found.begin(), found.end());
    } else if (fs::is_regular_file(in, ec)) {
      photos->push_back(in);
    } else {
      *why = "no such photo or folder: " + in;
      return false;
    }
  }
  if (photos->empty()) {
    *why = "no photos given";
    return false;
  }
  return true;
}

std::string DiscName(const char* prefix, int n, const std::string& ext) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%04d", prefix, n);
  return buf + ext;
}

// The folders and files this tool writes into OUTDIR, as paths relative to
// it: the album copies and the music in CONTENT/, the web and thumbnail
// copies in LOWRES/, the pages and the support tree (upper-case short names,
// as on the disc) in VIEW/.
bool OwnFolder(const std::string& rel) {
  static const std::regex kFolders(
      "CONTENT|LOWRES|LOWRES/(160X160|640X640)|VIEW|VIEW/(BROWSE|SHOW)(/(HTML|JS|STYLE))?|VIEW/(GRAPHICS|HTML|JS|STYLE)");
  return std::regex_match(rel, kFolders);
}

bool OwnFile(const std::string& rel) {
  static const std::regex kFiles(
      "CONTENT/IM_A[0-9]{4}\\.JPG|CONTENT/BG_A0001(\\.[^/a-z]*)?"
      "|LOWRES/(160X160|640X640)/IM_A[0-9]{4}\\.JPG"
      "|VIEW/ALBUM\\.HTM|VIEW/BROWSE/BROWSE\\.HTM|VIEW/BROWSE/HTML/(TH_)?[0-9]{4}\\.HTM"
      "|VIEW/SHOW/SHOW\\.HTM|VIEW/SHOW/HTML/(MUSIC|S?SL_[0-9]{4})\\.HTM"
      "|VIEW/((BROWSE|SHOW)/)?(JS/UTILITY\\.JS|STYLE/STYLE\\.CSS)"
      "|VIEW/GRAPHICS/[A-Z0-9_]{1,8}\\.(GIF|JPG)|VIEW/HTML/[A-Z0-9_]{1,8}\\.HTM");
  return std::regex_match(rel, kFiles);
}

// Collects, below folder `root` + `rel`, every entry that is not one of the
// tool's own (a folder that is not is named once, with a slash, and not
// entered). Links are never followed: a link is foreign wherever it stands,
// even in place of one of the tool's folders. False when a folder cannot be
// read, with the reason in *why.
bool FindForeign(const std::string& root, const std::string& rel, std::vector<std::string>* foreign,
                 std::string* why) {
  std::error_code ec;
  std::vector<fs::directory_entry> entries;
  for (const auto& e : fs::directory_iterator(rel.empty() ? root : root + "/" + rel, ec)) entries.push_back(e);
  if (ec) {
    *why = "cannot read folder " + root + (rel.empty() ? "" : "/" + rel) + ": " + ec.message();
    return false;
  }
  std::sort(entries.begin(), entries.end());
  for (const auto& e : entries) {
    const std::string name = (rel.empty() ? "" : rel + "/") + e.path().filename().string();
    const fs::file_status st = e.symlink_status(ec);
    if (ec) {
      *why = "cannot examine " + e.path().string() + ": " + ec.message();
      return false;
    }
    if (fs::is_symlink(st)) {
      foreign->push_back(name + " (a link)");
    } else if (fs::is_directory(st)) {
      if (!OwnFolder(name)) foreign->push_back(name + "/");
      else if (!FindForeign(root, name, foreign, why)) return false;
    } else if (!fs::is_regular_file(st) || !OwnFile(name)) {
      foreign->push_back(name);
    }
  }
  return true;
}

// --clean removes only what an earlier run wrote: a folder holding anything
// else (a mistyped OUTDIR, a home folder) is refused, naming what was found,
// before anything in it is deleted.
int RefuseForeign(const std::string& out) {
  std::vector<std::string> foreign;
  std::string why;
  if (!FindForeign(out, "", &foreign, &why)) return Error(why + "; nothing was deleted");
  if (foreign.empty()) return 0;
  constexpr std::size_t kNamed = 10;
  std::string list;
  for (std::size_t i = 0; i < foreign.size() && i < kNamed; ++i) list += (i ? ", " : "") + foreign[i];
  if (foreign.size() > kNamed) list += " and " + std::to_string(foreign.size() - kNamed) + " more";
  return Error("--clean removes only the pages this tool writes, but " + out + " also holds: " + list +
               "; nothing was deleted");
}

struct Options {
  std::string titles[3];
  std::string music;
  long delayMs = 5000;
  bool clean = false;
  std::string out;
  std::vector<std::string> inputs;
};

int Run(const Options& o) {
  std::vector<std::string> photos;
  std::string why;
  if (!CollectPhotos(o.inputs, &photos, &why)) return Error(why);
  if (photos.size() > 9999) return Error("at most 9999 photos");

  // OUTDIR is filled and, with --clean, emptied: it must be neither a photo,
  // the music nor a folder that holds any of them.
  std::vector<std::string> given = o.inputs;
  if (!o.music.empty()) given.push_back(o.music);
  const std::string held = vexa::base::OverlappedInput(o.out, given);
  if (!held.empty()) {
    std::fprintf(stderr, "vexapc-make: the output folder %s is or holds %s, which it was given to read; "
                         "choose another output folder\n", o.out.c_str(), held.c_str());
    return 2;
  }

  std::error_code ec;
  fs::create_directories(o.out, ec);
  if (std::error_code asked; !fs::is_directory(o.out, asked)) {
    return Error("cannot make folder " + o.out + (ec ? ": " + ec.message() : ""));
  }
  // A folder that takes no files (read-only, not the user's) is named with
  // the system's reason before any work is done.
  if (::access(o.out.c_str(), W_OK | X_OK) != 0) return Error("cannot write in " + o.out + ": " + std::strerror(errno));
  const std::string out = fs::absolute(o.out).lexically_normal().string();
  if (!o.clean && !fs::is_empty(out, ec)) return Error(out + " is not empty (--clean removes an earlier run's pages)");
  if (o.clean) {
    if (const int refused = RefuseForeign(out)) return refused;
  }

  ComPtr<IIVEXAPC> pc;
  ComPtr<IVEXAImgUtil> img;
  HRESULT hr = CoCreateInstance(CLSID_IVEXAPC, nullptr, CLSCTX_ALL, IID_IIVEXAPC, pc.PutVoid());
  if (FAILED(hr)) return Failed("creating the page server", hr);
  hr = CoCreateInstance(CLSID_VEXAImgUtil, nullptr, CLSCTX_ALL, IID_IVEXAImgUtil, img.PutVoid());
  if (FAILED(hr)) return Failed("creating the image utility", hr);

  if (FAILED(hr = pc->put_WorkDirectory(Bstr::FromUtf8(out).Get()))) return Failed("WorkDirectory", hr);
  if (o.clean && FAILED(hr = pc->Clean())) return Failed("Clean", hr);
  for (const char* sub : {"CONTENT", "LOWRES/160X160", "LOWRES/640X640"}) {
    if (!fs::create_directories(out + "/" + sub, ec) && ec) {
      return Error("cannot make folder " + out + "/" + sub + ": " + ec.message());
    }
  }

  // The calls in the order the disc engine makes them.
  if (FAILED(hr = pc->put_StillDelay(static_cast<LONG>(o.delayMs)))) return Failed("StillDelay", hr);
  for (int i = 0; i < 3; ++i) {
    if (o.titles[i].empty()) continue;
    if (FAILED(hr = pc->SetTitleLine(i + 1, Bstr::FromUtf8(o.titles[i]).Get()))) return Failed("SetTitleLine", hr);
  }
  if (!o.music.empty()) {
    const std::string name = "CONTENT/" + DiscName("BG_A", 1, vexa::base::ToUpperAscii(fs::path(o.music).extension().string()));
    if (!CopyMusic(o.music, out + "/" + name, &why)) return Error("cannot copy " + o.music + ": " + why);
    if (FAILED(hr = pc->AddAudioTrack(Bstr::FromUtf8(name).Get()))) return Failed("AddAudioTrack", hr);
  }
  for (std::size_t i = 0; i < photos.size(); ++i) {
    const std::string name = DiscName("IM_A", static_cast<int>(i + 1), ".JPG");
    const std::string album = "CONTENT/" + name, thumb = "LOWRES/160X160/" + name, web = "LOWRES/640X640/" + name;
    VARIANT_BOOL ar, tr, wr;
    LONG aw, ah, tw, th, ww, wh;
    hr = img->CreateStillDerivatives(Bstr::FromUtf8(photos[i]).Get(), 0, Bstr::FromUtf8(out + "/" + album).Get(),
                                     Bstr::FromUtf8(out + "/" + thumb).Get(), 160, 160,
                                     Bstr::FromUtf8(out + "/" + web).Get(), 640, 640, &ar, &aw, &ah, &tr, &tw, &th,
                                     &wr, &ww, &wh);
    if (FAILED(hr)) return Failed(photos[i].c_str(), hr);
    const std::string title = fs::path(photos[i]).filename().string();
    hr = pc->AddStill(Bstr::FromUtf8(web).Get(), Bstr::FromUtf8(title).Get(), 0.0, aw, ah,
                      Bstr::FromUtf8(thumb).Get(), 0.0, tw, th);
    if (FAILED(hr)) return Failed("AddStill", hr);
  }
  if (FAILED(hr = pc->MakeAlbum(Bstr::FromUtf8("VIEW/BROWSE").Get()))) return Failed("MakeAlbum", hr);
  if (FAILED(hr = pc->MakeSlideShow(Bstr::FromUtf8("VIEW/SHOW").Get()))) return Failed("MakeSlideShow", hr);
  if (FAILED(hr = pc->MakeMenu(Bstr::FromUtf8("VIEW").Get()))) return Failed("MakeMenu", hr);
  std::printf("%s/VIEW/ALBUM.HTM: %zu photos\n", out.c_str(), photos.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::vector<std::string> plain;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string* to) {
      if (i + 1 >= argc) return false;
      *to = argv[++i];
      return true;
    };
    if (a == "-1" || a == "-2" || a == "-3") {
      if (!value(&o.titles[a[1] - '1'])) return Usage();
    } else if (a == "-m") {
      if (!value(&o.music)) return Usage();
    } else if (a == "-d") {
      std::string ms;
      char* end = nullptr;
      if (!value(&ms)) return Usage();
      o.delayMs = std::strtol(ms.c_str(), &end, 10);
      if (ms.empty() || *end != '\0' || o.delayMs < 0 || o.delayMs > 100000) return Usage();
    } else if (a == "--clean") {
      o.clean = true;
    } else if (a == "-h" || a == "--help" || (a.size() > 1 && a[0] == '-')) {
      return Usage();
    } else {
      plain.push_back(a);
    }
  }
  if (plain.size() < 2) return Usage();
  o.out = plain.front();
  o.inputs.assign(plain.begin() + 1, plain.end());
  CoInitialize(nullptr);
  const int rc = Run(o);
  CoUninitialize();
  return rc;
}
