#include "platform/scsi/SimConfig.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/base/Path.h"

namespace vexa::scsi::sim {

const std::vector<Profile>& Profiles() {
  static const std::vector<Profile> profiles = [] {
    std::vector<Profile> p;
    Profile cdrw;
    cdrw.name = "cdrw-writer";
    cdrw.vendor = "VEXASIM";
    cdrw.product = "CD-RW SIM 52X";
    cdrw.revision = "1.00";
    cdrw.writeSpeeds = {52, 48, 40, 32, 24, 16, 10, 4};
    p.push_back(cdrw);

    // An older writer: no feature list, so its write modes are found by
    // trying the write parameters page.
    Profile mmc2 = cdrw;
    mmc2.name = "mmc2-writer";
    mmc2.product = "CD-RW SIM MMC2";
    mmc2.mmc = 2;
    mmc2.writeSpeeds = {32, 24, 16, 8, 4};
    p.push_back(mmc2);

    Profile dvd = cdrw;
    dvd.name = "dvd-writer";
    dvd.product = "DVD-RW SIM 16X";
    dvd.dvdMinus = true;
    dvd.writeSpeeds = {48, 40, 32, 24, 16, 8};
    p.push_back(dvd);

    Profile dvdPlus = dvd;
    dvdPlus.name = "dvdplus-writer";
    dvdPlus.product = "DVD+RW SIM 8X";
    dvdPlus.dvdMinus = false;
    dvdPlus.dvdPlus = true;
    p.push_back(dvdPlus);

    Profile reader;
    reader.name = "reader";
    reader.vendor = "VEXASIM";
    reader.product = "CD-ROM SIM 48X";
    reader.revision = "1.00";
    reader.cdr = reader.cdrw = false;
    reader.tao = reader.sao = reader.raw = reader.burnproof = reader.testWrite = false;
    reader.maxReadSpeed = 48;
    p.push_back(reader);

    // A reader from before MMC: page 0x2A is refused, the speed lives in the
    // vendor page 0x31 and audio is read with READ CD-DA.
    Profile old = reader;
    old.name = "old-reader";
    old.vendor = "PLEXTOR";
    old.product = "CD-ROM PX-40TS";
    old.revision = "1.04";
    old.mmc = 0;
    old.vendorSpeedPage = true;
    old.readCdDa = true;
    old.maxReadSpeed = 40;
    p.push_back(old);
    return p;
  }();
  return profiles;
}

const Profile* FindProfile(const std::string& name) {
  for (const auto& p : Profiles()) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

namespace {

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  const auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool ParseInt(const std::string& text, int base, std::int64_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, base);
  if (!end || *end) return false;
  *out = v;
  return true;
}

bool ParseBool(const std::string& v, bool* out) {
  if (v == "yes" || v == "1" || v == "true" || v == "on") return *out = true, true;
  if (v == "no" || v == "0" || v == "false" || v == "off") return *out = false, true;
  return false;
}

}  // namespace

bool ParseFault(const std::string& text, Fault* fault, std::string* error) {
  std::istringstream in(text);
  Fault f;
  if (!(in >> f.kind)) {
    if (error) *error = "empty fault";
    return false;
  }
  static const char* const kKinds[] = {"check",     "busy",        "page5", "nomedium",
                                       "attention", "nogetconfig", "slow",  "hang", "gone"};
  bool known = false;
  for (const char* k : kKinds) known = known || f.kind == k;
  if (!known) {
    if (error) *error = "unknown fault kind '" + f.kind + "'";
    return false;
  }
  std::string item;
  while (in >> item) {
    const auto eq = item.find('=');
    if (eq == std::string::npos) {
      if (error) *error = "fault item without '=': " + item;
      return false;
    }
    const std::string key = item.substr(0, eq);
    const std::string value = item.substr(eq + 1);
    std::int64_t v = 0;
    bool ok = true;
    if (key == "op") {
      ok = ParseInt(value, 16, &v) && v >= 0 && v <= 0xFF;
      f.op = static_cast<int>(v);
    } else if (key == "lba") {
      ok = ParseInt(value, 10, &v);
      f.lba = v;
    } else if (key == "sense") {
      unsigned k = 0, a = 0, q = 0;
      char tail = 0;
      ok = std::sscanf(value.c_str(), "%x/%x/%x%c", &k, &a, &q, &tail) == 3 && k <= 0xFF &&
           a <= 0xFF && q <= 0xFF;
      f.key = static_cast<int>(k);
      f.asc = static_cast<int>(a);
      f.ascq = static_cast<int>(q);
    } else if (key == "count") {
      ok = ParseInt(value, 10, &v) && v >= -1;
      f.count = static_cast<int>(v);
    } else if (key == "wt") {
      ok = ParseInt(value, 16, &v);
      f.writeType = static_cast<int>(v);
    } else if (key == "dbt") {
      ok = ParseInt(value, 10, &v);
      f.blockType = static_cast<int>(v);
    } else if (key == "test") {
      ok = ParseInt(value, 10, &v);
      f.testWrite = static_cast<int>(v);
    } else if (key == "ms") {
      ok = ParseInt(value, 10, &v) && v >= 0;
      f.ms = static_cast<int>(v);
    } else {
      ok = false;
    }
    if (!ok) {
      if (error) *error = "bad fault item '" + item + "'";
      return false;
    }
  }
  if (f.kind == "check" && f.key == 0) {
    if (error) *error = "a check fault needs sense=K/AA/QQ";
    return false;
  }
  *fault = f;
  return true;
}

std::string FaultText(const Fault& f) {
  std::string s = f.kind;
  char buf[64];
  if (f.op >= 0) {
    std::snprintf(buf, sizeof buf, " op=%02x", f.op);
    s += buf;
  }
  if (f.lba >= 0) s += " lba=" + std::to_string(f.lba);
  if (f.kind == "check") {
    std::snprintf(buf, sizeof buf, " sense=%02x/%02x/%02x", f.key, f.asc, f.ascq);
    s += buf;
  }
  if (f.writeType >= 0) {
    std::snprintf(buf, sizeof buf, " wt=%x", f.writeType);
    s += buf;
  }
  if (f.blockType >= 0) s += " dbt=" + std::to_string(f.blockType);
  if (f.testWrite >= 0) s += " test=" + std::to_string(f.testWrite);
  if (f.ms) s += " ms=" + std::to_string(f.ms);
  if (f.kind == "check" || f.kind == "busy" || f.kind == "hang") s += " count=" + std::to_string(f.count);
  return s;
}

bool LoadConfig(const std::string& folder, SimConfig* config, std::string* error) {
  SimConfig c;
  std::string text;
  const std::string path = base::JoinPath(folder, "drive.conf");
  if (base::FileExists(path) && !base::ReadFile(path, &text)) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    line = Trim(line);
    if (line.empty()) continue;
    const auto eq = line.find('=');
    auto fail = [&](const std::string& why) {
      if (error) *error = path + ":" + std::to_string(number) + ": " + why;
      return false;
    };
    if (eq == std::string::npos) return fail("expected key = value");
    const std::string key = Trim(line.substr(0, eq));
    const std::string value = Trim(line.substr(eq + 1));
    std::int64_t v = 0;
    if (key == "profile") {
      if (!FindProfile(value)) return fail("unknown profile '" + value + "'");
      c.profile = value;
    } else if (key == "vendor") {
      c.vendor = value;
    } else if (key == "product") {
      c.product = value;
    } else if (key == "revision") {
      c.revision = value;
    } else if (key == "media") {
      static const char* const kMedia[] = {"none", "cdr", "cdrw", "dvdr", "dvdrw", "dvdprw"};
      bool ok = value.rfind("rom:", 0) == 0 && value.size() > 4;
      for (const char* m : kMedia) ok = ok || value == m;
      if (!ok) return fail("unknown media '" + value + "'");
      c.media = value;
    } else if (key == "autoblank") {
      if (!ParseBool(value, &c.autoBlank)) return fail("autoblank is yes or no");
    } else if (key == "throttle") {
      if (!ParseBool(value, &c.throttle)) return fail("throttle is yes or no");
    } else if (key == "capacity") {
      if (!ParseInt(value, 10, &v) || v < 1000 || v > 2300000) return fail("bad capacity");
      c.capacity = static_cast<std::int32_t>(v);
    } else if (key == "writespeeds") {
      c.writeSpeeds.clear();
      std::istringstream list(value);
      std::string item;
      while (std::getline(list, item, ',')) {
        if (!ParseInt(Trim(item), 10, &v) || v < 1 || v > 255) return fail("bad write speed '" + item + "'");
        c.writeSpeeds.push_back(static_cast<int>(v));
      }
      if (c.writeSpeeds.empty() || c.writeSpeeds.size() > 64) return fail("writespeeds needs 1 to 64 speeds");
      std::sort(c.writeSpeeds.rbegin(), c.writeSpeeds.rend());
    } else if (key == "fault") {
      Fault f;
      std::string why;
      if (!ParseFault(value, &f, &why)) return fail(why);
      c.faults.push_back(f);
    } else {
      return fail("unknown key '" + key + "'");
    }
  }
  *config = c;
  return true;
}

bool SaveConfig(const std::string& folder, const SimConfig& c, std::string* error) {
  std::ostringstream out;
  out << "# Simulated recorder (see platform/scsi/SimConfig.h)\n";
  out << "profile = " << c.profile << "\n";
  if (!c.vendor.empty()) out << "vendor = " << c.vendor << "\n";
  if (!c.product.empty()) out << "product = " << c.product << "\n";
  if (!c.revision.empty()) out << "revision = " << c.revision << "\n";
  out << "media = " << c.media << "\n";
  out << "autoblank = " << (c.autoBlank ? "yes" : "no") << "\n";
  out << "capacity = " << c.capacity << "\n";
  out << "throttle = " << (c.throttle ? "yes" : "no") << "\n";
  if (!c.writeSpeeds.empty()) {
    out << "writespeeds = ";
    for (std::size_t i = 0; i < c.writeSpeeds.size(); ++i) out << (i ? "," : "") << c.writeSpeeds[i];
    out << "\n";
  }
  for (const auto& f : c.faults) out << "fault = " << FaultText(f) << "\n";
  // The recorder's folder and files are the user's alone, like a disc in
  // the user's own drive: they hold the titles and pictures burned.
  if (!base::MakePrivateDirs(folder) || !base::WritePrivateFileAtomic(base::JoinPath(folder, "drive.conf"), out.str())) {
    if (error) *error = "cannot write " + base::JoinPath(folder, "drive.conf");
    return false;
  }
  return true;
}

}  // namespace vexa::scsi::sim
