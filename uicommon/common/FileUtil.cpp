#include "uicommon/common/FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <sstream>

#include "platform/base/Path.h"
#include "platform/base/Text.h"

namespace vexa::ui {

namespace fs = std::filesystem;

// ---- String ----------------------------------------------------------------

String String::ParseHead(char c) const {
  const std::size_t at = find(c);
  return at == npos ? *this : String(substr(0, at));
}

String String::ParseTail(char c) const {
  const std::size_t at = find(c);
  return at == npos ? *this : String(substr(at + 1));
}

int String::ToInteger() const { return std::atoi(c_str()); }
String String::ToString(int value) { return String(std::to_string(value)); }
void String::Print(std::ostream& out) const { out << *this << '\n'; }
void String::Print(String& s, std::ostream& out) { s.Print(out); }

// ---- CFileTime ---------------------------------------------------------------

namespace {
constexpr std::uint64_t kEpochDifference = 11644473600ULL;  // 1601 to 1970, seconds
constexpr std::uint64_t kTicksPerSecond = 10000000ULL;

std::uint64_t Ticks(std::uint32_t low, std::uint32_t high) {
  return (std::uint64_t(high) << 32) | low;
}
}  // namespace

CFileTime::CFileTime(const String& text) {
  m_high = static_cast<std::uint32_t>(text.ParseHead('-').ToInteger());
  m_low = static_cast<std::uint32_t>(text.ParseTail('-').ToInteger());
}

CFileTime CFileTime::FromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
  const std::int64_t s = std::max<std::int64_t>(seconds + std::int64_t(kEpochDifference), 0);
  const std::uint64_t ticks = std::uint64_t(s) * kTicksPerSecond + std::uint64_t(nanoseconds / 100);
  return CFileTime(FILETIME{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)});
}

int CFileTime::Compare(const CFileTime& o) const {
  if (m_high != o.m_high) return m_high > o.m_high ? 1 : -1;
  if (m_low != o.m_low) return m_low > o.m_low ? 1 : -1;
  return 0;
}

unsigned CFileTime::Diff(const CFileTime& o) const {
  const std::uint64_t a = Ticks(m_low, m_high), b = Ticks(o.m_low, o.m_high);
  const std::uint64_t seconds = (a > b ? a - b : b - a) / kTicksPerSecond;
  return seconds > 0xFFFFFFFFULL ? 0xFFFFFFFFu : static_cast<unsigned>(seconds);
}

String CFileTime::ToString() const {
  return String(std::to_string(static_cast<std::int32_t>(m_high)) + "-" +
                std::to_string(static_cast<std::int32_t>(m_low)));
}

// ---- CFileInfo ---------------------------------------------------------------

namespace {

// Fills a find record from a path; false when it cannot be looked at.
bool Stat(const std::string& path, const std::string& name, FindData* out) {
  struct statx sx {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
  out->name = name;
  out->directory = S_ISDIR(sx.stx_mode);
  out->hidden = !name.empty() && name[0] == '.' && name != "." && name != "..";
  const CFileTime written = CFileTime::FromUnix(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  const CFileTime created = (sx.stx_mask & STATX_BTIME)
                                ? CFileTime::FromUnix(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec)
                                : written;
  out->lastWriteTime = written.GetFILETIME();
  out->creationTime = created.GetFILETIME();
  out->size = out->directory ? 0 : sx.stx_size;
  return true;
}

}  // namespace

CFileInfo::CFileInfo() = default;
CFileInfo::CFileInfo(const FindData* data) { Init(data); }
CFileInfo::CFileInfo(const String& name, const String& folder) { Init(name, folder); }
CFileInfo::~CFileInfo() = default;

bool CFileInfo::Init(const FindData* data) {
  if (!data) return false;
  SetFileName(data->name);
  SetCreationTime(CFileTime(data->creationTime));
  SetLastModifyTime(CFileTime(data->lastWriteTime));
  SetSize(data->size);
  SetDirectory(data->directory);
  SetHidden(data->hidden);
  return true;
}

bool CFileInfo::Init(const String& name, const String& folder) {
  FindData data;
  if (!Stat(vexa::base::JoinPath(folder, name), name, &data)) return false;
  SetPath(folder);
  return Init(&data);
}

bool CFileInfo::UsefulFile() const {
  return !(m_Hidden || m_FileName == "." || m_FileName == "..");
}

bool CFileInfo::CalcChecksum(unsigned& sum) const {
  sum = 0;
  std::ifstream in(vexa::base::JoinPath(m_Path, m_FileName), std::ios::binary);
  if (!in) return false;
  std::uint32_t total = 0;
  char buf[65536];
  std::size_t carry = 0;
  unsigned char word[4];
  while (in) {
    in.read(buf, sizeof buf);
    const std::streamsize n = in.gcount();
    for (std::streamsize i = 0; i < n; ++i) {
      word[carry++] = static_cast<unsigned char>(buf[i]);
      if (carry == 4) {
        total += std::uint32_t(word[0]) | (std::uint32_t(word[1]) << 8) |
                 (std::uint32_t(word[2]) << 16) | (std::uint32_t(word[3]) << 24);
        carry = 0;
      }
    }
  }
  sum = total;
  return true;
}

// ---- CFileEnumerator -----------------------------------------------------------

CFileEnumerator::CFileEnumerator(const String& folder) : m_folder(folder) {}

CFileEnumerator::CFileEnumerator(const String& folder, CFileInfo& subfolder)
    : m_folder(vexa::base::JoinPath(folder, subfolder.GetFileName())) {}

CFileEnumerator::~CFileEnumerator() = default;

bool CFileEnumerator::GetFile(CFileInfo& info) {
  for (;;) {
    if (m_child) {
      if (m_child->GetFile(info)) return true;
      m_child.reset();
    }
    if (m_first) {
      m_first = false;
      std::error_code ec;
      for (fs::directory_iterator it(m_folder.Chars(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        FindData data;
        if (!Stat(it->path().string(), name, &data)) continue;
        // A link to a folder could lead back up the tree: it is not walked.
        if (data.directory && it->is_symlink(ec)) continue;
        m_entries.push_back(std::move(data));
      }
      std::sort(m_entries.begin(), m_entries.end(),
                [](const FindData& a, const FindData& b) { return a.name < b.name; });
    }
    if (m_next >= m_entries.size()) return false;
    const FindData& entry = m_entries[m_next++];
    CFileInfo candidate(&entry);
    if (!candidate.UsefulFile()) continue;
    if (entry.directory) {
      m_child = std::make_unique<CFileEnumerator>(m_folder, candidate);
      continue;
    }
    info = candidate;
    info.SetPath(m_folder);
    return true;
  }
}

// ---- File lists ----------------------------------------------------------------

CFileSpecList CFileListReader::Read(std::string path, CFileSpecList* missing) {
  CFileSpecList result;
  std::ifstream in(path, std::ios::binary);
  if (!in) return result;
  std::string line;
  if (!std::getline(in, line)) return result;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  int major = -1, minor = -1;
  char dot = 0, extra = 0;
  std::istringstream version(line);
  if (!(version >> major >> dot >> minor) || dot != '.' || major != 1 || minor != 0 ||
      (version >> extra))
    return result;

  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] != '"') continue;
    const std::size_t close = line.rfind('"');
    if (close == 0) continue;
    CFileSpec entry;
    entry.path = line.substr(1, close - 1);
    const std::string options = line.substr(close + 1);
    bool anyOption = false;
    for (std::size_t at = options.find(" -"); at != std::string::npos;
         at = options.find(" -", at + 1)) {
      std::size_t end = options.find_first_of(" \t", at + 1);
      std::string token = vexa::base::ToLowerAscii(
          options.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1));
      anyOption = true;
      if (token == "-f") entry.flags |= FILESPEC_F;
      else if (token == "-i") entry.flags |= FILESPEC_I;
      else if (token == "-t") entry.flags |= FILESPEC_T;
      else if (token.rfind("-n", 0) == 0) entry.count = std::atoi(token.c_str() + 2);
    }
    if (!anyOption) entry.flags = FILESPEC_F;
    struct stat st {};
    if (::stat(entry.path.c_str(), &st) == 0) {
      entry.modified = st.st_mtime;
      result.push_back(entry);
    } else if (missing) {
      entry.modified = 0;
      missing->push_back(entry);
    }
  }
  result.sort();  // stable: equal times keep their order in the list
  return result;
}

CFileListWriter::CFileListWriter() = default;
CFileListWriter::~CFileListWriter() { Abandon(); }

void CFileListWriter::Abandon() {
  if (m_out.is_open()) m_out.close();
  if (!m_temp.empty()) {
    std::error_code ec;
    fs::remove(m_temp, ec);
    m_temp.clear();
  }
}

bool CFileListWriter::Open(std::string path) {
  if (m_out.is_open()) Close();
  std::string dir = vexa::base::DirName(path);
  if (dir.empty()) dir = ".";
  m_temp = vexa::base::MakeTempFile(dir, "." + vexa::base::BaseName(path) + ".", ".tmp");
  if (m_temp.empty()) return false;
  m_path = std::move(path);
  m_out.open(m_temp, std::ios::binary | std::ios::trunc);
  m_out << 1 << '.' << 0 << '\n';
  if (!m_out) {
    Abandon();
    return false;
  }
  return true;
}

bool CFileListWriter::AddFile(std::string path, std::uint8_t flags, int count) {
  if (!m_out.is_open()) return false;
  std::string line = "\"" + path + "\"";
  if (flags & FILESPEC_F) line += " -F";
  else if (flags & FILESPEC_I) line += " -I";
  if (flags & FILESPEC_T) line += " -T";
  if (count > 1) line += " -N" + std::to_string(count);
  m_out << line << '\n';
  if (!m_out) {
    Abandon();
    return false;
  }
  return true;
}

bool CFileListWriter::Close() {
  if (!m_out.is_open()) return false;
  m_out.flush();
  const bool ok = static_cast<bool>(m_out);
  m_out.close();
  std::error_code ec;
  if (ok && !m_out.fail()) fs::rename(m_temp, m_path, ec);
  if (!ok || m_out.fail() || ec) {
    Abandon();
    return false;
  }
  m_temp.clear();
  return true;
}

}  // namespace vexa::ui
