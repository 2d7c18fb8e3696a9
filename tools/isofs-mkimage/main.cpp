// isofs-mkimage: builds an ISO 9660 (optionally Joliet and CD-ROM XA) image
// of a folder through the disc library's session master, driving it the way
// the Video CD layout does: create, session parameters, add every file with
// its start sector and every empty folder by path, set the structure
// offset, place, fetch the structure sectors. The files' data is then
// written after the structures.
//
//   isofs-mkimage [--joliet] [--xa] [--long-names] [--volume ID] DIR OUT.iso
//
// The image replaces OUT only when OUT is a regular file the user may write
// (or does not exist); a device or pipe is written directly. An OUT that is
// one of the files imaged (by any name: a file in the tree, a hard or
// symbolic link to one) is refused before anything is written; a new image
// made inside the folder it images leaves itself out.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disclib/isofs/I_CD_SessionMaster.h"
#include "disclib/isofs/ISO9660.h"
#include "platform/base/File.h"
#include "platform/base/Text.h"

namespace fs = std::filesystem;

namespace {

using isofs::kSectorSize;

constexpr std::size_t kVolumeIdChars = 32;
constexpr std::size_t kJolietVolumeIdChars = 16;  // 32 bytes of UCS-2

struct Entry {
  fs::path source;
  std::u16string discPath;  // "\A\B.TXT"
  DWORD size = 0;
  DWORD start = 0;  // counted from the first sector after the structures
  SYSTEMTIME date{};
};

struct Options {
  bool joliet = false;
  bool xa = false;
  bool longNames = false;
  std::string volume = "CDROM";
  std::string dir;
  std::string out;
};

// A file's identity on disk, to tell the image from the files it holds.
struct Identity {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const Identity&) const = default;
};

std::optional<Identity> IdentityOf(const fs::path& p, bool follow = false) {
  struct stat st {};
  if ((follow ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st)) != 0) return std::nullopt;
  return Identity{st.st_dev, st.st_ino};
}

void Say(const std::string& text) { std::fprintf(stderr, "isofs-mkimage: %s\n", text.c_str()); }

std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

int Usage(const std::string& why) {
  if (!why.empty()) Say(why);
  std::fprintf(stderr, "usage: isofs-mkimage [--joliet] [--xa] [--long-names] [--volume ID] DIR OUT.iso\n");
  return 2;
}

// The volume identifier holds at most 32 d-characters (A-Z, 0-9, '_').
std::string VolumeIdProblem(const std::string& id) {
  if (id.empty()) return "--volume: the volume identifier is empty";
  if (!isofs::IsDCharacters(id)) {
    return "--volume: '" + id + "' holds characters a volume identifier may not hold (only A-Z, 0-9 and _)";
  }
  if (id.size() > kVolumeIdChars) {
    return "--volume: '" + id + "' has " + std::to_string(id.size()) +
           " characters; a volume identifier holds at most 32";
  }
  return std::string();
}

SYSTEMTIME LocalTime(std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(tm.tm_year + 1900);
  t.wMonth = static_cast<WORD>(tm.tm_mon + 1);
  t.wDayOfWeek = static_cast<WORD>(tm.tm_wday);
  t.wDay = static_cast<WORD>(tm.tm_mday);
  t.wHour = static_cast<WORD>(tm.tm_hour);
  t.wMinute = static_cast<WORD>(tm.tm_min);
  t.wSecond = static_cast<WORD>(tm.tm_sec);
  return t;
}

SYSTEMTIME ModTime(const fs::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) return LocalTime(std::time(nullptr));
  return LocalTime(st.st_mtime);
}

class Scanner {
 public:
  // outputs: what the image's target is when it already exists, the name
  // itself and what it leads to. A file of the tree that is one of them is
  // an input the image would be written over: the scan stops there.
  explicit Scanner(std::vector<Identity> outputs) : outputs_(std::move(outputs)) {}

  // Walks dir in name order by the system's own separator, collecting files
  // and folders; each name becomes one entry of its disc path.
  bool Scan(const fs::path& dir, const std::u16string& discDir, std::string& error) {
    std::error_code ec;
    std::vector<fs::directory_entry> items;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) items.push_back(*it);
    if (ec) {
      error = "cannot read the folder " + Quoted(dir) + ": " + ec.message();
      return false;
    }
    std::sort(items.begin(), items.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    if (!discDir.empty()) {
      Entry e;
      e.source = dir;
      e.discPath = discDir;
      e.date = ModTime(dir);
      dirs.push_back(e);
    }
    for (const auto& item : items) {
      const std::u16string name =
          isofs::DiscPathEntry(vexa::base::Utf8ToUtf16(item.path().filename().string()));
      const std::u16string discPath = discDir + u"\\" + name;
      if (item.is_symlink(ec)) {
        Say("skipping the symbolic link " + Quoted(item.path()));
        continue;
      }
      if (item.is_directory(ec)) {
        if (!Scan(item.path(), discPath, error)) return false;
      } else if (item.is_regular_file(ec)) {
        const std::optional<Identity> id = IdentityOf(item.path());
        if (id && std::find(outputs_.begin(), outputs_.end(), *id) != outputs_.end()) {
          overwritten = item.path();
          return false;
        }
        const auto size = item.file_size(ec);
        if (ec) {
          error = "cannot read " + Quoted(item.path()) + ": " + ec.message();
          return false;
        }
        if (size > 0xFFFFFFFFull) {
          error = "cannot record " + Quoted(item.path()) + ": a file on the disc holds at most 4 GiB - 1 byte";
          return false;
        }
        Entry e;
        e.source = item.path();
        e.discPath = discPath;
        e.size = static_cast<DWORD>(size);
        e.date = ModTime(item.path());
        files.push_back(e);
      } else {
        Say("skipping the special file " + Quoted(item.path()));
      }
    }
    return true;
  }

  std::vector<Entry> files;
  std::vector<Entry> dirs;
  // The file of the tree that the image would replace, when Scan stopped
  // there.
  fs::path overwritten;

 private:
  std::vector<Identity> outputs_;
};

// Copies a file's data, exactly the size it had when the folder was read,
// and pads it to its last sector. A file that changed since fails.
bool CopyData(const Entry& e, vexa::base::OutputFile& out, std::string& error) {
  vexa::base::InputFile in;
  if (!in.Open(e.source.string())) {
    error = in.Error();
    return false;
  }
  if (in.Size() != e.size) {
    error = Quoted(e.source) + " changed since the folder was read: it had " + std::to_string(e.size) +
            " bytes, now " + std::to_string(in.Size());
    return false;
  }
  std::vector<char> buf(1 << 16);
  for (DWORD left = e.size; left > 0;) {
    const std::size_t n = std::min<std::size_t>(buf.size(), left);
    if (!in.ReadExactly(buf.data(), n)) {
      error = in.Error();
      return false;
    }
    if (!out.Write(buf.data(), n)) {
      error = out.Error();
      return false;
    }
    left -= static_cast<DWORD>(n);
  }
  if (!in.AtEnd()) {
    error = in.Error();
    return false;
  }
  static const char zeros[kSectorSize] = {};
  const std::size_t tail = e.size % kSectorSize;
  if (tail != 0 && !out.Write(zeros, kSectorSize - tail)) {
    error = out.Error();
    return false;
  }
  return true;
}

int Run(const Options& opt) {
  std::error_code ec;
  if (!fs::is_directory(opt.dir, ec)) return Usage("not a folder: " + opt.dir);
  if (const std::string problem = VolumeIdProblem(opt.volume); !problem.empty()) return Usage(problem);
  if (opt.joliet && opt.volume.size() > kJolietVolumeIdChars) {
    Say("note: the Joliet volume identifier holds 16 characters; it records '" +
        opt.volume.substr(0, kJolietVolumeIdChars) + "'");
  }

  // The output is checked before any work: a target that may not be
  // written is refused with nothing changed.
  if (const std::string why = vexa::base::OutputRefusal(opt.out); !why.empty()) {
    Say(why);
    return 1;
  }
  // The tree is read before the output is opened, so neither the image nor
  // its temporary file is part of it; an existing target that is one of
  // its files, by whatever name, is refused.
  std::vector<Identity> existing;
  for (const bool follow : {false, true}) {
    if (const std::optional<Identity> id = IdentityOf(opt.out, follow)) existing.push_back(*id);
  }
  Scanner scan(existing);
  std::string error;
  if (!scan.Scan(opt.dir, u"", error)) {
    if (!scan.overwritten.empty()) {
      Say("the output " + Quoted(opt.out) + " is " + Quoted(scan.overwritten) +
          ", a file of the folder it images; give another output");
      return 2;
    }
    Say(error);
    return 1;
  }
  vexa::base::OutputFile out;
  if (!out.Open(opt.out)) {
    Say(out.Error());
    return 1;
  }

  DWORD format = opt.longNames ? isofs::FS_ISO9660_LONG : isofs::FS_ISO9660;
  if (opt.joliet) format |= isofs::FS_JOLIET;
  if (opt.xa) format |= isofs::FS_XA;

  // Start sectors follow one another in scan order; empty files share the
  // next free sector.
  unsigned long long next = 0;
  for (Entry& e : scan.files) {
    e.start = static_cast<DWORD>(next);
    next += (static_cast<unsigned long long>(e.size) + kSectorSize - 1) / kSectorSize;
  }

  std::unique_ptr<isofs::I_CD_SessionMaster> dm(isofs::CreateDM(nullptr));
  if (!dm) {
    Say("out of memory");
    return 1;
  }
  const DWORD structureOffset = opt.joliet ? 19 : 18;
  std::vector<BYTE> structures;
  try {
    dm->BeginSession();
    dm->SetSessionParms(0, 0, format);
    dm->SetSystemId("LINUX");
    dm->SetVolumeId(opt.volume.c_str());
    dm->SetApplicationId("ISOFS-MKIMAGE");
    const SYSTEMTIME now = LocalTime(std::time(nullptr));
    dm->SetCreationDate(&now);
    dm->SetModificationDate(&now);
    // Folders first, by path, so each is made with its own date; then the
    // files with their start sectors.
    for (const Entry& e : scan.dirs) dm->AddPath(e.discPath.c_str(), &e.date, nullptr);
    for (const Entry& e : scan.files) {
      if (opt.xa) {
        dm->AddPathXA(e.discPath.c_str(), e.size, e.start, 0, &e.date, nullptr, 0x0D55, 0, 0, 0);
      } else {
        dm->AddPath(e.discPath.c_str(), e.size, e.start, 0, &e.date, nullptr);
      }
    }
    dm->SetStructureOffset(structureOffset);
    const DWORD end = dm->GetStructureEnd();
    structures.assign(static_cast<std::size_t>(end) * kSectorSize, 0);
    dm->GetSessionSectors(0, 19, structures.data());
    dm->GetSessionSectors(structureOffset, end - structureOffset,
                          structures.data() + static_cast<std::size_t>(structureOffset) * kSectorSize);
  } catch (const isofs::TREL_Exception& e) {
    Say("cannot lay out the file system: " + e.GetComment() + " (" + e.GetName() + " in " + e.GetLocation() +
        ")");
    return 1;
  }
  dm.reset();

  if (!out.Write(structures.data(), structures.size())) {
    Say(out.Error());
    return 1;
  }
  for (const Entry& e : scan.files) {
    if (!CopyData(e, out, error)) {
      Say(error);
      return 1;
    }
  }
  if (!out.Commit()) {
    Say(out.Error());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  std::vector<std::string> plain;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--joliet") {
      opt.joliet = true;
    } else if (a == "--xa") {
      opt.xa = true;
    } else if (a == "--long-names") {
      opt.longNames = true;
    } else if (a == "--volume") {
      if (++i >= argc) return Usage("--volume needs an identifier");
      opt.volume = argv[i];
    } else if (a == "-h" || a == "--help") {
      return Usage("");
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage("unknown option " + a);
    } else {
      plain.push_back(a);
    }
  }
  if (plain.size() != 2) return Usage("need DIR and OUT.iso");
  opt.dir = plain[0];
  opt.out = plain[1];
  return Run(opt);
}
