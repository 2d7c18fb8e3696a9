// The file tree and the ISO 9660 / Joliet name rules.
#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "disclib/isofs/Tree_p.h"
#include "platform/base/Text.h"

namespace isofs {

namespace {

std::string CutNarrow(const char* s) {
  return vexa::base::Utf8CutBytes(s ? std::string_view(s) : std::string_view(), File::kMaxName);
}

std::u16string CutWide(std::u16string w, std::size_t max) {
  if (w.size() > max) {
    std::size_t n = max;
    // Never keep half of a surrogate pair.
    if (n > 0 && w[n - 1] >= 0xD800 && w[n - 1] <= 0xDBFF) --n;
    w.resize(n);
  }
  return w;
}

const char* Str(const char* s) { return s ? s : ""; }

}  // namespace

// ---- I_File defaults --------------------------------------------------------

int I_File::NameEquals(const char* text) const { return std::strcmp(GetName(), Str(text)) == 0; }
int I_File::NameGreater(const char* name) const { return std::strcmp(GetName(), Str(name)) > 0; }
int I_File::NameLess(const char* name) const { return std::strcmp(GetName(), Str(name)) < 0; }

// ---- File -------------------------------------------------------------------

File::File(const char* name, DWORD size, DWORD location, WORD locationKind,
           const SYSTEMTIME* date, const char* isoName)
    : narrow_(CutNarrow(name)), iso_(Str(isoName)), iso_given_(Str(isoName)),
      location_(location), location_kind_(locationKind), size_(size) {
  wide_ = CutWide(vexa::base::Utf8ToUtf16(narrow_), kMaxName);
  if (date) date_ = *date;
}

File::File(const char16_t* name, DWORD size, DWORD location, WORD locationKind,
           const SYSTEMTIME* date, const char* isoName)
    : iso_(Str(isoName)), iso_given_(Str(isoName)), location_(location),
      location_kind_(locationKind), size_(size) {
  wide_ = CutWide(name ? std::u16string(name) : std::u16string(), kMaxName);
  narrow_ = CutNarrow(vexa::base::Utf16ToUtf8(wide_).c_str());
  if (date) date_ = *date;
}

void File::TellParentNamesChanged() {
  if (parent_dir_) parent_dir_->SetNamesChanged();
}

void File::Set_FS_Flags(DWORD flags) {
  ISOFS_TRACE("File::Set_FS_Flags") << ": Setting FS_Flags to 0x" << hex << flags << dec << endl;
  flags_ = flags;
  // Which trees the entry belongs to decides its recorded names.
  TellParentNamesChanged();
}

void File::SetParent(I_Directory* dir) {
  parent_ = dir;
  parent_dir_ = dynamic_cast<Directory*>(dir);
}

void File::SetName(const char16_t* wideName, const char* isoName) {
  wide_ = CutWide(wideName ? std::u16string(wideName) : std::u16string(), kMaxName);
  narrow_ = CutNarrow(vexa::base::Utf16ToUtf8(wide_).c_str());
  SetISOName(isoName);
  changed_ = 1;
  if (parent_dir_) parent_dir_->EntryRenamed(this);
}

void File::SetName(const char* narrowName, const char* isoName) {
  narrow_ = CutNarrow(narrowName);
  wide_ = CutWide(vexa::base::Utf8ToUtf16(narrow_), kMaxName);
  SetISOName(isoName);
  changed_ = 1;
  if (parent_dir_) parent_dir_->EntryRenamed(this);
}

void File::SetISOName(const char* name) {
  iso_given_ = Str(name);
  iso_ = isoname::Normalise(iso_given_, IsDirectory() != 0, (flags_ & FS_ISO9660_LONG) != 0);
  TellParentNamesChanged();
}

void File::SetData(DWORD size, DWORD location, WORD locationKind) {
  size_ = size;
  location_ = location;
  location_kind_ = locationKind;
  changed_ = 1;
}

void File::SetDate(const SYSTEMTIME* date) {
  date_ = date ? *date : SYSTEMTIME{};
}

namespace {
template <class Get>
auto FullPath(const I_File* f, Get get) {
  auto path = get(f);
  for (I_Directory* d = f->GetParent(); d; ) {
    I_File* df = AsFile(d);
    if (!df || !df->GetParent()) break;
    auto name = get(df);
    name.push_back('\\');
    path = name + path;
    d = df->GetParent();
  }
  path.insert(path.begin(), '\\');
  return path;
}
}  // namespace

std::u16string File::GetFullPathWide() const {
  return FullPath(this, [](const I_File* f) { return std::u16string(f->GetWideName()); });
}
std::string File::GetFullPath() const {
  return FullPath(this, [](const I_File* f) { return std::string(f->GetName()); });
}
std::string File::GetFullPathISO() const {
  return FullPath(this, [](const I_File* f) { return std::string(f->GetISOName()); });
}

void File::Print(std::ostream& out, int depth) const {
  out << std::string(static_cast<std::size_t>(depth), '\t') << narrow_ << " (" << iso_ << ")\n";
}

void PlainFile::Print(std::ostream& out, int depth) const {
  out << std::string(static_cast<std::size_t>(depth) * 3, ' ') << GetName() << "\n";
}

// ---- Directory --------------------------------------------------------------

Directory::~Directory() {
  // The structures that describe this directory go first; they must not
  // touch it afterwards. Then the entries, which the directory owns.
  SendNotifyDelete();
  listeners_.clear();
  // Taken out of the list first, so nothing reached while they go sees a
  // list that still names them.
  std::vector<std::unique_ptr<I_File>> doomed = std::move(entries_);
  entries_.clear();
  doomed.clear();
}

std::size_t Directory::LowerBound(const std::string& narrow) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), narrow,
                             [](const std::unique_ptr<I_File>& f, const std::string& n) {
                               return std::strcmp(f->GetName(), n.c_str()) < 0;
                             });
  return static_cast<std::size_t>(it - entries_.begin());
}

I_File* Directory::GetFile(const char* name) {
  const std::string n = CutNarrow(name);
  const std::size_t i = LowerBound(n);
  if (i < entries_.size() && n == entries_[i]->GetName()) return entries_[i].get();
  return nullptr;
}

I_Directory* Directory::GetDirectory(const char* name) {
  const std::string n = CutNarrow(name);
  for (std::size_t i = LowerBound(n); i < entries_.size() && n == entries_[i]->GetName(); ++i) {
    if (entries_[i]->IsDirectory()) return AsDirectory(entries_[i].get());
  }
  return nullptr;
}

I_PlainFile* Directory::GetPlainFile(const char* name) {
  const std::string n = CutNarrow(name);
  for (std::size_t i = LowerBound(n); i < entries_.size() && n == entries_[i]->GetName(); ++i) {
    if (entries_[i]->IsPlainFile()) return dynamic_cast<I_PlainFile*>(entries_[i].get());
  }
  return nullptr;
}

namespace {
// Wide look-ups go through the narrow order, then compare the wide names.
template <class Pred>
I_File* FindWide(const std::vector<std::unique_ptr<I_File>>& entries, std::size_t from,
                 const std::u16string& w, const std::string& n, Pred pred) {
  for (std::size_t i = from; i < entries.size() && n == entries[i]->GetName(); ++i) {
    if (w == entries[i]->GetWideName() && pred(entries[i].get())) return entries[i].get();
  }
  return nullptr;
}
}  // namespace

I_File* Directory::GetFile(const char16_t* name) {
  const std::u16string w = CutWide(name ? name : u"", kMaxName);
  const std::string n = CutNarrow(vexa::base::Utf16ToUtf8(w).c_str());
  return FindWide(entries_, LowerBound(n), w, n, [](I_File*) { return true; });
}

I_Directory* Directory::GetDirectory(const char16_t* name) {
  const std::u16string w = CutWide(name ? name : u"", kMaxName);
  const std::string n = CutNarrow(vexa::base::Utf16ToUtf8(w).c_str());
  I_File* f = FindWide(entries_, LowerBound(n), w, n, [](I_File* e) { return e->IsDirectory() != 0; });
  return f ? AsDirectory(f) : nullptr;
}

I_PlainFile* Directory::GetPlainFile(const char16_t* name) {
  const std::u16string w = CutWide(name ? name : u"", kMaxName);
  const std::string n = CutNarrow(vexa::base::Utf16ToUtf8(w).c_str());
  I_File* f = FindWide(entries_, LowerBound(n), w, n, [](I_File* e) { return e->IsPlainFile() != 0; });
  return f ? dynamic_cast<I_PlainFile*>(f) : nullptr;
}

I_File* Directory::GetFileISO(const char* name) {
  for (const auto& f : entries_) {
    if (std::strcmp(f->GetISOName(), Str(name)) == 0) return f.get();
  }
  return nullptr;
}

I_Directory* Directory::GetDirectoryISO(const char* name) {
  for (const auto& f : entries_) {
    if (f->IsDirectory() && std::strcmp(f->GetISOName(), Str(name)) == 0) return AsDirectory(f.get());
  }
  return nullptr;
}

I_PlainFile* Directory::GetPlainFileISO(const char* name) {
  for (const auto& f : entries_) {
    if (f->IsPlainFile() && std::strcmp(f->GetISOName(), Str(name)) == 0)
      return dynamic_cast<I_PlainFile*>(f.get());
  }
  return nullptr;
}

namespace {
// The recorded ISO name an entry takes from its flags, before collisions.
// A name given for a long-name entry is normalised like a derived one: an
// ISO 9660 identifier holds only d-characters and a version, whatever the
// caller passed as its alternate name.
std::string DeriveISOName(const I_File* f, const std::string& given) {
  const DWORD flags = f->Get_FS_Flags();
  const bool dir = f->IsDirectory() != 0;
  const std::string& source = given.empty() ? std::string(f->GetName()) : given;
  if (flags & FS_ISO9660) return isoname::Normalise(isoname::Derive83(source), dir, false);
  if (flags & FS_ISO9660_LONG) return isoname::Normalise(source, dir, true);
  return isoname::Normalise(source, dir, false);
}
}  // namespace

void Directory::AddFile(I_File* file) { AddFile(std::unique_ptr<I_File>(file)); }

void Directory::AddFile(std::unique_ptr<I_File> owned) {
  I_File* file = owned.get();
  if (!file) {
    ThrowTrel<E_NullPointer>("Directory::AddFile", "AddFile", __LINE__, "Null argument");
  }
  ISOFS_TRACE("Directory::AddFile") << " Adding file " << file->GetName() << endl;
  if (auto* f = dynamic_cast<File*>(file)) f->SetResolvedISOName(DeriveISOName(f, f->GivenISOName()));
  // Before every existing entry whose name is not less: equal names go in
  // front of the ones already there.
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(LowerBound(file->GetName())),
                  std::move(owned));
  SendNotifyChange();
  SetChanged(1);
  file->SetParent(this);
  names_changed_ = true;
}

void Directory::EntryRenamed(I_File* file) {
  // The list stays in name order, so the look-ups that search it by name
  // keep finding every entry; the renamed one goes where AddFile would put it.
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [file](const std::unique_ptr<I_File>& e) { return e.get() == file; });
  if (it == entries_.end()) return;
  std::unique_ptr<I_File> moved = std::move(*it);
  entries_.erase(it);
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(LowerBound(file->GetName())),
                  std::move(moved));
  names_changed_ = true;
}

void Directory::EraseAt(std::size_t index) {
  std::unique_ptr<I_File> f = std::move(entries_[index]);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  if (cursor_ > index) --cursor_;
  // A directory's destructor takes its own subtree with it and tells its
  // own listeners; this directory's listeners only see a change.
  f.reset();
  SetChanged(1);
}

void Directory::DeleteFile(I_File* file) {
  if (!file) ThrowTrel<E_NullPointer>("Directory::DeleteFile", "AddFile", __LINE__, "Null argument");
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].get() == file) {
      EraseAt(i);
      return;
    }
  }
  ThrowTrel<E_InvalidObject>("Directory::DeleteFile", "AddFile", __LINE__,
                             "Could not find the specified object to remove");
}

void Directory::DeleteFile(const char* name) {
  const std::string n = CutNarrow(name);
  const std::size_t i = LowerBound(n);
  if (i < entries_.size() && n == entries_[i]->GetName()) {
    EraseAt(i);
    return;
  }
  ThrowTrel<E_NoSuchDirEntry>("Directory::DeleteFile", "AddFile", __LINE__,
                              "No entry '" + n + "' in directory '" + GetName() + "'");
}

void Directory::DeleteFile(const char16_t* name) {
  I_File* f = GetFile(name);
  if (!f) {
    ThrowTrel<E_NoSuchDirEntry>("Directory::DeleteFile", "AddFile", __LINE__,
                                std::string("No (wide string) entry in directory '") + GetName() + "'");
  }
  DeleteFile(f);
}

void Directory::DeleteAll() {
  std::vector<std::unique_ptr<I_File>> doomed = std::move(entries_);
  entries_.clear();
  for (auto& f : doomed) {
    ISOFS_TRACE("Directory::DeleteAll") << " Erasing " << f->GetName() << endl;
    f.reset();
  }
  cursor_ = 0;
  names_changed_ = true;
  // The structures laid out from the old entries must not use them again.
  SendNotifyChange();
}

void Directory::First() {
  adj_iso_names();
  cursor_ = 0;
}

I_File* Directory::Next() {
  if (cursor_ >= entries_.size()) return nullptr;
  return entries_[cursor_++].get();
}

void Directory::Last() { cursor_ = entries_.size(); }

I_File* Directory::Previous() {
  if (cursor_ == 0) return nullptr;
  return entries_[--cursor_].get();
}

void Directory::SetChanged(DWORD value) {
  names_changed_ = value != 0;
  File::SetChanged(value);
  SendNotifyChange();
}

void Directory::PrintTree(std::ostream& out, int depth) const {
  out << std::string(static_cast<std::size_t>(depth) * 3, ' ') << GetName() << " -> " << GetISOName()
      << "\n";
  // The entries print with their names brought up to date, as any walk has.
  const_cast<Directory*>(this)->adj_iso_names();
  for (const auto& f : entries_) f->Print(out, depth + 1);
}

void Directory::adj_iso_names() {
  if (!names_changed_) return;

  // ISO 9660 tree: every entry takes its derived name; each group of equal
  // names is then numbered, every candidate checked against all names in use.
  std::vector<File*> iso;
  std::unordered_map<std::string, unsigned> count;
  for (const auto& e : entries_) {
    auto* f = dynamic_cast<File*>(e.get());
    if (!f) continue;
    f->SetResolvedISOName(DeriveISOName(f, f->GivenISOName()));
    if (f->Get_FS_Flags() & (FS_ISO9660 | FS_ISO9660_LONG)) {
      iso.push_back(f);
      ++count[f->GetISOName()];
    }
  }
  std::unordered_set<std::string> used;
  for (File* f : iso) {
    if (count[f->GetISOName()] == 1) used.insert(f->GetISOName());
  }
  std::unordered_map<std::string, unsigned> next;
  for (File* f : iso) {
    const std::string base = f->GetISOName();
    if (count[base] == 1) continue;
    const bool longForm = !(f->Get_FS_Flags() & FS_ISO9660);
    std::string candidate =
        isoname::NextFreeName(base, next[base], f->IsDirectory() != 0, longForm, used, f->GetName(), GetName());
    ISOFS_TRACE("Directory::adj_iso_names") << "Old name: " << base << " NEW name: " << candidate << endl;
    used.insert(candidate);
    f->SetResolvedISOName(std::move(candidate));
  }

  // Joliet tree: the first entry of a name keeps it, later ones are
  // numbered. Names are compared without case, as the readers that ignore
  // case would otherwise see two entries under one name.
  std::vector<File*> joliet;
  std::unordered_set<std::u16string> jused;
  for (const auto& e : entries_) {
    auto* f = dynamic_cast<File*>(e.get());
    if (!f) continue;
    f->SetJolietName(isoname::JolietIdentifier(f->GetWideName()));
    if (f->Get_FS_Flags() & FS_JOLIET) {
      joliet.push_back(f);
      jused.insert(isoname::JolietFoldCase(f->GetJolietName()));
    }
  }
  std::unordered_set<std::u16string> seen;
  std::unordered_map<std::u16string, unsigned> jnext;
  for (File* f : joliet) {
    const std::u16string id = f->GetJolietName();
    const std::u16string key = isoname::JolietFoldCase(id);
    if (seen.insert(key).second) continue;
    std::u16string candidate = isoname::NextFreeJolietName(id, jnext[key], jused, f->GetName(), GetName());
    jused.insert(isoname::JolietFoldCase(candidate));
    f->SetJolietName(std::move(candidate));
  }
  names_changed_ = false;
}

// ---- name rules -------------------------------------------------------------

namespace isoname {

namespace {

constexpr std::size_t kJolietMaxChars = 64;
// The longest extension (with its dot) that a cut or a number leaves in
// place; a longer "extension" is taken as part of the name.
constexpr std::size_t kJolietMaxExtension = 16;

bool IsSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Where a Joliet identifier's extension starts (its last dot), or npos when
// it has none worth keeping apart.
std::size_t JolietExtensionStart(const std::u16string& id) {
  const std::size_t dot = id.rfind(u'.');
  if (dot == std::u16string::npos || dot == 0 || id.size() - dot > kJolietMaxExtension) {
    return std::u16string::npos;
  }
  return dot;
}

// Cuts an identifier to max characters, keeping its extension.
std::u16string CutKeepingExtension(const std::u16string& id, std::size_t max) {
  if (id.size() <= max) return id;
  const std::size_t dot = JolietExtensionStart(id);
  if (dot == std::u16string::npos || id.size() - dot >= max) return id.substr(0, max);
  std::u16string out(id, 0, max - (id.size() - dot));
  out.append(id, dot, std::u16string::npos);
  return out;
}

}  // namespace

char MapDChar(char c) {
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '_') return c;
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  return '_';
}

std::size_t VersionStart(const std::string& name) {
  const std::size_t semi = name.rfind(';');
  if (semi == std::string::npos) return std::string::npos;
  for (std::size_t i = semi + 1; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return std::string::npos;
  }
  return semi;
}

std::string Flatten(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
    } else if ((b & 0xC0) != 0x80) {
      out += '_';  // lead byte (or stray byte): one '_' for the character
    } else if (i == 0) {
      out += '_';
    }
  }
  return out;
}

std::string Derive83(const std::string& sourceIn) {
  const std::string source = Flatten(sourceIn);
  std::size_t end = VersionStart(source);
  if (end == std::string::npos) end = source.size();
  std::string base;
  std::size_t i = 0;
  for (; i < end && base.size() < 8 && source[i] != '.'; ++i) base += MapDChar(source[i]);
  const std::size_t dot = end == 0 ? std::string::npos : source.rfind('.', end - 1);
  std::string ext;
  if (dot != std::string::npos && dot < end) {
    for (std::size_t j = dot + 1; j < end && ext.size() < 3 && source[j] != '.'; ++j)
      ext += MapDChar(source[j]);
  }
  // A name ending in a dot has no extension and keeps no dot. A name made
  // of dots only (or empty before its version) would leave an empty
  // identifier, which no reader accepts.
  if (base.empty() && ext.empty()) base = "_";
  return ext.empty() ? base : base + "." + ext;
}

std::string Normalise(const std::string& nameIn, bool isDirectory, bool longForm) {
  const std::string name = Flatten(nameIn);
  std::size_t n = VersionStart(name);
  if (n == std::string::npos) n = name.size();
  if (longForm) n = std::min<std::size_t>(n, isDirectory ? 32 : 30);
  std::string out;
  std::size_t lastDot = std::string::npos;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = name[i];
    if (c == '.') {
      lastDot = out.size();
      out += '.';
    } else {
      out += MapDChar(c);
    }
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '.' && (i != lastDot || isDirectory)) out[i] = '_';
  }
  // Never an empty identifier (a name that is empty, or only a version).
  if (out.empty() || out == ".") out = "_";
  if (!isDirectory) out += ";1";
  return out;
}

std::string Numbered(const std::string& isoName, unsigned k, bool isDirectory, bool longForm) {
  std::size_t end = isoName.rfind(';');
  if (end == std::string::npos) end = isoName.size();
  const std::string stemExt = isoName.substr(0, end);
  const std::size_t dot = stemExt.find('.');
  std::string stem = stemExt.substr(0, dot);
  std::string ext = dot == std::string::npos ? std::string() : stemExt.substr(dot + 1);
  const std::string suffix = "_" + std::to_string(k);
  std::size_t limit;
  if (longForm) {
    limit = isDirectory ? 32 : 30;
    if (suffix.size() >= limit) return std::string();
    // The extension gives way before the number does; one character of it
    // (and its dot) stays.
    if (!ext.empty() && ext.size() + 1 + suffix.size() > limit) {
      if (suffix.size() + 2 > limit) return std::string();
      ext.resize(limit - suffix.size() - 2);
    }
    limit -= ext.empty() ? 0 : ext.size() + 1;
  } else {
    limit = 8;
  }
  if (suffix.size() > limit) return std::string();
  if (stem.size() + suffix.size() > limit) stem.resize(limit - suffix.size());
  std::string out = stem + suffix;
  if (!ext.empty()) out += "." + ext;
  if (!isDirectory) out += ";1";
  return out;
}

std::u16string JolietIdentifier(const std::u16string& wide) {
  std::u16string id;
  id.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char16_t c = wide[i];
    if (IsSurrogate(c)) {
      // One '_' for a whole pair: UCS-2 records no character beyond the
      // Basic Multilingual Plane.
      if (c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) ++i;
      c = u'_';
    } else if (c < 0x20 || c == u'*' || c == u'/' || c == u':' || c == u';' || c == u'?' || c == u'\\') {
      c = u'_';
    }
    id += c;
  }
  id = CutKeepingExtension(id, kJolietMaxChars);
  // "." and ".." name a directory itself and its parent in every reader.
  if (id.empty()) id.assign(1, u'_');
  if (id == u"." || id == u"..") id.assign(id.size(), u'_');
  return id;
}

std::u16string JolietNumbered(const std::u16string& id, unsigned k) {
  std::u16string suffix = u"~";
  for (char c : std::to_string(k)) suffix += static_cast<char16_t>(c);
  std::u16string stem = id, ext;
  const std::size_t dot = JolietExtensionStart(id);
  if (dot != std::u16string::npos) {
    stem = id.substr(0, dot);
    ext = id.substr(dot);
  }
  if (suffix.size() + ext.size() >= kJolietMaxChars) return std::u16string();
  stem = stem.substr(0, std::min(stem.size(), kJolietMaxChars - suffix.size() - ext.size()));
  return stem + suffix + ext;
}

std::string NextFreeName(const std::string& isoName, unsigned& k, bool isDirectory, bool longForm,
                         const std::unordered_set<std::string>& used, const std::string& entry,
                         const std::string& directory) {
  for (;;) {
    std::string candidate = Numbered(isoName, ++k, isDirectory, longForm);
    if (candidate.empty()) {
      ThrowTrel<E_NoUniqueName>("Directory::adj_iso_names", "AddFile", __LINE__,
                                "No unique ISO 9660 name is left for '" + entry + "' in directory '" +
                                    directory + "'");
    }
    if (!used.count(candidate)) return candidate;
  }
}

std::u16string NextFreeJolietName(const std::u16string& id, unsigned& k,
                                  const std::unordered_set<std::u16string>& usedFolded,
                                  const std::string& entry, const std::string& directory) {
  for (;;) {
    std::u16string candidate = JolietNumbered(id, ++k);
    if (candidate.empty()) {
      ThrowTrel<E_NoUniqueName>("Directory::adj_iso_names", "AddFile", __LINE__,
                                "No unique Joliet name is left for '" + entry + "' in directory '" +
                                    directory + "'");
    }
    if (!usedFolded.count(JolietFoldCase(candidate))) return candidate;
  }
}

std::u16string JolietFoldCase(const std::u16string& id) {
  // Simple upper-case mapping of the Unicode character database, through
  // the C library's UTF-8 locale; ASCII only where that locale is missing.
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  std::u16string out(id);
  for (char16_t& c : out) {
    if (c < 0x80) {
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    } else if (utf8 && !IsSurrogate(c)) {
      const wint_t up = towupper_l(static_cast<wint_t>(c), utf8);
      if (up < 0x10000) c = static_cast<char16_t>(up);
    }
  }
  return out;
}

template <class C>
bool RecordLess(const std::basic_string<C>& a, const std::basic_string<C>& b) {
  auto split = [](const std::basic_string<C>& s) {
    std::size_t end = s.find(C(';'));
    if (end == std::basic_string<C>::npos) end = s.size();
    std::size_t dot = s.rfind(C('.'), end == 0 ? 0 : end - 1);
    if (dot == std::basic_string<C>::npos || dot >= end) dot = end;
    return std::pair<std::basic_string_view<C>, std::basic_string_view<C>>(
        std::basic_string_view<C>(s).substr(0, dot),
        dot < end ? std::basic_string_view<C>(s).substr(dot + 1, end - dot - 1)
                  : std::basic_string_view<C>());
  };
  auto padLess = [](std::basic_string_view<C> x, std::basic_string_view<C> y, int* cmp) {
    const std::size_t n = std::max(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
      const auto cx = static_cast<std::make_unsigned_t<C>>(i < x.size() ? x[i] : C(' '));
      const auto cy = static_cast<std::make_unsigned_t<C>>(i < y.size() ? y[i] : C(' '));
      if (cx != cy) {
        *cmp = cx < cy ? -1 : 1;
        return;
      }
    }
    *cmp = 0;
  };
  const auto [an, ae] = split(a);
  const auto [bn, be] = split(b);
  int cmp;
  padLess(an, bn, &cmp);
  if (cmp) return cmp < 0;
  padLess(ae, be, &cmp);
  if (cmp) return cmp < 0;
  return a < b;
}

template bool RecordLess<char>(const std::string&, const std::string&);
template bool RecordLess<char16_t>(const std::u16string&, const std::u16string&);

}  // namespace isoname

}  // namespace isofs
