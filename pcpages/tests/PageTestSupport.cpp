#include "pcpages/tests/PageTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace vexa::pcpages::test {


bool HaveChecker(const std::string& program) {
  return Shell("command -v " + program + " >/dev/null") == 0;
}


std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteText(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> FilesBelow(const std::string& root, const std::vector<std::string>& suffixes) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    std::string rel = fs::relative(it->path(), root).string();
    std::string lower = rel;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    bool match = suffixes.empty();
    for (const std::string& s : suffixes) {
      if (lower.size() >= s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0) match = true;
    }
    if (match) out.push_back(rel);
  }
  std::sort(out.begin(), out.end());
  return out;
}

ScratchDir::ScratchDir(const std::string& prefix) {
  std::string tmpl = (fs::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (::mkdtemp(tmpl.data())) path_ = tmpl;
}

ScratchDir::~ScratchDir() {
  if (path_.empty()) return;
  // Give back write permission that a test took away, then remove.
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

namespace {

std::string DecodeEntities(const std::string& s) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&#91;", "["}, {"&nbsp;", "\xC2\xA0"}};
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    bool done = false;
    if (s[i] == '&') {
      for (const auto& [name, ch] : kNames) {
        const std::size_t n = std::char_traits<char>::length(name);
        if (s.compare(i, n, name) == 0) {
          out += ch;
          i += n;
          done = true;
          break;
        }
      }
    }
    if (!done) out += s[i++];
  }
  return out;
}

std::string PercentDecode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool HasId(const std::string& page, const std::string& id) {
  const std::string html = ReadText(page);
  return html.find("id=\"" + id + "\"") != std::string::npos || html.find("name=\"" + id + "\"") != std::string::npos;
}

}  // namespace

std::vector<std::string> AttributeValues(const std::string& html, const std::string& name) {
  std::vector<std::string> out;
  const std::string key = name + "=\"";
  for (std::size_t at = html.find(key); at != std::string::npos; at = html.find(key, at + key.size())) {
    if (at == 0 || !std::isspace(static_cast<unsigned char>(html[at - 1]))) continue;
    const std::size_t from = at + key.size();
    const std::size_t close = html.find('"', from);
    if (close == std::string::npos) break;
    out.push_back(DecodeEntities(html.substr(from, close - from)));
  }
  return out;
}

std::vector<std::string> StartTags(const std::string& html, const std::string& tag) {
  std::vector<std::string> out;
  const std::string open = "<" + tag;
  for (std::size_t at = html.find(open); at != std::string::npos; at = html.find(open, at + 1)) {
    const char next = at + open.size() < html.size() ? html[at + open.size()] : '\0';
    if (next != ' ' && next != '>' && next != '\n') continue;
    const std::size_t close = html.find('>', at);
    if (close == std::string::npos) break;
    out.push_back(html.substr(at, close + 1 - at));
  }
  return out;
}

std::string Attribute(const std::string& startTag, const std::string& name) {
  const auto values = AttributeValues(startTag, name);
  return values.empty() ? "" : values.front();
}

std::vector<std::pair<std::string, std::string>> Anchors(const std::string& html) {
  std::vector<std::pair<std::string, std::string>> out;
  for (std::size_t at = html.find("<a "); at != std::string::npos; at = html.find("<a ", at + 1)) {
    const std::size_t close = html.find('>', at);
    const std::size_t end = html.find("</a>", at);
    if (close == std::string::npos || end == std::string::npos) break;
    out.emplace_back(Attribute(html.substr(at, close + 1 - at), "href"),
                     Squeeze(VisibleText(html.substr(close + 1, end - close - 1))));
  }
  return out;
}

std::string ElementText(const std::string& html, const std::string& tag) {
  const std::string open = "<" + tag + ">", close = "</" + tag + ">";
  const std::size_t from = html.find(open);
  if (from == std::string::npos) return "<none>";
  const std::size_t to = html.find(close, from);
  if (to == std::string::npos) return "<none>";
  return Squeeze(html.substr(from + open.size(), to - from - open.size()));
}

std::string Squeeze(const std::string& text) {
  std::string out;
  bool blank = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool nbsp = text.compare(i, 2, "\xC2\xA0") == 0;
    if (nbsp || std::isspace(static_cast<unsigned char>(text[i]))) {
      blank = true;
      if (nbsp) ++i;
      continue;
    }
    if (blank && !out.empty()) out += ' ';
    blank = false;
    out += text[i];
  }
  return out;
}

std::vector<std::string> BrokenLinks(const std::string& root) {
  std::vector<std::string> broken;
  const fs::path rootPath = fs::canonical(root);
  for (const std::string& rel : FilesBelow(root, {".htm", ".html", ".css"})) {
    const fs::path file = rootPath / rel;
    const std::string text = ReadText(file.string());
    std::vector<std::string> links;
    for (const char* a : {"href", "src", "background"}) {
      for (std::string& v : AttributeValues(text, a)) links.push_back(v);
    }
    // url(...) of style sheets and style attributes.
    const std::string decoded = DecodeEntities(text);
    for (std::size_t at = decoded.find("url("); at != std::string::npos; at = decoded.find("url(", at + 4)) {
      const std::size_t close = decoded.find(')', at);
      if (close == std::string::npos) break;
      std::string url = decoded.substr(at + 4, close - at - 4);
      while (!url.empty() && (url.front() == ' ' || url.front() == '\'' || url.front() == '"')) url.erase(0, 1);
      while (!url.empty() && (url.back() == ' ' || url.back() == '\'' || url.back() == '"')) url.pop_back();
      links.push_back(url);
    }
    for (const std::string& link : links) {
      if (link.rfind("http:", 0) == 0 || link.rfind("https:", 0) == 0 || link.rfind("mailto:", 0) == 0 ||
          link.rfind("javascript:", 0) == 0) {
        continue;
      }
      std::string target = link, fragment;
      if (auto hash = target.find('#'); hash != std::string::npos) {
        fragment = target.substr(hash + 1);
        target.resize(hash);
      }
      if (auto q = target.find('?'); q != std::string::npos) target.resize(q);
      fs::path resolved = target.empty() ? file : (file.parent_path() / PercentDecode(target)).lexically_normal();
      std::error_code ec;
      const fs::path real = fs::weakly_canonical(resolved, ec);
      const std::string realText = real.string();
      const bool inside = !ec && realText.compare(0, rootPath.string().size(), rootPath.string()) == 0;
      if (link.empty() || !inside || !fs::is_regular_file(real, ec) ||
          (!fragment.empty() && !HasId(real.string(), fragment))) {
        broken.push_back(rel + ": " + link);
      }
    }
  }
  return broken;
}

std::string TidyReport(const std::string& page) {
  std::string out;
  const int rc = Shell("tidy -q -e '" + page + "'", &out);
  if (rc == 0 && out.empty()) return "";
  return "tidy exit " + std::to_string(rc) + ": " + out;
}

std::string XmllintReport(const std::string& page) {
  std::string out;
  const int rc = Shell("xmllint --html --noout '" + page + "'", &out);
  if (rc == 0 && out.empty()) return "";
  return "xmllint exit " + std::to_string(rc) + ": " + out;
}

std::string Browser() {
  for (const char* b : {"chromium-headless-shell", "chromium"}) {
    if (HaveChecker(b)) return b;
  }
  return "";
}

BrowserRun RunBrowser(const std::string& page, int budgetMs, const std::string& screenshot) {
  BrowserRun run;
  const std::string browser = Browser();
  if (browser.empty()) return run;
  ScratchDir profile("vexa-pcpages-browser-");
  const std::string out = profile / "dom.html";
  const std::string log = profile / "log.txt";
  std::string command = browser +
                        " --headless --no-sandbox --disable-gpu --disable-background-networking --no-first-run"
                        " --no-default-browser-check --mute-audio --user-data-dir='" +
                        profile.path() + "/profile' --enable-logging=stderr --v=0 --window-size=1024,768"
                        " --virtual-time-budget=" + std::to_string(budgetMs);
  if (!screenshot.empty()) command += " --screenshot='" + screenshot + "'";
  else command += " --dump-dom";
  command += " 'file://" + page + "' >'" + out + "' 2>'" + log + "'";
  run.status = Shell(command);
  run.dom = ReadText(out);
  std::istringstream lines(ReadText(log));
  for (std::string line; std::getline(lines, line);) {
    if (line.find(":CONSOLE") == std::string::npos) continue;
    run.console.push_back(line);
    if (line.find("Uncaught") != std::string::npos || line.find("Error") != std::string::npos ||
        line.find("Failed to load") != std::string::npos || line.find("ERR_FILE_NOT_FOUND") != std::string::npos) {
      run.errors.push_back(line);
    }
  }
  return run;
}

PageWatch WatchPage(const std::string& page, const std::string& want, int seconds) {
  PageWatch w;
  const std::string browser = Browser();
  if (browser.empty()) return w;
  const std::string script = std::string(VEXA_PAGE_SCRIPT_DIR) + "/watch_page.py";
  std::string out;
  Shell("python3 '" + script + "' " + browser + " 'file://" + page + "' '" + want + "' " + std::to_string(seconds) +
            " 2>/dev/null",
        &out);
  w.report = out;
  w.reached = out.find("\"reached\": true") != std::string::npos;
  const std::string key = "\"errors\": [";
  const std::size_t at = out.find(key);
  if (at == std::string::npos) {
    w.errors.push_back("no report: " + out);
    return w;
  }
  const std::size_t end = out.find("], \"reached\"", at);
  const std::string list = out.substr(at + key.size(), end == std::string::npos ? std::string::npos : end - at - key.size());
  if (!list.empty()) w.errors.push_back(list);
  return w;
}

void WriteSilentWav(const std::string& path) {
  const std::uint32_t rate = 8000, samples = 4000, bytes = samples * 2;
  std::string wav = "RIFF";
  auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) wav += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  auto u16 = [&](std::uint16_t v) {
    wav += static_cast<char>(v & 0xFF);
    wav += static_cast<char>(v >> 8);
  };
  u32(36 + bytes);
  wav += "WAVEfmt ";
  u32(16);
  u16(1);
  u16(1);
  u32(rate);
  u32(rate * 2);
  u16(2);
  u16(16);
  wav += "data";
  u32(bytes);
  wav.append(bytes, '\0');
  WriteText(path, wav);
}

void WritePdfPlaceholders(const std::string& albumRoot) {
  for (const char* name : {"CONTACT.PDF", "PRINTS.PDF", "INSERT.PDF"}) {
    WriteText(albumRoot + "/PRINT/PDF/" + name, "%PDF-1.4\n%%EOF\n");
  }
}

std::string VisibleText(const std::string& html) {
  std::string text;
  for (std::size_t i = 0; i < html.size();) {
    if (html[i] != '<') {
      text += html[i++];
      continue;
    }
    // Scripts and style sheets show nothing; other tags become a blank.
    for (const char* skipped : {"script", "style"}) {
      const std::string open = std::string("<") + skipped;
      if (html.compare(i, open.size(), open) == 0) {
        const std::size_t end = html.find(std::string("</") + skipped + ">", i);
        i = end == std::string::npos ? html.size() : end;
        break;
      }
    }
    const std::size_t close = html.find('>', i);
    i = close == std::string::npos ? html.size() : close + 1;
    text += ' ';
  }
  return DecodeEntities(text);
}

}  // namespace vexa::pcpages::test
