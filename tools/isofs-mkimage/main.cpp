// isofs-mkimage: builds an ISO 9660 (optionally Joliet and CD-ROM XA) image
// of a folder through the disc library's session master, driving it the way
// the Video CD layout does: create, session parameters, add every file with
// its start sector and every empty folder by path, set the structure
// offset, place, fetch the structure sectors. The files' data is then
// written after the structures.
//
//   isofs-mkimage [--joliet] [--xa] [--long-names] [--volume ID] DIR OUT.iso
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "disclib/isofs/ISO9660.h"
#include "disclib/isofs/I_CD_SessionMaster.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"

using namespace isofs;

namespace fs = std::filesystem;

namespace {

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

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "isofs-mkimage: %s\n", why);
  std::fprintf(stderr, "usage: isofs-mkimage [--joliet] [--xa] [--long-names] [--volume ID] DIR OUT.iso\n");
  return 2;
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
  struct stat st{};
  if (::stat(p.c_str(), &st) != 0) return LocalTime(std::time(nullptr));
  return LocalTime(st.st_mtime);
}

// Walks dir in name order, collecting files and folders.
bool Scan(const fs::path& dir, const std::u16string& discDir, std::vector<Entry>& files,
          std::vector<Entry>& dirs, std::string& error) {
  std::error_code ec;
  std::vector<fs::directory_entry> items;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) items.push_back(*it);
  if (ec) {
    error = "cannot read folder " + dir.string() + ": " + ec.message();
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
    const std::u16string name = vexa::base::Utf8ToUtf16(item.path().filename().string());
    const std::u16string discPath = discDir + u"\\" + name;
    if (item.is_symlink(ec)) {
      std::fprintf(stderr, "isofs-mkimage: skipping symbolic link %s\n", item.path().c_str());
      continue;
    }
    if (item.is_directory(ec)) {
      if (!Scan(item.path(), discPath, files, dirs, error)) return false;
    } else if (item.is_regular_file(ec)) {
      const auto size = item.file_size(ec);
      if (ec || size > 0xFFFFFFFFull) {
        error = "cannot record " + item.path().string() + " (too large or unreadable)";
        return false;
      }
      Entry e;
      e.source = item.path();
      e.discPath = discPath;
      e.size = static_cast<DWORD>(size);
      e.date = ModTime(item.path());
      files.push_back(e);
    } else {
      std::fprintf(stderr, "isofs-mkimage: skipping special file %s\n", item.path().c_str());
    }
  }
  return true;
}

bool CopyData(const fs::path& source, DWORD size, std::FILE* out, std::string& error) {
  std::FILE* in = std::fopen(source.c_str(), "rb");
  if (!in) {
    error = "cannot open " + source.string() + ": " + std::strerror(errno);
    return false;
  }
  std::vector<char> buf(1 << 16);
  DWORD left = size;
  while (left > 0) {
    const std::size_t want = std::min<std::size_t>(buf.size(), left);
    const std::size_t got = std::fread(buf.data(), 1, want, in);
    if (got == 0) break;  // the file shrank: the rest stays zero
    if (std::fwrite(buf.data(), 1, got, out) != got) {
      std::fclose(in);
      error = std::string("write failed: ") + std::strerror(errno);
      return false;
    }
    left -= static_cast<DWORD>(got);
  }
  std::fclose(in);
  static const char zeros[kSectorSize] = {};
  // Up to the end of the file's last sector (also what a shrunk file lacks).
  const unsigned long long whole = (static_cast<unsigned long long>(size) + kSectorSize - 1) / kSectorSize * kSectorSize;
  const unsigned long long fill = whole - (size - left);
  for (unsigned long long done = 0; done < fill;) {
    const std::size_t n = static_cast<std::size_t>(std::min<unsigned long long>(kSectorSize, fill - done));
    if (std::fwrite(zeros, 1, n, out) != n) {
      error = std::string("write failed: ") + std::strerror(errno);
      return false;
    }
    done += n;
  }
  return true;
}

int Run(const Options& opt) {
  std::vector<Entry> files, dirs;
  std::string error;
  if (!fs::is_directory(opt.dir)) return Usage(("not a folder: " + opt.dir).c_str());
  if (!Scan(opt.dir, u"", files, dirs, error)) {
    std::fprintf(stderr, "isofs-mkimage: %s\n", error.c_str());
    return 1;
  }

  DWORD format = opt.longNames ? FS_ISO9660_LONG : FS_ISO9660;
  if (opt.joliet) format |= FS_JOLIET;
  if (opt.xa) format |= FS_XA;

  // Start sectors follow one another in scan order; empty files share the
  // next free sector.
  unsigned long long next = 0;
  for (Entry& e : files) {
    e.start = static_cast<DWORD>(next);
    next += (static_cast<unsigned long long>(e.size) + kSectorSize - 1) / kSectorSize;
  }

  std::unique_ptr<I_CD_SessionMaster> dm(CreateDM(nullptr));
  if (!dm) {
    std::fprintf(stderr, "isofs-mkimage: out of memory\n");
    return 1;
  }
  const DWORD structureOffset = opt.joliet ? 19 : 18;
  DWORD end = 0;
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
    for (const Entry& e : dirs) dm->AddPath(e.discPath.c_str(), &e.date, nullptr);
    for (const Entry& e : files) {
      if (opt.xa) {
        dm->AddPathXA(e.discPath.c_str(), e.size, e.start, 0, &e.date, nullptr, 0x0D55, 0, 0, 0);
      } else {
        dm->AddPath(e.discPath.c_str(), e.size, e.start, 0, &e.date, nullptr);
      }
    }
    dm->SetStructureOffset(structureOffset);
    end = dm->GetStructureEnd();
    structures.assign(static_cast<std::size_t>(end) * kSectorSize, 0);
    dm->GetSessionSectors(0, 19, structures.data());
    dm->GetSessionSectors(structureOffset, end - structureOffset,
                          structures.data() + static_cast<std::size_t>(structureOffset) * kSectorSize);
  } catch (const TREL_Exception& e) {
    e.Print(std::cerr);
    return 1;
  }
  dm.reset();

  // Write beside the target and rename over it.
  const std::string temp = vexa::base::MakeTempFile(
      fs::absolute(opt.out).parent_path().string(), fs::path(opt.out).filename().string() + ".");
  if (temp.empty()) {
    std::fprintf(stderr, "isofs-mkimage: cannot create a file beside %s\n", opt.out.c_str());
    return 1;
  }
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  bool ok = out && std::fwrite(structures.data(), 1, structures.size(), out) == structures.size();
  for (const Entry& e : files) {
    if (!ok) break;
    ok = CopyData(e.source, e.size, out, error);
  }
  if (out && std::fclose(out) != 0) ok = false;
  if (!ok || std::rename(temp.c_str(), opt.out.c_str()) != 0) {
    std::fprintf(stderr, "isofs-mkimage: writing %s failed %s\n", opt.out.c_str(), error.c_str());
    std::remove(temp.c_str());
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
      return Usage(nullptr);
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage(("unknown option " + a).c_str());
    } else {
      plain.push_back(a);
    }
  }
  if (plain.size() != 2) return Usage("need DIR and OUT.iso");
  opt.dir = plain[0];
  opt.out = plain[1];
  return Run(opt);
}
