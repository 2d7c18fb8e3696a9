// External Type 1 fonts: the font map, printer font metrics (PFM) and
// printer font binaries (PFB). Every read is bounded by the file's size, so
// a short or damaged file is refused, never read past its end.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "printing/pdfwriter/PdfInternal.h"

namespace vexa::pdf {
namespace {

bool ReadWhole(const std::string& path, std::string* out) {
  return base::ReadFile(base::ToNativePath(path), out);
}

// Little-endian fields, each checked against the data's end.
struct Reader {
  const std::string& d;
  bool ok = true;
  std::uint32_t U8(std::size_t at) {
    if (at + 1 > d.size()) return ok = false, 0;
    return static_cast<unsigned char>(d[at]);
  }
  std::uint32_t U16(std::size_t at) {
    if (at + 2 > d.size()) return ok = false, 0;
    return static_cast<unsigned char>(d[at]) | (static_cast<unsigned char>(d[at + 1]) << 8);
  }
  std::uint32_t U32(std::size_t at) {
    if (at + 4 > d.size()) return ok = false, 0;
    return U16(at) | (U16(at + 2) << 16);
  }
};

// The parenthesised paths of a font-map line, in order.
std::vector<std::string> Parenthesised(std::string_view line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while ((i = line.find('(', i)) != std::string_view::npos) {
    const std::size_t j = line.find(')', i + 1);
    if (j == std::string_view::npos) break;
    out.emplace_back(line.substr(i + 1, j - i - 1));
    i = j + 1;
  }
  return out;
}

std::string Trim(std::string_view s) {
  std::size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r' || s[a] == '\n')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == '\n')) --b;
  return std::string(s.substr(a, b - a));
}

}  // namespace

int ReadPFM(const std::string& path, ExternalFont* font) {
  std::string d;
  if (!ReadWhole(path, &d)) return 1;
  Reader r{d};
  if (d.size() < 143) {
    Message(kSource, 1, Printf("ReadPFM - Not a valid Type1 PFM file:  %s", path.c_str()));
    return 2;
  }
  const std::uint32_t dfSize = r.U32(2);
  const std::uint32_t dfAscent = r.U16(74);
  const std::uint32_t dfPitchAndFamily = r.U8(90);
  const std::uint32_t dfAvgWidth = r.U16(91);
  const std::uint32_t dfMaxWidth = r.U16(93);
  const std::uint32_t dfFirstChar = r.U8(95);
  const std::uint32_t dfLastChar = r.U8(96);
  const std::uint32_t dfSizeFields = r.U16(117);
  const std::uint32_t dfExtMetricsOffset = r.U32(119);
  const std::uint32_t dfExtentTable = r.U32(123);
  const std::uint32_t dfDriverInfo = r.U32(139);
  if (dfSize != 0 && dfSizeFields != 30 && dfDriverInfo >= 76 && dfDriverInfo <= 511) {
    Message(kSource, 1, Printf("ReadPFM - Not a valid Type1 PFM file:  %s", path.c_str()));
    return 2;
  }
  // The extended text metrics and the driver information must lie in the file.
  if (dfExtMetricsOffset > d.size() || d.size() - dfExtMetricsOffset < 52 || dfDriverInfo >= d.size()) {
    Message(kSource, 1, Printf("ReadPFM - Not a valid Type1 PFM file:  %s", path.c_str()));
    return 2;
  }
  const std::uint32_t etmCapHeight = r.U16(dfExtMetricsOffset + 14);
  const std::uint32_t etmXHeight = r.U16(dfExtMetricsOffset + 16);
  const std::uint32_t etmLowerCaseDescent = r.U16(dfExtMetricsOffset + 20);
  const auto etmSlant = static_cast<std::int16_t>(r.U16(dfExtMetricsOffset + 22));
  // The PostScript name: the first word of the driver text, up to 256 bytes.
  std::string name;
  for (std::size_t i = dfDriverInfo; i < d.size() && i < dfDriverInfo + 256; ++i) {
    const char c = d[i];
    if (c == 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n') break;
    name += c;
  }
  if (name.empty() || dfLastChar < dfFirstChar) {
    Message(kSource, 1, Printf("ReadPFM - Not a valid Type1 PFM file:  %s", path.c_str()));
    return 2;
  }
  const std::uint32_t count = dfLastChar - dfFirstChar + 1;
  if (count > 268 || dfExtentTable > d.size()) return 3;
  if (d.size() - dfExtentTable < count * 2) return 4;
  font->widths.assign(count, 0);
  for (std::uint32_t i = 0; i < count; ++i) font->widths[i] = static_cast<int>(r.U16(dfExtentTable + 2 * i));
  if (!r.ok) return 4;
  FontDescriptor& desc = font->descriptor;
  desc.fontName = name;
  desc.ascent = static_cast<int>(dfAscent);
  desc.capHeight = static_cast<int>(etmCapHeight);
  desc.descent = static_cast<int>(etmLowerCaseDescent);
  desc.flags = 6;
  const bool variable = (dfPitchAndFamily & 1) && dfAvgWidth != dfMaxWidth;
  desc.bbox[0] = variable ? -100 : -20;
  desc.bbox[1] = -desc.descent - 5;
  desc.bbox[2] = static_cast<int>(dfMaxWidth) + 10;
  desc.bbox[3] = static_cast<int>(dfAscent) + 5;
  desc.italicAngle = etmSlant * 0.1;
  desc.stemV = 80;
  desc.xHeight = static_cast<int>(etmXHeight);
  font->baseFont = name;
  font->firstChar = static_cast<int>(dfFirstChar);
  font->lastChar = static_cast<int>(dfLastChar);
  return 0;
}

int ReadPFB(const std::string& path, ExternalFont* font) {
  std::string d;
  if (!ReadWhole(path, &d)) {
    Message(kSource, 1, Printf("ReadPFB - Unable to open PFB file: %s", path.c_str()));
    return 1;
  }
  std::size_t at = 0;
  std::string out;
  long lengths[3] = {0, 0, 0};
  for (int section = 1; section <= 3; ++section) {
    if (d.size() - at < 6) {
      if (section == 1) Message(kSource, 1, Printf("ReadPFB - ASCII section-1 read error: %s", path.c_str()));
      else if (section == 2) Message(kSource, 1, Printf("ReadPFB - BINARY section-2 read error: %s", path.c_str()));
      else Message(kSource, 1, Printf("ReadPFB - ASCII section-3 read error: %s, %d", path.c_str(), 0));
      return 1;
    }
    const int magic = static_cast<unsigned char>(d[at]);
    const int type = static_cast<unsigned char>(d[at + 1]);
    const int expected = section == 2 ? 2 : 1;
    if (magic != 128) {
      Message(kSource, 1,
              Printf("ReadPFB - Bad magic number: %d (128 expected) in section %d of file %s", magic, section,
                     path.c_str()));
      return 1;
    }
    if (type != expected) {
      Message(kSource, 1,
              Printf("ReadPFB - Unexpected type: %d (%d expected) in section %d of file %s", type, expected,
                     section, path.c_str()));
      return 1;
    }
    Reader r{d};
    const std::uint32_t len = r.U32(at + 2);
    at += 6;
    if (len > d.size() - at) {
      if (section == 1) Message(kSource, 1, Printf("ReadPFB - ASCII section-1 read error: %s", path.c_str()));
      else if (section == 2) Message(kSource, 1, Printf("ReadPFB - BINARY section-2 read error: %s", path.c_str()));
      else Message(kSource, 1, Printf("ReadPFB - ASCII section-3 read error: %s, %d", path.c_str(), static_cast<int>(len)));
      return 1;
    }
    std::string part = d.substr(at, len);
    if (section != 2) {
      for (char& c : part) {
        if (c == '\r') c = '\n';
      }
    }
    out += part;
    lengths[section - 1] = static_cast<long>(len);
    at += len;
  }
  font->pfb = std::move(out);
  font->length1 = lengths[0];
  font->length2 = lengths[1];
  font->length3 = lengths[2];
  return 0;
}

int FindInFontMap(const std::string& mapFile, std::string_view name, std::string* pfm, std::string* pfb) {
  std::string text;
  if (!ReadWhole(mapFile, &text)) return 1;
  std::string pfmDir, pfbDir;
  std::vector<std::string> prefixes;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > 2097) line.resize(2097);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 3 || line[0] == '#' || line[0] == '%') continue;
    const std::string trimmed = Trim(line);
    if (trimmed.rfind("$Font_Directories", 0) == 0) {
      const auto paths = Parenthesised(trimmed);
      if (paths.size() < 2) return 2;
      pfmDir = paths[0];
      pfbDir = paths[1];
      continue;
    }
    if (trimmed.rfind("$Abs_Path_Prefix", 0) == 0) {
      prefixes.clear();
      for (const std::string& p : Parenthesised(trimmed)) {
        if (prefixes.size() >= 10) break;
        if (!p.empty() && p.size() <= 7) prefixes.push_back(p);
      }
      continue;
    }
    const std::size_t end = trimmed.find_first_of(" \t");
    const std::string word = trimmed.substr(0, end);
    if (word.empty()) continue;
    const auto paths = Parenthesised(trimmed);
    if (paths.size() < 2) return 2;
    if (!base::EqualsNoCase(word, name)) continue;
    auto resolve = [&](const std::string& path, const std::string& dir) {
      for (const std::string& p : prefixes) {
        if (path.rfind(p, 0) == 0) return path;
      }
      return dir.empty() ? path : dir + "\\" + path;
    };
    *pfm = resolve(paths[0], pfmDir);
    *pfb = resolve(paths[1], pfbDir);
    return 0;
  }
  return 3;
}

}  // namespace vexa::pdf
