#include "pcpages/TemplatePage.h"

#include <errno.h>
#include <locale.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "platform/base/Time.h"

namespace vexa::pcpages {

namespace {

void CopyMessage(char (&buffer)[512], std::string_view message) {
  const std::string cut = base::Utf8CutBytes(message, sizeof buffer - 1);
  std::memcpy(buffer, cut.data(), cut.size());
  buffer[cut.size()] = '\0';
}

std::string Bracketed(std::string_view name, std::string_view suffix = {}) {
  std::string s;
  s.reserve(name.size() + suffix.size() + 2);
  s += '[';
  s += name;
  s += suffix;
  s += ']';
  return s;
}

// A value as it goes into the page at an occurrence of its tag.
std::string Escaped(std::string_view value, TagKind kind) {
  switch (kind) {
    case TagKind::kValue: return EscapeHtml(value, true);
    case TagKind::kText: return EscapeHtml(value, false);
    case TagKind::kRaw: break;
  }
  return std::string(value);
}

// Fills "[name]" with the escaped value and "[name:JS]" (an occurrence inside
// a JavaScript string literal of an attribute) with the value made safe for
// the script first and for the attribute then.
void ApplyTag(std::string& text, std::string_view name, std::string_view value, TagKind kind) {
  ReplaceAll(text, Bracketed(name), Escaped(value, kind));
  const std::string js = Bracketed(name, ":JS");
  if (text.find(js) != std::string::npos) ReplaceAll(text, js, Escaped(EscapeJs(value), kind));
}

// Keeps or removes a block: with `keep` only its two markers go.
void ResolveBlock(std::string& text, std::string_view name, bool keep) {
  if (keep) {
    ReplaceAll(text, Bracketed(name), "");
    ReplaceAll(text, Bracketed("/" + std::string(name)), "");
  } else {
    DeleteBlocks(text, name);
  }
}

bool IsReadOnly(const std::string& path, const struct stat& st) {
  // Without any write bit a file or folder counts as read-only even for the
  // superuser, as the read-only attribute does.
  if ((st.st_mode & 0222) == 0) return true;
  const int need = S_ISDIR(st.st_mode) ? (W_OK | X_OK) : W_OK;
  return access(path.c_str(), need) != 0;
}

}  // namespace

HtmlPageException::HtmlPageException(std::string_view message) { CopyMessage(message_, message); }
RepTagException::RepTagException(std::string_view message) { CopyMessage(message_, message); }

RepTag::RepTag(std::string_view n, std::string_view v, TagKind k) : name(n), value(v), kind(k) {
  if (name.empty()) throw RepTagException("Invalid tag");
}

bool RepTagList::Add(std::string_view name, std::string_view value, bool raw) {
  if (name.empty()) return false;
  tags_.emplace_back(name, value, raw ? TagKind::kRaw : TagKind::kValue);
  return true;
}

bool RepTagList::AddText(std::string_view name, std::string_view text) {
  if (name.empty()) return false;
  tags_.emplace_back(name, text, TagKind::kText);
  return true;
}

bool RepTagList::AddNumber(std::string_view name, long long number) {
  return Add(name, std::to_string(number));
}

// ---- Text helpers ---------------------------------------------------------------

std::string EscapeHtml(std::string_view text, bool protectTags) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '[':
        if (protectTags) {
          out += "&#91;";
          break;
        }
        [[fallthrough]];
      default: out += c;
    }
  }
  return out;
}

std::string EscapeJs(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\'': out += "\\'"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '<': out += "\\x3C"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
          // U+2028 and U+2029 end a line inside older script engines.
          out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
          i += 2;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string LongDate(const base::Clock& clock) { return base::LocaleDate(clock.LocalNow(), true); }

void DeleteBlocks(std::string& text, std::string_view name) {
  const std::string open = Bracketed(name);
  const std::string close = Bracketed("/" + std::string(name));
  for (;;) {
    const std::size_t start = text.find(open);
    const std::size_t end = text.find(close);
    if (start == std::string::npos || end == std::string::npos || start >= end) return;
    text.erase(start, end + close.size() - start);
  }
}

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
  if (what.empty()) return;
  std::size_t at = text.find(what);
  if (at == std::string::npos) return;
  std::string out;
  out.reserve(text.size() + (with.size() > what.size() ? with.size() - what.size() : 0) * 4);
  std::size_t from = 0;
  while (at != std::string::npos) {
    out.append(text, from, at - from);
    out += with;
    from = at + what.size();
    at = text.find(what, from);
  }
  out.append(text, from, std::string::npos);
  text.swap(out);
}

// ---- Template page -------------------------------------------------------------

TemplatePage::TemplatePage(std::string_view templateText) : template_(templateText) {}

std::string TemplatePage::Render(const RepTagList& tags, const std::vector<std::string>& drop) const {
  std::string text = template_;
  ResolveBlock(text, "HTMLTITLELINE", !title_.empty());
  ApplyTag(text, "HTMLTITLE", title_, TagKind::kValue);
  ResolveBlock(text, "DATELINE", !dateLine_.empty());
  if (text.find("[DATE]") != std::string::npos) {
    ApplyTag(text, "DATE", LongDate(clock_ ? *clock_ : base::Clock::Real()), TagKind::kText);
  }
  for (const std::string& name : drop) {
    if (name.empty()) continue;
    DeleteBlocks(text, name);
    ReplaceAll(text, Bracketed(name), "");
  }
  for (const RepTag& tag : tags) ApplyTag(text, tag.name, tag.value, tag.kind);
  return text;
}

int TemplatePage::Write(std::string_view rawPath, const RepTagList& tags, const std::vector<std::string>& drop,
                        bool overwrite) const {
  if (rawPath.empty()) return kEmptyPath;
  // Separators become "/" and doubled ones collapse; a leading "/" stays, so
  // an absolute path remains absolute.
  const std::string path = NormaliseLink(rawPath);

  struct stat st {};
  const bool exists = stat(path.c_str(), &st) == 0;
  if (exists && !overwrite) return kFileExists;
  if (exists && S_ISDIR(st.st_mode)) return kPathIsFolder;
  if (exists && IsReadOnly(path, st)) return kFileReadOnly;

  // The folders on the way: the deepest one that exists is where the page
  // (or its first missing folder) is created.
  const bool absolute = path.front() == '/';
  std::string parent = base::DirName(path);
  if (parent.empty()) parent = absolute ? "/" : ".";
  std::string deepest = absolute ? "/" : ".";
  bool fileOnTheWay = false;
  std::string prefix = absolute ? "/" : "";
  for (std::size_t from = 0; from <= parent.size();) {
    std::size_t slash = parent.find('/', from);
    if (slash == std::string::npos) slash = parent.size();
    if (slash > from) {
      if (!prefix.empty() && prefix.back() != '/') prefix += '/';
      prefix.append(parent, from, slash - from);
      struct stat ps {};
      if (stat(prefix.c_str(), &ps) != 0) break;
      if (!S_ISDIR(ps.st_mode)) {
        fileOnTheWay = true;
        break;
      }
      deepest = prefix;
    }
    from = slash + 1;
  }
  struct stat ds {};
  if (stat(deepest.c_str(), &ds) == 0 && IsReadOnly(deepest, ds)) return kFolderReadOnly;
  if (fileOnTheWay) return kFileOnTheWay;
  if (!base::DirExists(parent) && !base::MakeDirs(parent)) return kCannotMakeFolder;
  if (!base::WriteFileAtomic(path, Render(tags, drop))) return kCannotWrite;
  return kWritten;
}

// ---- Paths ---------------------------------------------------------------------------

std::string NormaliseLink(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == '\\') c = '/';
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  return out;
}

std::string RelativePrefix(std::string_view folder) {
  std::string f(folder);
  f += '/';
  std::size_t lead = 0;
  while (lead < f.size() && (f[lead] == '/' || f[lead] == '\\')) ++lead;
  const std::string normal = NormaliseLink(std::string_view(f).substr(lead));
  std::string out;
  for (char c : normal) {
    if (c == '/') out += "../";
  }
  return out;
}

std::string FileNameOf(std::string_view path) {
  const std::size_t at = path.find_last_of("/\\");
  return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

std::string UrlPath(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  const std::string normal = NormaliseLink(path);
  out.reserve(normal.size());
  for (char ch : normal) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F || c == '"' || c == '#' || c == '%' || c == '?' || c == '<' || c == '>' ||
        c == '`' || c == '{' || c == '}' || c == '|' || c == '^') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace vexa::pcpages
