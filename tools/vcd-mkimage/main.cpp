// vcd-mkimage: makes a Video CD disc image from a description, through the
// "DISCPAK" library object's ISO-format object, and burns it track-at-once
// onto a simulated recorder as the engine's burn worker burns a disc: track 1
// from the image stream, each MPEG track through the burn worker's own track
// writer (VCDTrackWriter.h), a padding track up to sector 50000, and the
// closed CD-ROM XA session. The recorder's image becomes OUT.bin.
//
//   vcd-mkimage [--no-pad] DESCRIPTION OUT.bin      (OUT.cue beside it)
//
// The description, one item a line ('#' starts a comment; fields are
// separated by blanks, and a field with blanks is put in double quotes):
//   fs 0|1|2                         ISO 9660 / with Joliet / long names
//   volume VOLUME_ID                 the volume identifier
//   file SOURCE DISC_PATH [ALT_PATH] a file of the ISO tree
//   link SOURCE DISC_PATH            a hard link to a file added before
//   dual SOURCE1 SOURCE2 DISC_PATH   a dual (associated) pair
//   segment FILE CONTENT [NAME]      a segment play item (an MPEG still)
//   track FILE FLAG [NAME]           an MPEG track (flag 0: PAL)
//   lists LOT.VCD PSD.VCD MAX_LIST_ID
//
// A description that cannot be read (a folder, say) or that names no file,
// segment or track is refused before anything is written (status 1); so is
// an OUT.bin or OUT.cue that is one of the files the image is made from
// (status 2).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "disclib/vcd/DiscpakLibrary.h"
#include "disclib/vcd/VCDTrackLayout.h"
#include "disclib/vcd/VCDTrackWriter.h"
#include "platform/base/File.h"
#include "platform/base/Overlap.h"
#include "tools/vcd-mkimage/DiscWriter.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: vcd-mkimage [--no-pad] DESCRIPTION OUT.bin\n");
  return 2;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) out.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur.push_back(c);
      any = true;
    }
  }
  if (any) out.push_back(cur);
  return out;
}

struct TrackSource {
  std::string path;
};

// The volume record the engine hands over: dates, then space-padded text.
std::vector<std::uint8_t> VolumeRecord(const std::string& volumeId) {
  std::vector<std::uint8_t> r(752, ' ');
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const std::uint16_t date[8] = {static_cast<std::uint16_t>(tm.tm_year + 1900), static_cast<std::uint16_t>(tm.tm_mon + 1),
                                 static_cast<std::uint16_t>(tm.tm_wday),        static_cast<std::uint16_t>(tm.tm_mday),
                                 static_cast<std::uint16_t>(tm.tm_hour),        static_cast<std::uint16_t>(tm.tm_min),
                                 static_cast<std::uint16_t>(tm.tm_sec),         0};
  std::memcpy(r.data(), date, 16);
  std::memcpy(r.data() + 16, date, 16);
  const std::string sys = "CD-RTOS CD-BRIDGE";
  std::memcpy(r.data() + 64, sys.data(), sys.size());
  std::memcpy(r.data() + 96, volumeId.data(), std::min<std::size_t>(volumeId.size(), 32));
  const std::string app = "VCD-MKIMAGE";
  std::memcpy(r.data() + 512, app.data(), app.size());
  return r;
}

// Finishes a started track whether or not its writes went through; the
// first failure's text is the one kept.
bool FinishTrack(vexa::vcdmkimage::DiscWriter& disc, bool ok, std::string* error) {
  std::string why;
  const bool finished = disc.FinishTrack(&why);
  if (ok && !finished) *error = why;
  return ok && finished;
}

// One MPEG track, by the burn worker's own track writer.
bool WriteMpegTrack(vexa::vcdmkimage::DiscWriter& disc, const std::string& path, std::string* error) {
  if (!std::ifstream(path, std::ios::binary)) {
    *error = "cannot open track " + path;
    return false;
  }
  if (!disc.StartTrack(kVCDVideoSubheader, error)) return false;
  std::string why;
  const VCDTrackWriteResult written = VCDWriteMpegTrack(
      path,
      [&](const std::uint8_t* units, int count) {
        for (int i = 0; i < count; ++i) {
          if (!disc.WriteUnit(units + static_cast<std::size_t>(i) * kVCDUnitBytes, &why)) return false;
        }
        return true;
      },
      [] { return false; });
  if (!written.ok) *error = why.empty() ? written.error : why;
  const bool ok = FinishTrack(disc, written.ok, error);
  if (!ok) *error = "writing track " + path + " failed: " + *error;
  return ok;
}

// The padding track up to `target`, at least 300 sectors long; none when the
// disc already reaches the target.
bool WritePaddingTrack(vexa::vcdmkimage::DiscWriter& disc, std::int32_t target, std::string* error) {
  const std::int32_t next = disc.NextWritable();
  if (next < 0) {
    *error = "the recorder has no writable track";
    return false;
  }
  if (next >= target) return true;
  const std::int32_t end = target - next < 300 ? next + 300 : target;
  std::uint8_t unit[kVCDUnitBytes] = {};
  std::memcpy(unit, kVCDEmptySubheader, 8);
  if (!disc.StartTrack(kVCDEmptySubheader, error)) return false;
  bool ok = true;
  while (ok && disc.lba() < end) ok = disc.WriteUnit(unit, error);
  return FinishTrack(disc, ok, error);
}

}  // namespace

int main(int argc, char** argv) {
  bool pad = true;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-pad") == 0) {
      pad = false;
    } else {
      args.emplace_back(argv[i]);
    }
  }
  if (args.size() != 2) return Usage();
  const std::string binPath = args[1];
  const std::string cuePath =
      (binPath.size() > 4 && binPath.compare(binPath.size() - 4, 4, ".bin") == 0 ? binPath.substr(0, binPath.size() - 4)
                                                                                 : binPath) + ".cue";
  // The description is read whole before anything is made: a folder, an
  // unreadable file or one that names nothing to put on the disc is refused
  // and no image is written.
  std::string text;
  {
    vexa::base::InputFile in;
    char chunk[65536];
    long long got = 0;
    if (in.Open(args[0])) {
      while ((got = in.ReadSome(chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(got));
    }
    if (!in.Error().empty()) {
      std::fprintf(stderr, "vcd-mkimage: cannot read the description: %s\n", in.Error().c_str());
      return 1;
    }
  }
  std::istringstream desc(text);
  auto* t = static_cast<DISCPAK_LibObject*>(DLL_LL_GetLibObject("DISCPAK"));
  if (!t || t->version != kDiscpakVersion) {
    std::fprintf(stderr, "vcd-mkimage: no DISCPAK library object\n");
    return 1;
  }
  I_VCDClassISOFormat* iso = t->NewVCDClassISOFormat();
  if (!iso) {
    std::fprintf(stderr, "vcd-mkimage: no ISO-format object\n");
    DLL_LL_ReleaseObject(t);
    return 1;
  }
  int rc = 0;
  std::string line, volumeId = "VIDEOCD";
  std::vector<TrackSource> tracks;
  std::vector<std::string> inputs = {args[0]};  // what the image is made from
  int lineNo = 0;
  int contents = 0;  // files, segments and tracks the description names
  auto fail = [&](const std::string& why) {
    std::fprintf(stderr, "vcd-mkimage: %s:%d: %s\n", args[0].c_str(), lineNo, why.c_str());
    rc = 1;
  };
  while (rc == 0 && std::getline(desc, line)) {
    ++lineNo;
    const std::vector<std::string> f = Fields(line);
    if (f.empty() || f[0][0] == '#') continue;
    const std::string& k = f[0];
    if (k == "file" || k == "dual" || k == "segment" || k == "track") ++contents;
    const auto arg = [&](std::size_t i) { return i < f.size() ? f[i].c_str() : nullptr; };
    if (k == "file" || k == "segment" || k == "track") inputs.push_back(f.size() > 1 ? f[1] : "");
    if (k == "dual" || k == "lists") inputs.insert(inputs.end(), f.begin() + 1, f.begin() + std::min<std::size_t>(f.size(), 3));
    if (k == "fs" && f.size() == 2) {
      if (!iso->SetFileSystemType(std::atoi(arg(1)))) fail("file-system type 0, 1 or 2");
    } else if (k == "volume" && f.size() == 2) {
      volumeId = f[1];
    } else if (k == "file" && (f.size() == 3 || f.size() == 4)) {
      if (!iso->AddFile(arg(1), arg(2), nullptr, arg(3))) fail("file refused: " + f[1]);
    } else if (k == "link" && f.size() == 3) {
      if (!iso->AddHardLink(arg(1), arg(2), nullptr)) fail("link refused: " + f[2]);
    } else if (k == "dual" && f.size() == 4) {
      if (!iso->AddDualFile(arg(1), arg(2), arg(3), nullptr)) fail("dual file refused: " + f[3]);
    } else if (k == "segment" && (f.size() == 3 || f.size() == 4)) {
      const int item = iso->AddVCDSegment(arg(1), std::atoi(arg(2)));
      if (!item) {
        fail("segment refused: " + f[1]);
      } else if (f.size() == 4) {
        iso->LinkVCDSegment(item, arg(3));
      }
    } else if (k == "track" && (f.size() == 3 || f.size() == 4)) {
      if (!iso->AddVCDTrack(arg(1), std::atoi(arg(2)))) {
        fail("track refused: " + f[1]);
      } else {
        tracks.push_back({f[1]});
        if (f.size() == 4) iso->LinkVCDTrack(static_cast<int>(tracks.size()) + 1, arg(3));
      }
    } else if (k == "lists" && f.size() == 4) {
      iso->SetLOTPSDFiles(arg(1), arg(2), static_cast<std::uint16_t>(std::atoi(arg(3))));
    } else {
      fail("cannot read the line");
    }
  }
  if (rc == 0 && contents == 0) {
    std::fprintf(stderr, "vcd-mkimage: %s names no file, segment or track: the disc would hold nothing\n",
                 args[0].c_str());
    rc = 1;
  }
  vexa::vcdmkimage::DiscWriter disc;
  std::string error;
  // The image and its cue sheet are written over whatever has their names:
  // never over what the image is made from.
  for (const std::string& output : {binPath, cuePath}) {
    const std::string held = rc == 0 ? vexa::base::OverlappedInput(output, inputs) : std::string();
    if (!held.empty()) {
      std::fprintf(stderr, "vcd-mkimage: the output %s is the input %s; give another output\n", output.c_str(),
                   held.c_str());
      rc = 2;
    }
  }
  if (rc == 0) {
    iso->SetVolumeInfo(VolumeRecord(volumeId).data());
    std::printf("track 1: %d sectors\n", iso->GetISOTrackSectors());
    if (!disc.Open(binPath, &error)) {
      std::fprintf(stderr, "vcd-mkimage: %s\n", error.c_str());
      rc = 1;
    }
  }
  if (rc == 0) {
    // Track 1: the image stream, 16 units at a time.
    std::vector<std::uint8_t> buffer(16 * kVCDUnitBytes);
    const bool started = iso->StartImage() == 1;
    const bool trackStarted = started && disc.StartTrack(nullptr, &error);
    bool ok = trackStarted;
    while (ok) {
      const int n = iso->ReadSectors(16, buffer.data());
      if (n <= 0) break;
      for (int i = 0; ok && i < n; ++i) {
        ok = disc.WriteUnit(buffer.data() + static_cast<std::size_t>(i) * kVCDUnitBytes, &error);
      }
    }
    if (trackStarted) ok = FinishTrack(disc, ok, &error);
    const bool whole = !started || iso->FinishImage() == 1;
    if (!ok || !whole) {
      std::fprintf(stderr, "vcd-mkimage: the data track failed: %s\n", error.empty() ? iso->GetError() : error.c_str());
      rc = 1;
    }
  }
  for (std::size_t i = 0; rc == 0 && i < tracks.size(); ++i) {
    if (!WriteMpegTrack(disc, tracks[i].path, &error)) {
      std::fprintf(stderr, "vcd-mkimage: %s\n", error.c_str());
      rc = 1;
    }
  }
  if (rc == 0 && pad && !WritePaddingTrack(disc, 50000, &error)) {
    std::fprintf(stderr, "vcd-mkimage: the padding track failed: %s\n", error.c_str());
    rc = 1;
  }
  if (rc == 0) {
    if (!disc.Close(cuePath, &error)) {
      std::fprintf(stderr, "vcd-mkimage: %s\n", error.c_str());
      rc = 1;
    } else {
      std::printf("%s: %d sectors, %zu tracks\n", binPath.c_str(), disc.lba(), disc.trackStarts().size());
    }
  }
  t->DeleteVCDClassISOFormat(iso);
  DLL_LL_ReleaseObject(t);
  return rc;
}
