#include "wizard/session/DiscEstimate.h"

#include <sys/stat.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "wizard/common/WizUtil.h"
#include "wizard/session/ODVisual.h"
#include "wizard/session/WizXML.h"

namespace vexa::wiz {

namespace {
// Size of a regular file, or -1 when there is none.
std::int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

std::string ExtensionOf(const std::string& path) {
  std::string ext = base::Extension(base::BaseName(path));
  if (!ext.empty()) ext.erase(0, 1);
  return base::ToLowerAscii(ext);
}

// The size-banded factors are single-precision values.
double Single(float f) { return static_cast<double>(f); }
}  // namespace

double DerivedFactor(const char* extension, std::int64_t s) {
  const std::string e = base::ToLowerAscii(extension);
  if (e == "bmp") return 0.09;
  if (e == "jpg" || e == "jpeg") {
    if (s < 102400) return Single(1.2f);
    if (s < 512000) return Single(1.0f);
    if (s < 1024000) return Single(0.9f);
    if (s < 1536000) return Single(0.7f);
    if (s < 2048000) return Single(0.5f);
    return Single(0.4f);
  }
  if (e == "tif" || e == "tiff") {
    if (s < 1048576) return Single(0.1f);
    if (s < 5242880) return Single(0.08f);
    if (s < 10485760) return Single(0.07f);
    if (s < 15728640) return Single(0.05f);
    return Single(0.04f);
  }
  if (e == "gif") return 0.95;
  if (e == "cmp") return 0.77;
  if (e == "png") return 0.2;
  if (e == "pct") return 0.11;
  if (e == "dib") return 0.13;
  if (e == "pic" || e == "pict") return 0.14;
  if (e == "pcd") return 0.04;
  return 0.0;
}

std::int64_t GetDiscSpaceUsed(const WizServices& wiz, CVexaWizXML* album) {
  CVexaWizXML* session = wiz.sessionAlbum.get();
  if (!album) album = session;
  StillList stills;
  if (!album || !album->GetAllStills(&stills)) {
    wiz.LogError("CvexaPropSheet::GetDiscSpaceUsed() - CVexaWizXML::GetAllStills() call failed", true);
    return 0;
  }
  std::int64_t n = static_cast<std::int64_t>(stills.size());
  std::int64_t originals = 0, derived = 0;
  for (const auto& still : stills) {
    std::string path;
    if (!still->GetStillPath(&path)) {
      wiz.LogError("CvexaPropSheet::GetDiscSpaceUsed() - CVexaWizStill::GetStillPath() call failed", false);
      continue;
    }
    const std::int64_t s = FileSize(path);
    if (s < 0) continue;
    originals += s;
    derived += static_cast<std::int64_t>(std::trunc(static_cast<double>(s) * DerivedFactor(ExtensionOf(path).c_str(), s)));
  }

  LONG d = 5;
  if (!session || !session->GetStillDelay(&d)) {
    wiz.LogError("CvexaPropSheet::GetDiscSpaceUsed() - CVexaWizXML::GetStillDelay() call failed", true);
    d = 5;
  }
  if (d < 0) d = 5;
  std::int64_t seconds = static_cast<std::int64_t>(d) * n;

  std::string l1, l2, l3;
  if (!session || !session->GetTitleLines(&l1, &l2, &l3)) {
    wiz.LogError("CvexaPropSheet::GetDiscSpaceUsed() - CVexaWizXML::GetTitleLines() call failed", true);
  } else if (!l1.empty() || !l2.empty() || !l3.empty()) {
    seconds += d;
    n += 1;
  }

  std::int64_t audio = 0;
  std::string track;
  DATE ctime = 0;
  bool present = false;
  if (!session || !session->GetFirstAudioTrack(&track, &ctime, &present)) {
    wiz.LogError("CvexaPropSheet::GetDiscSpaceUsed() - CVexaWizXML::GetFirstAudioTrack() call failed", true);
  } else if (!track.empty() && AudioSourceExists(track)) {
    if (ExtensionOf(track) == "cda") {
      LONG size = 0, rip = 0;
      double play = 0;
      if (wiz.burner && wiz.burner->GetTrackInfo(track, &size, &play, &rip) && size > 0) audio = size;
    } else {
      const std::int64_t s = FileSize(track);
      if (s > 0) audio = s;
    }
  }
  return seconds * 172000 + audio + n * 711799 + derived + 1711645 + originals;
}

bool AskEngineForRoom(const WizServices& wiz, EngineRoom* room) {
  CVexaWizXML* session = wiz.sessionAlbum.get();
  StillList stills;
  if (!session || !session->GetAllStills(&stills)) {
    wiz.LogError("CvexaPropSheet::AskEngineForRoom() - CVexaWizXML::GetAllStills() call failed", true);
    return false;
  }
  std::vector<std::string> paths;
  for (const auto& still : stills) paths.push_back(still->Path());
  LONG delay = 5;
  if (!session->GetStillDelay(&delay) || delay < 0) delay = 5;
  std::string l1, l2, l3;
  const bool title = session->GetTitleLines(&l1, &l2, &l3) && (!l1.empty() || !l2.empty() || !l3.empty());
  std::string track;
  DATE ctime = 0;
  bool present = false;
  if (!session->GetFirstAudioTrack(&track, &ctime, &present) || !present) track.clear();
  if (!wiz.burner) {
    wiz.LogError("CvexaPropSheet::AskEngineForRoom() - There is no burn driver to ask.", false);
    return false;
  }
  return wiz.burner->EstimateImage(paths, title, delay, track, &room->sectors, &room->discSectors);
}

int GetPercentDiscSpaceUsed(const WizServices& wiz, CVexaWizXML* album, std::int64_t capacity) {
  const std::int64_t b = GetDiscSpaceUsed(wiz, album);
  // A capacity of 0 or less gives no usable percentage: the disc's own applies.
  const std::int64_t c = capacity > 0 ? capacity : kDefaultDiscCapacity;
  std::int64_t p = static_cast<std::int64_t>(std::trunc(static_cast<double>(b) * 100.0 / static_cast<double>(c)));
  if (p > 0 && b % c != 0) p += 1;

  DWORD m = 0;
  if (!CVexaWizUtil::ReadRegistryDword(vexa::reg::Hive::LocalMachine, kWizProductKey, "MAX_IMAGES", &m) || m == 0 ||
      m > 0x7fffffffu) {
    wiz.LogError("CvexaPropSheet::GetPercentDiscSpaceUsed - Cannot get MAX_IMAGES from the registry, using 200",
                 false);
    m = 200;
  }
  CVexaWizXML* source = album ? album : wiz.sessionAlbum.get();
  StillList stills;
  if (!source || !source->GetAllStills(&stills)) {
    wiz.LogError("CvexaPropSheet::GetPercentDiscSpaceUsed() - CVexaWizXML::GetAllStills() call failed", true);
    return 0;
  }
  // The title picture is one of the pictures a disc holds.
  std::int64_t k = static_cast<std::int64_t>(stills.size());
  std::string l1, l2, l3;
  CVexaWizXML* session = wiz.sessionAlbum.get();
  if (session && session->GetTitleLines(&l1, &l2, &l3) && (!l1.empty() || !l2.empty() || !l3.empty())) ++k;
  std::int64_t q = k * 100 / static_cast<std::int64_t>(m);
  if ((k * 100) % static_cast<std::int64_t>(m) != 0) q += 1;
  const std::int64_t r = q > p ? q : p;
  return r > 1000000 ? 1000000 : static_cast<int>(r);
}

}  // namespace vexa::wiz
