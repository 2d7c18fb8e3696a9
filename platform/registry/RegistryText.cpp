// The in-memory hive and the REGEDIT4-like text form.
#include "platform/base/Text.h"
#include "platform/registry/Registry.h"
#include "platform/registry/RegistryModel_p.h"

#include <cstdio>

namespace vexa::reg::detail {

using base::EqualsNoCase;

// ---- Keys --------------------------------------------------------------

std::vector<std::string> SplitKey(std::string_view key) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : key) {
    if (c == '\\' || c == '/') {
      if (!cur.empty()) parts.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(std::move(cur));
  return parts;
}

std::string NormalKey(std::string_view key) {
  std::string out;
  for (const std::string& p : SplitKey(key)) out = JoinKey(out, p);
  return out;
}

std::string Fold(std::string_view s) { return base::ToLowerAscii(s); }

std::string JoinKey(std::string_view parent, std::string_view child) {
  if (parent.empty()) return std::string(child);
  if (child.empty()) return std::string(parent);
  return std::string(parent) + '\\' + std::string(child);
}

bool HasControlChar(std::string_view s) {
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

const NamedValue* Key::Find(std::string_view name) const {
  for (const NamedValue& v : values) {
    if (EqualsNoCase(v.name, name)) return &v;
  }
  return nullptr;
}

NamedValue* Key::Find(std::string_view name) {
  return const_cast<NamedValue*>(static_cast<const Key*>(this)->Find(name));
}

namespace {
std::string LastComponent(const std::string& path) {
  const std::size_t p = path.rfind('\\');
  return p == std::string::npos ? path : path.substr(p + 1);
}

bool IsBelow(const std::string& folded, const std::string& parentFolded) {
  if (parentFolded.empty()) return !folded.empty();
  return folded.size() > parentFolded.size() &&
         folded.compare(0, parentFolded.size(), parentFolded) == 0 &&
         folded[parentFolded.size()] == '\\';
}
}  // namespace

Key& EnsureKey(KeyMap& map, std::string_view path, const KeyMap* caseFrom) {
  std::string folded, stored;
  Key* key = nullptr;
  const std::vector<std::string> parts = SplitKey(path);
  if (parts.empty()) {
    Key& root = map[""];
    return root;
  }
  for (const std::string& part : parts) {
    folded = JoinKey(folded, Fold(part));
    auto it = map.find(folded);
    if (it == map.end()) {
      std::string name = part;
      if (caseFrom) {
        auto ref = caseFrom->find(folded);
        if (ref != caseFrom->end()) name = LastComponent(ref->second.path);
      }
      it = map.emplace(folded, Key{JoinKey(stored, name), {}}).first;
    }
    stored = it->second.path;
    key = &it->second;
  }
  return *key;
}

const Key* FindKey(const KeyMap& map, std::string_view path) {
  auto it = map.find(Fold(NormalKey(path)));
  return it == map.end() ? nullptr : &it->second;
}

bool EraseTree(KeyMap& map, std::string_view path) {
  const std::string folded = Fold(NormalKey(path));
  auto it = map.find(folded);
  if (folded.empty() || it == map.end()) return false;
  it = map.erase(it);
  // Descendants sort after "<key>\", though not always right after the key.
  for (it = map.lower_bound(folded + '\\'); it != map.end() && IsBelow(it->first, folded);) {
    it = map.erase(it);
  }
  return true;
}

std::vector<const Key*> Children(const KeyMap& map, std::string_view path) {
  const std::string folded = Fold(NormalKey(path));
  std::vector<const Key*> out;
  auto it = folded.empty() ? map.begin() : map.lower_bound(folded + '\\');
  for (; it != map.end() && (folded.empty() || IsBelow(it->first, folded)); ++it) {
    if (!IsBelow(it->first, folded)) continue;  // the root itself
    const std::size_t from = folded.empty() ? 0 : folded.size() + 1;
    if (it->first.find('\\', from) == std::string::npos) out.push_back(&it->second);
  }
  return out;
}

void PutValue(Key& key, std::string_view name, const Value& value, const Key* caseFrom) {
  if (NamedValue* existing = key.Find(name)) {
    existing->value = value;
    return;
  }
  const NamedValue* ref = caseFrom ? caseFrom->Find(name) : nullptr;
  key.values.push_back({ref ? ref->name : std::string(name), value});
}

// ---- Values as bytes -----------------------------------------------------

std::vector<BYTE> ToBytes(const Value& v) {
  std::vector<BYTE> out;
  auto addText = [&out](const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
  };
  switch (v.type) {
    case ValueType::Sz:
    case ValueType::ExpandSz: addText(v.text); break;
    case ValueType::Dword:
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(v.dword >> (8 * i)));
      break;
    case ValueType::Binary: out = v.binary; break;
    case ValueType::MultiSz:
      for (const std::string& s : v.multi) addText(s);
      out.push_back(0);
      break;
    case ValueType::None: break;
  }
  return out;
}

Status FromBytes(DWORD type, const BYTE* data, std::size_t size, Value* out) {
  const char* text = reinterpret_cast<const char*>(data);
  switch (static_cast<ValueType>(type)) {
    case ValueType::Sz:
    case ValueType::ExpandSz: {
      std::size_t n = 0;
      while (n < size && text[n] != '\0') ++n;
      *out = Value::String(std::string(text, n), static_cast<ValueType>(type));
      return Status::Ok;
    }
    case ValueType::Dword:
      if (size != 4) return Status::InvalidArgument;
      *out = Value::Dword(DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 |
                          DWORD(data[3]) << 24);
      return Status::Ok;
    case ValueType::Binary:
      *out = Value::Binary(std::vector<BYTE>(data, data + size));
      return Status::Ok;
    case ValueType::MultiSz: {
      // Items end with NUL; an empty item (or the end) ends the list.
      std::vector<std::string> items;
      std::size_t i = 0;
      while (i < size && text[i] != '\0') {
        std::size_t n = i;
        while (n < size && text[n] != '\0') ++n;
        items.emplace_back(text + i, n - i);
        i = n + 1;
      }
      *out = Value::Multi(std::move(items));
      return Status::Ok;
    }
    case ValueType::None: break;
  }
  return Status::WrongType;
}

Status CheckValue(const Value& v) {
  switch (v.type) {
    case ValueType::Sz:
    case ValueType::ExpandSz:
      return v.text.find('\0') == std::string::npos ? Status::Ok : Status::InvalidArgument;
    case ValueType::MultiSz:
      for (const std::string& s : v.multi) {
        if (s.empty() || s.find('\0') != std::string::npos) return Status::InvalidArgument;
      }
      return Status::Ok;
    case ValueType::Dword:
    case ValueType::Binary: return Status::Ok;
    case ValueType::None: break;
  }
  return Status::WrongType;
}

// ---- Parsing ---------------------------------------------------------------

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Blank or a comment.
bool IsRest(std::string_view s) {
  s = Trim(s);
  return s.empty() || s.front() == ';';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

class Parser {
 public:
  Parser(std::string_view text, std::string_view source) : text_(text), source_(source) {}

  Status Run(std::vector<Op>* ops) {
    if (text_.find('\0') != std::string_view::npos) return Fail("not a text file (NUL bytes)");
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
    bool header = false, inKey = false, deleted = false;
    Op key;
    std::string_view raw;
    while (NextLine(&raw)) {
      const std::string_view line = Trim(raw);
      if (line.empty() || line.front() == ';') continue;
      if (!header) {
        if (line != "REGEDIT4") return Fail("the first line must be REGEDIT4");
        header = true;
        continue;
      }
      if (line.front() == '[') {
        const std::size_t close = line.rfind(']');
        if (close == std::string_view::npos || !IsRest(line.substr(close + 1))) {
          return Fail("key line without ']'");
        }
        std::string_view inner = line.substr(1, close - 1);
        deleted = !inner.empty() && inner.front() == '-';
        if (deleted) inner.remove_prefix(1);
        key = Op{};
        key.kind = deleted ? Op::kDeleteKey : Op::kKey;
        key.line = lineNo_;
        if (!ParseRootedKey(inner, &key.hive, &key.path)) return Fail("unknown root key");
        if (HasControlChar(key.path)) return Fail("control character in a key name");
        if (deleted && key.path.empty()) return Fail("a hive's root cannot be deleted");
        ops->push_back(key);
        inKey = true;
        continue;
      }
      if (!inKey) return Fail("value before any key");
      if (deleted) return Fail("value under a deleted key");
      Op op = key;
      op.line = lineNo_;
      if (Status s = ParseValueLine(line, &op); s != Status::Ok) return s;
      ops->push_back(std::move(op));
    }
    return Status::Ok;
  }

 private:
  bool NextLine(std::string_view* line) {
    if (pos_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    *line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    ++lineNo_;
    return true;
  }

  Status Fail(const std::string& what) {
    SetLastError(std::string(source_) + " line " + std::to_string(lineNo_) + ": " + what);
    return Status::BadFile;
  }

  // A quoted string starting at s[0] == '"'; `rest` is what follows it.
  bool ParseQuoted(std::string_view s, std::string* out, std::string_view* rest) {
    out->clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
      if (s[i] == '"') {
        *rest = s.substr(i + 1);
        return true;
      }
      if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '"' || s[i + 1] == '\\')) ++i;
      *out += s[i];
    }
    return false;
  }

  Status ParseValueLine(std::string_view line, Op* op) {
    std::string_view rest;
    if (line.front() == '@') {
      op->name.clear();
      rest = line.substr(1);
    } else if (line.front() == '"') {
      if (!ParseQuoted(line, &op->name, &rest)) return Fail("unterminated value name");
      if (HasControlChar(op->name)) return Fail("control character in a value name");
    } else {
      return Fail("expected a key, a value or a comment");
    }
    rest = Trim(rest);
    if (rest.empty() || rest.front() != '=') return Fail("expected '=' after the value name");
    const std::string_view data = Trim(rest.substr(1));
    op->kind = Op::kSetValue;
    if (data == "-") {
      op->kind = Op::kDeleteValue;
    } else if (!data.empty() && data.front() == '"') {
      std::string text;
      if (!ParseQuoted(data, &text, &rest)) return Fail("unterminated string");
      if (!IsRest(rest)) return Fail("text after the closing quote");
      op->value = Value::String(std::move(text));
    } else if (StartsNoCase(data, "dword:")) {
      const std::string_view digits = Trim(data.substr(6));
      std::size_t n = 0;
      DWORD d = 0;
      while (n < digits.size() && HexDigit(digits[n]) >= 0) d = d << 4 | HexDigit(digits[n++]);
      if (n == 0 || n > 8 || !IsRest(digits.substr(n))) return Fail("bad dword (1 to 8 hex digits)");
      op->value = Value::Dword(d);
    } else if (StartsNoCase(data, "hex")) {
      return ParseHex(data.substr(3), op);
    } else {
      return Fail("unknown value data");
    }
    return Status::Ok;
  }

  // After "hex": "(n):aa,bb,..." or ":aa,...", continued over lines ending in '\'.
  Status ParseHex(std::string_view s, Op* op) {
    DWORD type = REG_BINARY;
    if (!s.empty() && s.front() == '(') {
      const std::size_t close = s.find(')');
      if (close == std::string_view::npos || close == 1 || close > 9) return Fail("bad hex(n) type");
      type = 0;
      for (char c : s.substr(1, close - 1)) {
        if (HexDigit(c) < 0) return Fail("bad hex(n) type");
        type = type << 4 | HexDigit(c);
      }
      s.remove_prefix(close + 1);
    }
    if (s.empty() || s.front() != ':') return Fail("expected ':' after hex");
    std::string list(Trim(s.substr(1)));
    while (!list.empty() && list.back() == '\\') {
      list.pop_back();
      std::string_view next;
      if (!NextLine(&next)) return Fail("hex list continues past the end of the text");
      list += Trim(next);
    }
    std::vector<BYTE> bytes;
    std::string_view items = Trim(list);
    while (!items.empty()) {
      const std::size_t comma = items.find(',');
      const std::string_view item = Trim(items.substr(0, comma));
      if (item.empty() || item.size() > 2 || HexDigit(item[0]) < 0 ||
          (item.size() == 2 && HexDigit(item[1]) < 0)) {
        return Fail("bad byte '" + std::string(item) + "' in a hex list");
      }
      int b = HexDigit(item[0]);
      if (item.size() == 2) b = b << 4 | HexDigit(item[1]);
      bytes.push_back(static_cast<BYTE>(b));
      if (comma == std::string_view::npos) break;
      items.remove_prefix(comma + 1);
      if (Trim(items).empty()) return Fail("hex list ends with ','");
    }
    switch (FromBytes(type, bytes.data(), bytes.size(), &op->value)) {
      case Status::Ok: return Status::Ok;
      case Status::InvalidArgument: return Fail("a hex(4) dword needs 4 bytes");
      default: return Fail("unsupported value type hex(" + std::to_string(type) + ")");
    }
  }

  std::string_view text_;
  std::string_view source_;
  std::size_t pos_ = 0;
  int lineNo_ = 0;
};

std::string Substitute(std::string s, const ApplyOptions& o) {
  auto replace = [&s](std::string_view from, const std::string& to) {
    for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) {
      s.replace(p, from.size(), to);
    }
  };
  replace("%VEXA_SHARE%", o.share);
  replace("%VEXA_DATA_HOME%", o.dataHome);
  return s;
}

}  // namespace

Status ParseText(std::string_view text, std::string_view source, std::vector<Op>* ops) {
  return Parser(text, source).Run(ops);
}

Status ApplyOps(const std::vector<Op>& ops, Layer* layer, const ApplyOptions& o) {
  for (const Op& op : ops) {
    Hive hive = op.hive;
    std::string path = op.path;
    if (hive == Hive::ClassesRoot) {
      hive = o.classesRoot;
      path = JoinKey(kClassesKey, path);
    }
    if (o.restrictHive && hive != o.onlyHive) {
      SetLastError(o.source + " line " + std::to_string(op.line) + ": key of another hive");
      return Status::BadFile;
    }
    KeyMap& map = layer->Of(hive);
    const KeyMap* caseFrom = o.caseFrom ? &o.caseFrom->Of(hive) : nullptr;
    switch (op.kind) {
      case Op::kKey: EnsureKey(map, path, caseFrom); break;
      case Op::kDeleteKey: EraseTree(map, path); break;
      case Op::kSetValue: {
        Value v = op.value;
        if (o.substitute) {
          v.text = Substitute(std::move(v.text), o);
          for (std::string& item : v.multi) item = Substitute(std::move(item), o);
        }
        PutValue(EnsureKey(map, path, caseFrom), op.name, v,
                 caseFrom ? FindKey(*caseFrom, path) : nullptr);
        break;
      }
      case Op::kDeleteValue: {
        Key& key = EnsureKey(map, path, caseFrom);
        std::erase_if(key.values, [&op](const NamedValue& v) { return EqualsNoCase(v.name, op.name); });
        break;
      }
    }
  }
  return Status::Ok;
}

// ---- Writing -----------------------------------------------------------------

const char* RootName(Hive hive) {
  switch (hive) {
    case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case Hive::CurrentUser: return "HKEY_CURRENT_USER";
    case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
  }
  return "";
}

namespace {

std::string Quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

std::string HexList(std::string_view prefix, const std::vector<BYTE>& bytes) {
  std::string out(prefix);
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
    out += buf;
    if (i + 1 < bytes.size()) out += (i % 24 == 23) ? ",\\\n  " : ",";
  }
  return out;
}

std::string FormatValue(const NamedValue& nv) {
  std::string line = nv.name.empty() ? "@=" : Quoted(nv.name) + "=";
  const Value& v = nv.value;
  switch (v.type) {
    case ValueType::Sz:
      // A string with line breaks or other control characters cannot be
      // quoted on one line; its bytes keep it intact.
      if (HasControlChar(v.text)) return HexList(line + "hex(1):", ToBytes(v));
      return line + Quoted(v.text);
    case ValueType::Dword: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v.dword));
      return line + buf;
    }
    case ValueType::ExpandSz: return HexList(line + "hex(2):", ToBytes(v));
    case ValueType::MultiSz: return HexList(line + "hex(7):", ToBytes(v));
    case ValueType::Binary: return HexList(line + "hex:", v.binary);
    case ValueType::None: break;
  }
  return HexList(line + "hex(0):", {});
}

}  // namespace

std::string FormatHive(const KeyMap& map, Hive hive) {
  std::string out = "REGEDIT4\n";
  for (const auto& [folded, key] : map) {
    const bool leaf = !folded.empty() && Children(map, folded).empty();
    if (key.values.empty() && !leaf) continue;
    out += "\n[";
    out += RootName(hive);
    if (!key.path.empty()) out += '\\' + key.path;
    out += "]\n";
    for (const NamedValue& v : key.values) out += FormatValue(v) + '\n';
  }
  return out;
}

}  // namespace vexa::reg::detail
