#include "engine/DiscNames.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/base/Text.h"

namespace vexa::engine {

namespace {

bool IsAsciiAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// One code point of UTF-8 at s[i] (advancing i); invalid bytes count as one
// code point each.
char32_t NextCodePoint(std::string_view s, std::size_t& i) {
  const auto b = static_cast<unsigned char>(s[i]);
  int extra;
  char32_t c;
  if (b < 0x80) {
    ++i;
    return b;
  } else if (b >= 0xC2 && b < 0xE0) {
    extra = 1;
    c = b & 0x1F;
  } else if (b >= 0xE0 && b < 0xF0) {
    extra = 2;
    c = b & 0x0F;
  } else if (b >= 0xF0 && b < 0xF5) {
    extra = 3;
    c = b & 0x07;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + static_cast<std::size_t>(extra) >= s.size()) {  // cut short
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto n = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((n & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = (c << 6) | (n & 0x3F);
  }
  i += 1 + static_cast<std::size_t>(extra);
  return c;
}

// An ISO 9660 name part: A-Z, 0-9 and "_" kept (lower case raised), every
// other character one "_".
std::string CleanISO(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const char32_t c = NextCodePoint(s, i);
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_') {
      out += static_cast<char>(c);
    } else if (c >= 'a' && c <= 'z') {
      out += static_cast<char>(c - 'a' + 'A');
    } else {
      out += '_';
    }
  }
  return out;
}

// A Joliet name part in UTF-16: control characters, the characters Joliet
// refuses, the dot (within a name) and characters outside the basic plane
// become "_".
std::u16string CleanJoliet(std::string_view s, bool keepDots) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    const char32_t c = NextCodePoint(s, i);
    const bool refused = c < 0x20 || c == '*' || c == '/' || c == ':' || c == ';' || c == '?' ||
                         c == '\\' || (c == '.' && !keepDots) || c > 0xFFFF ||
                         (c >= 0xD800 && c <= 0xDFFF);
    out += refused ? u'_' : static_cast<char16_t>(c);
  }
  return out;
}

std::string FoldAscii(std::string_view s) { return base::ToLowerAscii(s); }

// Folder shortening shared by both systems: a component longer than the
// limit, or of exactly eight characters that looks like a shortened system
// name ("PROGRA~1"), becomes its first characters and "_0".
template <typename S>
S ShortenFolder(const S& c, std::size_t longFrom, std::size_t keep) {
  using Ch = typename S::value_type;
  const bool shortName = c.size() == 8 && (c[6] == Ch('~') || c[7] == Ch('1'));
  if (c.size() >= longFrom || shortName) {
    S out = c.substr(0, shortName ? 6 : keep);
    out += Ch('_');
    out += Ch('0');
    return out;
  }
  return c;
}

}  // namespace

std::string SequentialNumberToLetters(std::uint32_t n) {
  std::string out;
  // Bijective base 26: A..Z, AA..ZZ, AAA..
  while (n > 0) {
    --n;
    out.insert(out.begin(), static_cast<char>('A' + n % 26));
    n /= 26;
  }
  return out;
}

SourcePath SplitSourcePath(std::string_view path) {
  SourcePath p;
  std::vector<std::string> parts;
  auto splitOn = [&parts](std::string_view s, bool bothSeparators) {
    std::string cur;
    for (char c : s) {
      if (c == '/' || (bothSeparators && c == '\\')) {
        if (!cur.empty()) parts.push_back(cur);
        cur.clear();
      } else {
        cur += c;
      }
    }
    if (!cur.empty()) parts.push_back(cur);
  };
  if (path.size() >= 2 && IsAsciiAlpha(path[0]) && path[1] == ':') {
    p.drive = std::string(1, static_cast<char>(path[0] & ~0x20));
    splitOn(path.substr(2), true);
  } else {
    std::string full(path);
    if (!full.empty() && full[0] != '/') {
      std::error_code ec;
      const auto cwd = std::filesystem::current_path(ec);
      if (!ec) full = cwd.string() + "/" + full;
    }
    splitOn(full, false);
  }
  // Lexical clean-up of "." and "..".
  std::vector<std::string> clean;
  for (auto& part : parts) {
    if (part == ".") continue;
    if (part == "..") {
      if (!clean.empty()) clean.pop_back();
      continue;
    }
    clean.push_back(std::move(part));
  }
  // A path that ends in a separator names no file.
  const bool endsInSeparator =
      !path.empty() && (path.back() == '/' || (!p.drive.empty() && path.back() == '\\'));
  if (clean.empty() || endsInSeparator) {
    p.folders = std::move(clean);
    return p;
  }
  const std::string file = clean.back();
  clean.pop_back();
  p.folders = std::move(clean);
  const auto dot = file.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    p.base = file;
  } else {
    p.base = file.substr(0, dot);
    p.extension = file.substr(dot);
  }
  return p;
}

std::string ISOIze(std::string_view path) {
  const SourcePath p = SplitSourcePath(path);
  std::string out = p.drive.empty() ? std::string() : p.drive + ":";
  for (const auto& f : p.folders) out += (p.drive.empty() ? "/" : "\\") + CleanISO(f);
  if (!p.base.empty() || !p.extension.empty()) {
    out += p.drive.empty() ? "/" : "\\";
    out += CleanISO(p.base);
    if (!p.extension.empty()) out += "." + CleanISO(p.extension.substr(1));
  }
  return out;
}

std::string JolietIze(std::string_view path) {
  const SourcePath p = SplitSourcePath(path);
  std::string out = p.drive.empty() ? std::string() : p.drive + ":";
  for (const auto& f : p.folders) {
    out += (p.drive.empty() ? "/" : "\\") + base::Utf16ToUtf8(CleanJoliet(f, false));
  }
  if (!p.base.empty() || !p.extension.empty()) {
    out += p.drive.empty() ? "/" : "\\";
    out += base::Utf16ToUtf8(CleanJoliet(p.base, false));
    if (!p.extension.empty()) out += "." + base::Utf16ToUtf8(CleanJoliet(p.extension.substr(1), false));
  }
  return out;
}

bool DiscNames::IsUsed(const Registry& r, std::string_view name, int* index, int* collisions) {
  if (index) *index = 0;
  if (collisions) *collisions = 0;
  if (r.names.empty()) return false;
  const auto it = r.counts.find(std::string(name));
  if (it == r.counts.end()) return false;
  for (std::size_t i = 0; i < r.names.size(); ++i) {
    if (r.names[i] == name) {
      if (index) *index = static_cast<int>(i) + 1;
      break;
    }
  }
  if (collisions && it->second > 0) *collisions = it->second;
  return true;
}

bool DiscNames::isISOFileNameUsed(std::string_view name, int* index, int* collisions) const {
  return IsUsed(iso_, name, index, collisions);
}

bool DiscNames::isJolietFileNameUsed(std::string_view name, int* index, int* collisions) const {
  return IsUsed(joliet_, name, index, collisions);
}

void DiscNames::Release() {
  iso_ = Registry{};
  joliet_ = Registry{};
  isoFolders_.clear();
  isoFolderNames_.clear();
}

// A file name unique in its registry. `base` and `extension` (with its dot,
// or empty) are already cleaned; base is not empty.
std::string DiscNames::UniqueFileName(Kind kind, const std::string& base, const std::string& extension) {
  const bool iso = kind == Kind::kISO9660;
  Registry& r = iso ? iso_ : joliet_;
  // Lengths in the unit of the file system (bytes of ASCII for ISO 9660,
  // UTF-16 units for Joliet; the cleaned Joliet text has no surrogates).
  const std::u16string base16 = base::Utf8ToUtf16(base);
  const std::size_t ext16 = base::Utf8ToUtf16(extension).size();
  bool isLong;
  std::u16string shortened;
  if (iso) {
    isLong = base.size() >= 9;
    shortened = base::Utf8ToUtf16(isLong ? base.substr(0, 5) + "_" : base);
  } else {
    isLong = base16.size() >= 61 || base16.size() + ext16 > kMaxJolietName;
    shortened = isLong ? base16.substr(0, 57) + u"_" : base16;
  }
  const std::string key = base::Utf16ToUtf8(shortened) + extension;
  auto issuedKey = [iso](const std::string& s) { return iso ? s : FoldAscii(s); };

  int& n = r.counts[key];
  const bool newName = n == 0;
  if (newName) r.names.push_back(key);
  if (!isLong && newName && !r.issued.count(issuedKey(key))) {
    n = 1;
    r.issued.insert(issuedKey(key));
    return key;
  }
  if (!isLong && n == 0) n = 1;  // the plain name is somebody else's
  for (;;) {
    ++n;
    const auto number = static_cast<std::uint32_t>(n);
    const std::u16string suffix =
        base::Utf8ToUtf16((number < 27 ? "_" : "") + SequentialNumberToLetters(number));
    const std::size_t room = iso ? 8 : kMaxJolietName - ext16;
    const std::u16string stem = shortened.substr(0, room > suffix.size() ? room - suffix.size() : 0);
    const std::string candidate = base::Utf16ToUtf8(stem + suffix) + extension;
    if (!r.issued.count(issuedKey(candidate))) {
      r.issued.insert(issuedKey(candidate));
      return candidate;
    }
  }
}

std::string DiscNames::IsoFolder(const std::string& isoParent, const std::string& jolietName,
                                 const std::string& source) {
  const std::string key = isoParent + "/" + jolietName;
  if (const auto it = isoFolders_.find(key); it != isoFolders_.end()) return it->second;
  std::set<std::string>& siblings = isoFolderNames_[isoParent];
  std::string name = ShortenFolder(CleanISO(source), 9, 6);
  if (name.empty()) name = "_";
  // Another folder of this parent has the name: a number (then letters)
  // takes the end of it, within eight characters.
  for (std::uint32_t k = 1; siblings.count(name); ++k) {
    const std::string suffix = "_" + (k < 10 ? std::to_string(k) : SequentialNumberToLetters(k - 9));
    const std::string stem = ShortenFolder(CleanISO(source), 9, 6);
    name = stem.substr(0, 8 > suffix.size() ? 8 - suffix.size() : 0) + suffix;
  }
  siblings.insert(name);
  isoFolders_[key] = name;
  return name;
}

bool DiscNames::Generate(const SourcePath& p, bool own, OriginalPaths* out, std::string* error) {
  *out = OriginalPaths{};
  if ((p.base.empty() && p.extension.empty()) || sessionId_.empty()) {
    *error = "VEXAEngine::GenerateJolietName - OriginalPath ended up with a zero length!";
    return false;
  }

  // The file names.
  std::string isoBase = CleanISO(p.base), isoExt;
  if (!p.extension.empty()) {
    std::string e = CleanISO(p.extension.substr(1)).substr(0, 3);
    if (!e.empty()) isoExt = "." + e;
  }
  std::string jolietBase = base::Utf16ToUtf8(CleanJoliet(p.base, false)), jolietExt;
  if (!p.extension.empty()) {
    // At most 16 units with the dot, so a name always has room.
    std::u16string e = CleanJoliet(p.extension.substr(1), false).substr(0, 15);
    if (!e.empty()) jolietExt = "." + base::Utf16ToUtf8(e);
  }
  if (isoBase.empty()) isoBase = "_";
  if (jolietBase.empty()) jolietBase = "_";
  const std::string isoFile = UniqueFileName(Kind::kISO9660, isoBase, isoExt);
  const std::string jolietFile = UniqueFileName(Kind::kJoliet, jolietBase, jolietExt);

  // The folders: "ORIGINAL", the session, the drive (none for a file made
  // for the disc), then the source folders shortened. Both trees keep the
  // same ones.
  struct Folder {
    std::string joliet;
    std::string source;  // for the ISO 9660 name
  };
  std::vector<Folder> fixed = {{"ORIGINAL", "ORIGINAL"}, {sessionId_, sessionId_}};
  if (!own) {
    if (p.drive.empty()) {
      fixed.push_back({"Root", "ROOT"});
    } else {
      fixed.push_back({p.drive + "_Drive", p.drive + "_DRIVE"});
    }
  }
  std::vector<Folder> folders;
  if (!own) {
    for (const auto& f : p.folders) {
      folders.push_back({base::Utf16ToUtf8(ShortenFolder(CleanJoliet(f, false), 61, 58)), f});
    }
  }
  // Eight levels at most: the deepest source folders are kept.
  const std::size_t room = kMaxFolders - fixed.size();
  if (folders.size() > room) folders.erase(folders.begin(), folders.end() - static_cast<long>(room));
  // 255 characters at most. The Joliet path is the longer one (an ISO 9660
  // path of eight-character names stays far below the limit).
  auto jolietLength = [&]() {
    std::size_t total = base::Utf8ToUtf16(jolietFile).size() + 1;
    for (const auto& c : fixed) total += 1 + base::Utf8ToUtf16(c.joliet).size();
    for (const auto& c : folders) total += 1 + base::Utf8ToUtf16(c.joliet).size();
    return total;
  };
  while (jolietLength() > kMaxPath && !folders.empty()) folders.erase(folders.begin());

  std::string isoPath, jolietPath;
  for (const auto* list : {&fixed, &folders}) {
    for (const Folder& f : *list) {
      isoPath += "/" + IsoFolder(isoPath, f.joliet, f.source);
      jolietPath += "/" + f.joliet;
    }
  }
  out->iso = isoPath + "/" + isoFile;
  out->joliet = jolietPath + "/" + jolietFile;
  return true;
}

std::string DiscNames::SessionIdFor(int year, int month, int day) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u%02u%02u_A", static_cast<unsigned>((year - 2000) % 100),
                static_cast<unsigned>(month), static_cast<unsigned>(day));
  return text;
}

bool DiscNames::GenerateOriginalPaths(std::string_view sourcePath, OriginalPaths* out, std::string* error) {
  return Generate(SplitSourcePath(sourcePath), false, out, error);
}

bool DiscNames::GenerateOwnOriginalPaths(std::string_view name, OriginalPaths* out, std::string* error) {
  SourcePath p;
  const std::string file(name);
  const auto dot = file.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    p.base = file;
  } else {
    p.base = file.substr(0, dot);
    p.extension = file.substr(dot);
  }
  return Generate(p, true, out, error);
}

}  // namespace vexa::engine
