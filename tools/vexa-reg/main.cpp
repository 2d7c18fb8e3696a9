// vexa-reg: reads and changes the registry store from the command line.
//
//   vexa-reg query  KEY [/v NAME | /ve] [/s]
//   vexa-reg add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]
//   vexa-reg delete KEY [/v NAME | /ve] [/f]
//
// KEY is HKLM\..., HKCU\... or HKCR\... (or the long root names). The store
// is the one VEXA_REGISTRY_DIR selects. Exit code 0 on success, 1 with
// "ERROR: ..." on stderr otherwise.
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

using namespace vexa::reg;
using vexa::base::EqualsNoCase;

namespace {

const char kUsage[] =
    "usage: vexa-reg query  KEY [/v NAME | /ve] [/s]\n"
    "       vexa-reg add    KEY [/v NAME | /ve] [/t "
    "REG_SZ|REG_EXPAND_SZ|REG_DWORD|REG_BINARY|REG_MULTI_SZ]\n"
    "                       [/d DATA] [/f]\n"
    "       vexa-reg delete KEY [/v NAME | /ve] [/f]\n"
    "KEY: HKLM\\..., HKCU\\..., HKCR\\...; REG_MULTI_SZ items are separated by \\0.\n";

struct Args {
  std::string command, rootedKey;
  Hive hive = Hive::LocalMachine;
  std::string key;
  bool hasName = false;  // /v or /ve
  std::string name;
  bool recurse = false, force = false, hasType = false, hasData = false;
  std::string type = "REG_SZ", data;
};

int Error(const std::string& message) {
  std::fprintf(stderr, "ERROR: %s\n", message.c_str());
  return 1;
}

int StatusError(Status s) {
  std::string message = StatusText(s);
  if (s == Status::BadFile || s == Status::IoError) message += ": " + LastError();
  return Error(message);
}

bool IsOption(const std::string& arg, const char* name) {
  return arg.size() > 1 && (arg[0] == '/' || arg[0] == '-') && EqualsNoCase(arg.substr(1), name);
}

// Returns an error text, or "" when the arguments are usable.
std::string ParseArgs(int argc, char** argv, Args* a) {
  if (argc < 3) return "a command and a key are needed";
  a->command = vexa::base::ToLowerAscii(argv[1]);
  if (a->command != "query" && a->command != "add" && a->command != "delete") {
    return "unknown command '" + std::string(argv[1]) + "'";
  }
  a->rootedKey = argv[2];
  if (!ParseRootedKey(a->rootedKey, &a->hive, &a->key)) {
    return "the key must start with HKLM, HKCU or HKCR: " + a->rootedKey;
  }
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasNext = i + 1 < argc;
    if (IsOption(arg, "v") && hasNext && !a->hasName) {
      a->hasName = true;
      a->name = argv[++i];
    } else if (IsOption(arg, "ve") && !a->hasName) {
      a->hasName = true;
    } else if (IsOption(arg, "s") && a->command == "query") {
      a->recurse = true;
    } else if (IsOption(arg, "f") && a->command != "query") {
      a->force = true;
    } else if (IsOption(arg, "t") && hasNext && a->command == "add") {
      a->hasType = true;
      a->type = vexa::base::ToUpperAscii(argv[++i]);
    } else if (IsOption(arg, "d") && hasNext && a->command == "add") {
      a->hasData = true;
      a->data = argv[++i];
    } else {
      return "unexpected argument '" + arg + "'";
    }
  }
  return "";
}

std::string TypeName(ValueType t) {
  switch (t) {
    case ValueType::Sz: return "REG_SZ";
    case ValueType::ExpandSz: return "REG_EXPAND_SZ";
    case ValueType::Dword: return "REG_DWORD";
    case ValueType::Binary: return "REG_BINARY";
    case ValueType::MultiSz: return "REG_MULTI_SZ";
    case ValueType::None: break;
  }
  return "REG_NONE";
}

std::string DataText(const Value& v) {
  char buf[16];
  std::string out;
  switch (v.type) {
    case ValueType::Sz:
    case ValueType::ExpandSz: return v.text;
    case ValueType::Dword:
      std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(v.dword));
      return buf;
    case ValueType::Binary:
      for (BYTE b : v.binary) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
      }
      return out;
    case ValueType::MultiSz:
      for (std::size_t i = 0; i < v.multi.size(); ++i) out += (i ? "\\0" : "") + v.multi[i];
      return out;
    case ValueType::None: break;
  }
  return out;
}

void PrintValue(const std::string& name, const Value& v) {
  std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(),
              TypeName(v.type).c_str(), DataText(v).c_str());
}

std::string Display(Hive hive, const std::string& key) {
  static const char* const kRoots[] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT"};
  std::string out = kRoots[static_cast<int>(hive)];
  return key.empty() ? out : out + '\\' + key;
}

// Prints a key's values and subkeys; with `recurse`, every key below too.
Status PrintKey(Hive hive, const std::string& key, bool recurse) {
  std::vector<std::string> values, subkeys;
  if (Status s = ListValues(hive, key, &values); s != Status::Ok) return s;
  if (Status s = ListSubkeys(hive, key, &subkeys); s != Status::Ok) return s;
  std::printf("\n%s\n", Display(hive, key).c_str());
  for (const std::string& name : values) {
    Value v;
    if (Status s = GetValue(hive, key, name, &v); s != Status::Ok) return s;
    PrintValue(name, v);
  }
  for (const std::string& sub : subkeys) {
    const std::string child = key.empty() ? sub : key + '\\' + sub;
    if (recurse) {
      if (Status s = PrintKey(hive, child, true); s != Status::Ok) return s;
    } else {
      if (&sub == &subkeys.front()) std::printf("\n");
      std::printf("%s\n", Display(hive, child).c_str());
    }
  }
  return Status::Ok;
}

int Query(const Args& a) {
  if (!a.hasName) {
    const Status s = PrintKey(a.hive, a.key, a.recurse);
    if (s == Status::Ok) std::printf("\n");
    return s == Status::Ok ? 0 : StatusError(s);
  }
  Value v;
  if (Status s = GetValue(a.hive, a.key, a.name, &v); s != Status::Ok) return StatusError(s);
  // Shown as first written, not as typed.
  std::string name = a.name;
  std::vector<std::string> names;
  if (ListValues(a.hive, a.key, &names) == Status::Ok) {
    for (const std::string& n : names) {
      if (EqualsNoCase(n, a.name)) name = n;
    }
  }
  std::printf("\n%s\n", Display(a.hive, a.key).c_str());
  PrintValue(name, v);
  std::printf("\n");
  return 0;
}

bool ParseDword(const std::string& s, DWORD* out) {
  const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  const std::string digits = hex ? s.substr(2) : s;
  if (digits.empty() || digits.size() > (hex ? 8u : 10u)) return false;
  unsigned long long n = 0;
  for (char c : digits) {
    int d = -1;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    if (d < 0) return false;
    n = n * (hex ? 16 : 10) + d;
  }
  if (n > 0xFFFFFFFFull) return false;
  *out = static_cast<DWORD>(n);
  return true;
}

// Builds the value /t and /d describe; "" or an error text.
std::string MakeValue(const Args& a, Value* v) {
  if (a.type == "REG_SZ" || a.type == "REG_EXPAND_SZ") {
    *v = Value::String(a.data, a.type == "REG_SZ" ? ValueType::Sz : ValueType::ExpandSz);
  } else if (a.type == "REG_DWORD") {
    DWORD d = 0;
    if (!ParseDword(a.data, &d))
      return "invalid REG_DWORD data '" + a.data + "' (0 to 4294967295 or 0x0 to 0xffffffff)";
    *v = Value::Dword(d);
  } else if (a.type == "REG_BINARY") {
    std::vector<BYTE> bytes;
    if (a.data.size() % 2 != 0) return "invalid REG_BINARY data (an even number of hex digits)";
    for (std::size_t i = 0; i < a.data.size(); i += 2) {
      DWORD b = 0;
      if (!ParseDword("0x" + a.data.substr(i, 2), &b)) return "invalid REG_BINARY data '" + a.data + "'";
      bytes.push_back(static_cast<BYTE>(b));
    }
    *v = Value::Binary(std::move(bytes));
  } else if (a.type == "REG_MULTI_SZ") {
    std::vector<std::string> items;
    std::string rest = a.data;
    while (!rest.empty()) {
      const std::size_t sep = rest.find("\\0");
      items.push_back(rest.substr(0, sep));
      if (items.back().empty()) return "invalid REG_MULTI_SZ data (an empty item)";
      rest = sep == std::string::npos ? "" : rest.substr(sep + 2);
    }
    *v = Value::Multi(std::move(items));
  } else {
    return "invalid type '" + a.type + "'";
  }
  return "";
}

// Asks on stdin; no answer is No.
bool Confirm(const std::string& question) {
  std::printf("%s (Yes/No)? ", question.c_str());
  std::fflush(stdout);
  std::string answer;
  const bool answered = static_cast<bool>(std::getline(std::cin, answer));
  if (!answered || !isatty(STDIN_FILENO)) std::printf("\n");  // the terminal echoed none
  if (!answered) return false;
  return EqualsNoCase(answer, "y") || EqualsNoCase(answer, "yes");
}

int Cancelled() { return Error("the operation was cancelled"); }

int Add(const Args& a) {
  const bool setsValue = a.hasName || a.hasData || a.hasType;
  if (!setsValue) {
    const Status s = CreateKey(a.hive, a.key);
    if (s != Status::Ok) return StatusError(s);
  } else {
    Value v;
    if (std::string e = MakeValue(a, &v); !e.empty()) return Error(e);
    Value old;
    const Status exists = GetValue(a.hive, a.key, a.name, &old);
    if (exists == Status::BadFile) return StatusError(exists);
    const std::string shown = a.name.empty() ? "(Default)" : a.name;
    if (exists == Status::Ok && !a.force && !Confirm("Value " + shown + " exists, overwrite"))
      return Cancelled();
    if (Status s = SetValue(a.hive, a.key, a.name, v); s != Status::Ok) return StatusError(s);
  }
  std::printf("The operation completed successfully.\n");
  return 0;
}

int Delete(const Args& a) {
  Status s;
  if (a.hasName) {
    const std::string shown = a.name.empty() ? "(Default)" : a.name;
    if (!a.force && !Confirm("Delete the registry value " + shown)) return Cancelled();
    s = DeleteValue(a.hive, a.key, a.name);
    Value v;
    if (s == Status::NoValue && GetValue(a.hive, a.key, a.name, &v) == Status::Ok) {
      return Error("the value " + shown + " is a shipped default and cannot be deleted");
    }
  } else {
    if (!a.force && !Confirm("Permanently delete the registry key " + Display(a.hive, a.key))) {
      return Cancelled();
    }
    s = DeleteKeyTree(a.hive, a.key);
    if (s == Status::NoKey && KeyExists(a.hive, a.key)) {
      return Error(Display(a.hive, a.key) + " is a shipped default and cannot be deleted");
    }
  }
  if (s != Status::Ok) return StatusError(s);
  std::printf("The operation completed successfully.\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "/?" || std::string(argv[1]) == "--help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  Args a;
  if (std::string e = ParseArgs(argc, argv, &a); !e.empty()) {
    Error(e);
    std::fputs(kUsage, stderr);
    return 1;
  }
  if (a.command == "query") return Query(a);
  if (a.command == "add") return Add(a);
  return Delete(a);
}
