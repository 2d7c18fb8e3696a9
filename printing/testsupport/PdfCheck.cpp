#include "printing/testsupport/PdfCheck.h"

#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <cstring>

#include "platform/base/Path.h"

namespace vexa::pdftest {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

bool HaveCheckers(const std::vector<std::string>& programs) {
  std::string missing;
  for (const std::string& p : programs) {
    if (!::vexa::testsupport::HaveProgram(p)) missing += " " + p;
  }
  if (missing.empty()) return true;
  if (CheckersRequired()) ADD_FAILURE() << "checker missing:" << missing;
  return false;
}


bool HaveFile(const std::string& path) {
  if (::access(path.c_str(), R_OK) == 0) return true;
  if (CheckersRequired()) ADD_FAILURE() << "missing " << path;
  return false;
}

::testing::AssertionResult QpdfClean(const std::string& pdf) {
  std::string out;
  const int rc = Shell("qpdf --check " + Quote(pdf), &out);
  if (rc != 0 || out.find("WARNING") != std::string::npos) {
    return ::testing::AssertionFailure() << "qpdf --check " << pdf << " (" << rc << "):\n" << out;
  }
  return ::testing::AssertionSuccess();
}

std::map<std::string, std::string> PdfInfo(const std::string& pdf, int page) {
  std::string out;
  std::string cmd = "pdfinfo -box ";
  if (page > 0) cmd += "-f " + std::to_string(page) + " -l " + std::to_string(page) + " ";
  Shell(cmd + Quote(pdf), &out);
  std::map<std::string, std::string> info;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = line.substr(0, colon);
    // With a page range, the boxes read "Page    N MediaBox".
    if (key.rfind("Page ", 0) == 0 && key.find("Box") != std::string::npos) key = key.substr(key.rfind(' ') + 1);
    std::string value = line.substr(colon + 1);
    const std::size_t a = value.find_first_not_of(' ');
    value = a == std::string::npos ? "" : value.substr(a);
    info[key] = value;
  }
  return info;
}

namespace {
double Attr(const std::string& line, const std::string& name) {
  const std::size_t at = line.find(name + "=\"");
  if (at == std::string::npos) return 0;
  return std::strtod(line.c_str() + at + name.size() + 2, nullptr);
}
std::string Unescape(std::string s) {
  const std::pair<const char*, const char*> entities[] = {
      {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}};
  for (const auto& [from, to] : entities) {
    for (std::size_t at; (at = s.find(from)) != std::string::npos;) s.replace(at, std::strlen(from), to);
  }
  return s;
}
}  // namespace

std::vector<std::vector<Word>> WordsByPage(const std::string& pdf) {
  std::string out;
  Shell("pdftotext -bbox " + Quote(pdf) + " -", &out);
  std::vector<std::vector<Word>> pages;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("<page ") != std::string::npos) pages.emplace_back();
    const std::size_t open = line.find("<word ");
    if (open == std::string::npos || pages.empty()) continue;
    const std::size_t gt = line.find('>', open);
    const std::size_t close = line.find("</word>");
    if (gt == std::string::npos || close == std::string::npos) continue;
    Word w;
    w.text = Unescape(line.substr(gt + 1, close - gt - 1));
    w.xMin = Attr(line, "xMin");
    w.yMin = Attr(line, "yMin");
    w.xMax = Attr(line, "xMax");
    w.yMax = Attr(line, "yMax");
    pages.back().push_back(w);
  }
  return pages;
}

std::vector<Word> Words(const std::string& pdf, int page) {
  auto pages = WordsByPage(pdf);
  if (page > 0) return page <= static_cast<int>(pages.size()) ? pages[page - 1] : std::vector<Word>{};
  std::vector<Word> all;
  for (auto& p : pages) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::vector<ImageRow> Images(const std::string& pdf) {
  std::string out;
  Shell("pdfimages -list " + Quote(pdf), &out);
  std::vector<ImageRow> rows;
  std::istringstream in(out);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    if (++n <= 2) continue;  // the heading and its rule
    std::istringstream f(line);
    ImageRow r{};
    int num;
    std::string type, comp, bpc, interp;
    if (!(f >> r.page >> num >> type >> r.width >> r.height >> r.color >> comp >> bpc >> r.enc >> interp >> r.object)) {
      continue;
    }
    rows.push_back(r);
  }
  return rows;
}

bool Render(const std::string& pdf, int page, int dpi, Raster* out) {
  ScratchDir dir;
  const std::string base = dir / "page";
  std::string log;
  if (Shell("pdftoppm -gray -r " + std::to_string(dpi) + " -f " + std::to_string(page) + " -l " +
                std::to_string(page) + " -singlefile " + Quote(pdf) + " " + Quote(base), &log) != 0) {
    return false;
  }
  const std::string pgm = Slurp(base + ".pgm");
  // "P5\n<w> <h>\n255\n" then the pixels.
  std::istringstream in(pgm);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  in.get();
  if (magic != "P5" || w <= 0 || h <= 0) return false;
  const std::size_t start = static_cast<std::size_t>(in.tellg());
  if (pgm.size() < start + static_cast<std::size_t>(w) * h) return false;
  out->width = w;
  out->height = h;
  out->pixels.assign(pgm.begin() + static_cast<std::ptrdiff_t>(start), pgm.begin() + static_cast<std::ptrdiff_t>(start) + static_cast<std::ptrdiff_t>(w) * h);
  return true;
}

ScratchDir::ScratchDir() { path_ = base::MakeTempDir(base::TempDirectory(), "vexa-print-"); }
ScratchDir::~ScratchDir() {
  if (!path_.empty()) base::RemoveAll(path_);
}

std::string Slurp(const std::string& path) {
  std::string s;
  base::ReadFile(path, &s);
  return s;
}

bool ProvideLocale(const std::string& name) {
  if (std::setlocale(LC_NUMERIC, name.c_str())) {
    std::setlocale(LC_NUMERIC, "C");
    return true;
  }
  // One private locale folder per test process, removed when it ends.
  static std::string dir;
  if (dir.empty()) {
    dir = base::MakeTempDir(base::TempDirectory(), "vexa-locale-");
    std::atexit([] { base::RemoveAll(dir); });
  }
  const std::size_t dot = name.find('.');
  const std::string input = name.substr(0, dot);
  const std::string charmap = dot == std::string::npos ? "UTF-8" : name.substr(dot + 1);
  if (Shell("localedef -i " + input + " -f " + charmap + " " + Quote(dir + "/" + name)) > 1) return false;
  ::setenv("LOCPATH", dir.c_str(), 1);
  const bool ok = std::setlocale(LC_NUMERIC, name.c_str()) != nullptr;
  std::setlocale(LC_NUMERIC, "C");
  return ok;
}

}  // namespace vexa::pdftest
