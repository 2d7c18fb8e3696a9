// libFuzzer target for the name rules: the input is split into names (at
// newlines) that are shortened, normalised, turned into Joliet identifiers,
// resolved against each other in one directory and laid out through a
// session master. Every result must be a name the readers take.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "disclib/isofs/I_CD_SessionMaster.h"
#include "disclib/isofs/Tree_p.h"
#include "platform/base/Text.h"

namespace {

using namespace isofs;

void Require(bool ok) {
  if (!ok) std::abort();
}

// An ISO 9660 identifier as recorded: d-characters, at most one dot for a
// file and none for a folder, ";1" after a file, within its length limit
// (8.3 for a file; a folder's 8.3 name keeps its extension after a '_').
void CheckISOName(const std::string& iso, bool dir, bool longForm) {
  std::string body = iso;
  if (!dir) {
    Require(body.size() > 2 && body.compare(body.size() - 2, 2, ";1") == 0);
    body.resize(body.size() - 2);
  }
  Require(!body.empty() && body != "." && body != "..");
  const std::size_t dot = body.find('.');
  Require(!dir || dot == std::string::npos);
  Require(dot == std::string::npos || body.find('.', dot + 1) == std::string::npos);
  Require(IsDCharacters(dot == std::string::npos ? body : body.substr(0, dot) + body.substr(dot + 1)));
  if (longForm) {
    Require(body.size() <= (dir ? 32u : 30u));
  } else if (dir) {
    Require(body.size() <= 12);
  } else {
    Require((dot == std::string::npos ? body.size() : dot) <= 8);
    Require(dot == std::string::npos || body.size() - dot - 1 <= 3);
  }
}

void CheckJolietName(const std::u16string& id) {
  Require(!id.empty() && id.size() <= 64 && id != u"." && id != u"..");
  for (char16_t c : id) {
    Require(c >= 0x20 && (c < 0xD800 || c > 0xDFFF));
    Require(c != u'*' && c != u'/' && c != u':' && c != u';' && c != u'?' && c != u'\\');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 4096) return 0;
  const uint8_t flags = data[0];
  std::vector<std::string> names;
  std::string current;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == '\n') {
      names.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  names.push_back(current);
  if (names.size() > 64) return 0;

  for (const std::string& n : names) {
    for (bool dir : {false, true}) {
      CheckISOName(isoname::Normalise(isoname::Derive83(n), dir, false), dir, false);
      CheckISOName(isoname::Normalise(n, dir, true), dir, true);
      const bool longForm = flags & 1;
      const std::string recorded = longForm ? isoname::Normalise(n, dir, true)
                                            : isoname::Normalise(isoname::Derive83(n), dir, false);
      for (unsigned k : {1u, 9u, 10u, 1234567u, 12345678u, 4000000000u}) {
        const std::string numbered = isoname::Numbered(recorded, k, dir, longForm);
        if (!numbered.empty()) CheckISOName(numbered, dir, longForm);
      }
    }
    const std::u16string id = isoname::JolietIdentifier(vexa::base::Utf8ToUtf16(n));
    CheckJolietName(id);
    for (unsigned k : {1u, 99u, 4000000000u}) {
      const std::u16string numbered = isoname::JolietNumbered(id, k);
      if (!numbered.empty()) CheckJolietName(numbered);
    }
  }

  // One directory holding them all: every recorded name unique in its tree.
  const DWORD format = (flags & 1) ? (FS_ISO9660_LONG | FS_JOLIET) : (FS_ISO9660 | FS_JOLIET);
  Directory root("root", "");
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool dir = (flags >> (1 + i % 7)) & 1;
    std::unique_ptr<File> f;
    if (dir) {
      f = std::make_unique<Directory>(names[i].c_str(), "");
    } else {
      f = std::make_unique<PlainFile>(names[i].c_str(), 0, 0, 0, nullptr, "");
    }
    f->Set_FS_Flags(format);
    root.AddFile(std::move(f));
  }
  root.First();
  std::set<std::string> iso;
  std::set<std::u16string> joliet;
  while (I_File* f = root.Next()) {
    CheckISOName(f->GetISOName(), f->IsDirectory(), flags & 1);
    CheckJolietName(f->GetJolietName());
    Require(iso.insert(f->GetISOName()).second);
    Require(joliet.insert(isoname::JolietFoldCase(f->GetJolietName())).second);
  }

  // The same names as disc paths, laid out and fetched.
  std::unique_ptr<I_CD_SessionMaster> dm(CreateDM(nullptr));
  dm->SetSessionParms(0, 0, format | ((flags & 0x80) ? FS_XA : 0) | ((flags & 1) ? 0 : FS_ISO9660));
  try {
    for (const std::string& n : names) {
      dm->AddPath((u"\\D\\" + DiscPathEntry(vexa::base::Utf8ToUtf16(n))).c_str(), 100, 0, 0, nullptr, nullptr);
    }
    dm->SetStructureOffset(19);
    const DWORD end = dm->GetStructureEnd();
    std::vector<BYTE> sectors(static_cast<std::size_t>(end) * kSectorSize);
    dm->GetSessionSectors(0, end, sectors.data());
  } catch (const E_InvalidPath&) {
    // An empty name is no file name; the manager says so.
  }
  return 0;
}
