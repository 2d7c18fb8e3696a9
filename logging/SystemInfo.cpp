// The header's block of system information on Linux. Rows kept in the
// registry come from the registry store; the operating system from uname and
// /etc/os-release; the default printer from $PRINTER or CUPS; the programs
// that open and print web pages and PDF files from the desktop's MIME
// defaults (the print and printto rows are the default application's
// "print" and "printto" actions). A row whose source is missing on this
// machine is left out.
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "logging/VexaLogger_p.h"
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"
#include "idl/ProductKey.h"

namespace vexa::logging {
namespace {

constexpr char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// A registry value as text, read into 260 bytes; a DWORD is shown in decimal.
std::optional<std::string> RegistryText(HKEY root, const char* key, const char* name) {
  HKEY k = nullptr;
  if (RegOpenKeyEx(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return std::nullopt;
  BYTE buffer[260] = {};
  DWORD size = sizeof buffer, type = 0;
  const LONG r = RegQueryValueEx(k, name, nullptr, &type, buffer, &size);
  RegCloseKey(k);
  if (r != ERROR_SUCCESS) return std::nullopt;
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    const char* text = reinterpret_cast<const char*>(buffer);
    return std::string(text, strnlen(text, size));
  }
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD v = 0;
    std::memcpy(&v, buffer, sizeof v);
    return std::to_string(v);
  }
  return std::nullopt;
}

// Output of a command, or nullopt when it could not run or failed.
std::optional<std::string> CommandOutput(const std::string& command) {
  FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!p) return std::nullopt;
  std::string out;
  char buffer[512];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0 && out.size() < 65536) {
    out.append(buffer, n);
  }
  const int status = ::pclose(p);
  if (status != 0) return std::nullopt;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
    out.pop_back();
  }
  return out;
}

bool ProgramOnPath(const char* name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

std::string OsVersionLine() {
  struct utsname u {};
  if (::uname(&u) != 0) return "";
  std::string pretty;
  std::ifstream release("/etc/os-release");
  for (std::string line; std::getline(release, line);) {
    if (line.rfind("PRETTY_NAME=", 0) == 0) {
      pretty = line.substr(12);
      if (pretty.size() >= 2 && (pretty.front() == '"' || pretty.front() == '\'')) {
        pretty = pretty.substr(1, pretty.size() - 2);
      }
    }
  }
  return std::string("OS Version:\t\t") + u.sysname + " " + " " + u.release + "   Build " +
         u.version + "   " + pretty + "\r\n";
}

std::optional<std::string> DefaultPrinter() {
  for (const char* var : {"PRINTER", "LPDEST"}) {
    const char* v = std::getenv(var);
    if (v && *v) return std::string(v);
  }
  if (!ProgramOnPath("lpstat")) return std::nullopt;
  const std::optional<std::string> out = CommandOutput("lpstat -d");
  const std::string prefix = "system default destination: ";
  if (out && out->rfind(prefix, 0) == 0) return out->substr(prefix.size());
  return std::string("default");
}

// A key of a desktop entry's main group.
std::optional<std::string> DesktopEntryValue(const std::string& file, const std::string& key) {
  std::ifstream in(file);
  if (!in) return std::nullopt;
  bool inMain = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '[') {
      inMain = line == "[Desktop Entry]";
      continue;
    }
    if (inMain && line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return std::nullopt;
}

std::string FindDesktopFile(const std::string& id) {
  std::vector<std::string> dirs;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (dataHome && *dataHome) dirs.push_back(dataHome);
  else if (home && *home) dirs.push_back(std::string(home) + "/.local/share");
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  std::stringstream list(dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share");
  for (std::string d; std::getline(list, d, ':');) {
    if (!d.empty()) dirs.push_back(d);
  }
  for (const std::string& d : dirs) {
    const std::string file = d + "/applications/" + id;
    if (::access(file.c_str(), R_OK) == 0) return file;
  }
  return "";
}

// The Exec key of an action group ("[Desktop Action print]") of a desktop
// entry; the action's name is compared without regard to case.
std::optional<std::string> DesktopActionExec(const std::string& file, const std::string& action) {
  std::ifstream in(file);
  if (!in) return std::nullopt;
  const std::string prefix = "[Desktop Action ";
  bool inAction = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      inAction = line.size() > prefix.size() && line.rfind(prefix, 0) == 0 && line.back() == ']' &&
                 base::EqualsNoCase(line.substr(prefix.size(), line.size() - prefix.size() - 1), action);
      continue;
    }
    if (inAction && line.rfind("Exec=", 0) == 0) return line.substr(5);
  }
  return std::nullopt;
}

// The rows of a document type's default application: the command that
// opens a document, and the actions that print one on the default printer
// ("print") or on a named one ("printto"). A command that cannot be read is
// replaced by what was looked up: the desktop entry, and the action in it.
std::string CommandRows(const char* kind, const std::string& id) {
  const std::string file = FindDesktopFile(id);
  const std::string where = "applications/" + id;
  std::string rows;
  const std::optional<std::string> open = file.empty() ? std::nullopt : DesktopEntryValue(file, "Exec");
  rows += std::string(kind) + " open:\t\t" + (open ? *open : where) + "\r\n";
  for (const char* action : {"printto", "print"}) {
    const std::optional<std::string> exec = file.empty() ? std::nullopt : DesktopActionExec(file, action);
    rows += std::string(kind) + " " + action + ":\t\t" +
            (exec ? *exec : where + " [Desktop Action " + action + "]") + "\r\n";
  }
  return rows;
}

}  // namespace

std::string BuildSystemInfoText() {
  std::string text;
  auto row = [&](const char* label, const std::optional<std::string>& value) {
    if (value) text += std::string(label) + *value + "\r\n";
  };
  row("VEXA download version:\t", RegistryText(HKEY_LOCAL_MACHINE, kProductKey, "DownloadVersion"));
  row("VEXA data directory:\t", RegistryText(HKEY_LOCAL_MACHINE, kProductKey, "APP_PATH_DATA"));
  row("VEXA Connect method:\t", RegistryText(HKEY_CURRENT_USER, kProductUserKey, "ConnectMethod"));
  row("VEXA proxy enabled?:\t", RegistryText(HKEY_CURRENT_USER, kProductUserKey, "ProxyEnabled"));
  row("VEXA proxy string:\t", RegistryText(HKEY_CURRENT_USER, kProductUserKey, "ProxyString"));
  row("System proxy string:\t",
      RegistryText(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer"));
  const std::string os = OsVersionLine();
  if (!os.empty()) text += os + "\r\n";
  row("Default Printer:\t\t", DefaultPrinter());

  if (ProgramOnPath("xdg-mime")) {
    if (auto html = CommandOutput("xdg-mime query default text/html"); html && !html->empty()) {
      const std::string file = FindDesktopFile(*html);
      const std::optional<std::string> name =
          file.empty() ? std::nullopt : DesktopEntryValue(file, "Name");
      text += "Web browser:\t\t" + (name ? *name : std::string("Unknown Browser")) + "\r\n";
      text += CommandRows("HTML", *html);
    }
    if (auto pdf = CommandOutput("xdg-mime query default application/pdf"); pdf && !pdf->empty()) {
      text += CommandRows("PDF", *pdf);
    }
  }
  return text;
}

}  // namespace vexa::logging
