// Disc names of the users' original pictures: a source path becomes a path
// below "/ORIGINAL/<session>/<drive>/" on the disc, once with ISO 9660 names
// and once with Joliet names, its characters cleaned, long components
// shortened and file names made unique with letter suffixes.
//
// Every name generated here is valid for its file system: ISO 9660 names
// are 8.3 names of the characters A-Z, 0-9 and "_"; Joliet names are at most
// 64 UTF-16 units without control characters or * / : ; ? \. A path holds at
// most seven folders below the root (eight levels in all) and at most 255
// characters; folders beyond that are left out, the ones nearest the file
// kept. File names are unique over all names generated since the last
// Release (Joliet names compared without regard to ASCII case, as the
// systems that read them do).
//
// Source paths are either of the drive-letter form ("C:\Photos\a.jpg", the
// drive component is "C_DRIVE" / "C_Drive") or this system's own ("/home/
// ann/Photos/a.jpg", where the file-system root stands for the drive: the
// component is "ROOT" / "Root"). Relative paths are taken from the current
// folder.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::engine {

// The letters of a collision number: 1..26 "A".."Z", then "AA".."ZZ", then
// "AAA" and so on (every number has its own letters). Empty for 0.
std::string SequentialNumberToLetters(std::uint32_t n);

// The path with every character that an ISO 9660 name may not hold in its
// folders and base name replaced by "_", upper-cased; separators, the drive
// and the extension's dot are kept.
std::string ISOIze(std::string_view path);
// The same for Joliet: case kept, control characters and the characters
// . * / : ; ? and backslash (within names) replaced by "_".
std::string JolietIze(std::string_view path);

// The pieces of a source path.
struct SourcePath {
  std::string drive;                 // "C" for a drive letter, "" for this system's root
  std::vector<std::string> folders;  // outermost first
  std::string base;                  // file name without extension
  std::string extension;             // with its dot, or ""
};
SourcePath SplitSourcePath(std::string_view path);

// The disc paths of one original: the same folders and file, once with
// ISO 9660 names and once with Joliet names.
struct OriginalPaths {
  std::string iso;     // "/ORIGINAL/261209_A/C_DRIVE/PHOTOS/HOLIDAY.JPG"
  std::string joliet;  // "/ORIGINAL/261209_A/C_Drive/Photos/holiday.jpg"
};

// The name registries of an engine and the generation over them. This is
// the one place the names of an original on the disc are decided: the
// engine files the original under both paths (the Joliet path with the ISO
// path as its ISO 9660 name), and the album records them as they are, so
// every name the album gives is one the disc holds.
class DiscNames {
 public:
  // The session identifier of a day: two-digit year, month and day, "_A"
  // ("261209_A").
  static std::string SessionIdFor(int year, int month, int day);
  // The session identifier that names the second folder ("261209_A").
  void SetSessionId(std::string id) { sessionId_ = std::move(id); }
  const std::string& SessionId() const { return sessionId_; }

  // The disc paths of sourcePath, registering its file names. The two paths
  // have the same folders, level for level: each Joliet folder has one ISO
  // 9660 name, different from the names of its ISO siblings, so the file
  // system files both trees exactly as named here. False with the reason in
  // *error when no path can be made.
  bool GenerateOriginalPaths(std::string_view sourcePath, OriginalPaths* out, std::string* error);
  // The same for a file made for the disc (not a user's file): it gets a
  // name of its own ("TITLE.JPG") directly in the session folder, nothing
  // of the host's folders.
  bool GenerateOwnOriginalPaths(std::string_view name, OriginalPaths* out, std::string* error);

  // Whether a registered name (shortened base + extension) is in use, with
  // its 1-based index and collision number.
  bool isISOFileNameUsed(std::string_view name, int* index, int* collisions) const;
  bool isJolietFileNameUsed(std::string_view name, int* index, int* collisions) const;

  // Forgets every registered name.
  void Release();

  // Limits of the generated paths.
  static constexpr int kMaxFolders = 7;        // below the root
  static constexpr std::size_t kMaxPath = 255;
  static constexpr std::size_t kMaxJolietName = 64;

 private:
  enum class Kind { kISO9660, kJoliet };
  struct Registry {
    std::vector<std::string> names;       // registered names in order
    std::map<std::string, int> counts;    // registered name -> collision number
    std::set<std::string> issued;         // final names handed out (folded for Joliet)
  };
  bool Generate(const SourcePath& p, bool own, OriginalPaths* out, std::string* error);
  std::string UniqueFileName(Kind kind, const std::string& base, const std::string& extension);
  // The ISO 9660 name of a Joliet folder below an ISO parent folder: the
  // same every time, and unique among that parent's folders.
  std::string IsoFolder(const std::string& isoParent, const std::string& jolietName, const std::string& source);
  static bool IsUsed(const Registry& r, std::string_view name, int* index, int* collisions);

  std::string sessionId_;
  Registry iso_;
  Registry joliet_;
  std::map<std::string, std::string> isoFolders_;               // ISO parent + "/" + Joliet name -> ISO name
  std::map<std::string, std::set<std::string>> isoFolderNames_;  // ISO parent -> ISO folder names issued
};

}  // namespace vexa::engine
