// Paths of the operating system: only '/' separates components; '\' is an
// ordinary character of a name (a file may be called "back\slash.jpg").
// ToNativePath is for the system's own configured paths (registry values and
// built-in relative names written with '\'), never for a user's file.
// Installation folders are found from where the platform library itself lies
// (lib/vexa/ in the build tree and after install).
#pragma once

#include "platform/base/Export.h"

#include <string>
#include <string_view>

namespace vexa::base {

VEXA_BASE_API bool IsSeparator(char c);
// Turns every '\' into '/': only for the system's own configured paths.
VEXA_BASE_API std::string ToNativePath(std::string_view path);
// Joins with exactly one '/' between the parts (none added to an empty part).
VEXA_BASE_API std::string JoinPath(std::string_view a, std::string_view b);
// Everything before the last separator ("" when there is none).
VEXA_BASE_API std::string DirName(std::string_view path);
// Everything after the last separator.
VEXA_BASE_API std::string BaseName(std::string_view path);
// The extension with its dot (".jpg"), or "".
VEXA_BASE_API std::string Extension(std::string_view path);
// Ensures a trailing '/'.
VEXA_BASE_API std::string WithTrailingSeparator(std::string_view dir);

// Installation layout: PREFIX/bin, PREFIX/lib/vexa, PREFIX/share/vexa.
// VEXA_PREFIX in the environment overrides the prefix found from the library.
VEXA_BASE_API std::string InstallPrefix();
VEXA_BASE_API std::string BinDir();
VEXA_BASE_API std::string LibDir();
VEXA_BASE_API std::string ShareDir();

// The system's temporary folder: $TMPDIR, else /tmp. Ends without '/'.
VEXA_BASE_API std::string TempDirectory();
// Per-user runtime folder for sockets and locks: $XDG_RUNTIME_DIR/vexa, else
// /tmp/vexa-<uid>; created with mode 0700. Empty on failure, and then, when
// why is given, a sentence with the folder, the reason and what to do.
VEXA_BASE_API std::string RuntimeDirectory(std::string* why = nullptr);
// Makes path a folder of the caller's own that nobody else may enter:
// created with mode 0700 when missing (its parent must exist); one already
// there must be a real folder (not a symbolic link) of the caller's, and
// loses any group and world permissions. False otherwise, with nothing
// changed: another user's folder, or a link planted in its place, is never
// taken.
VEXA_BASE_API bool MakePrivateDir(std::string_view path);
// The caller's private folder <name>-<uid> in the system's temporary folder,
// made by MakePrivateDir; "" when it cannot be (another user made something
// there first).
VEXA_BASE_API std::string PrivateTempDirectory(std::string_view name);
// Per-user data folder: $XDG_DATA_HOME/vexa, else ~/.local/share/vexa (not created).
VEXA_BASE_API std::string UserDataDirectory();
// Per-user configuration folder: $XDG_CONFIG_HOME/vexa, else ~/.config/vexa.
VEXA_BASE_API std::string UserConfigDirectory();

// Creates a new empty file with a unique name "<prefix>XXXXXX<suffix>" in dir
// and returns its path, or "" on failure.
VEXA_BASE_API std::string MakeTempFile(std::string_view dir, std::string_view prefix,
                         std::string_view suffix = "");
// Creates a new empty folder with a unique name in dir; "" on failure.
VEXA_BASE_API std::string MakeTempDir(std::string_view dir, std::string_view prefix);
// Removes a file or a folder tree; true when nothing is left.
VEXA_BASE_API bool RemoveAll(std::string_view path);

// Creates a folder and its parents; true when it exists afterwards, else
// false with errno the reason the creation failed.
VEXA_BASE_API bool MakeDirs(std::string_view path);
// The same for a folder of the user's own data (logs, settings, a simulated
// recorder): every folder it creates gets mode 0700, so nobody else may
// look in; folders already there keep their mode.
VEXA_BASE_API bool MakePrivateDirs(std::string_view path);
VEXA_BASE_API bool FileExists(std::string_view path);
VEXA_BASE_API bool DirExists(std::string_view path);

// Reads or replaces a whole file (File.h has the rules). ReadFile fails on a
// folder and on a file that changes size while it is read. WriteFileAtomic
// writes a temporary file beside the target and renames it over, so readers
// never see half a file; it writes a device or pipe directly and refuses a
// symbolic link, a folder or a file the caller may not write. On failure
// both leave error (when given) with a reason that names the file.
VEXA_BASE_API bool ReadFile(std::string_view path, std::string* out, std::string* error = nullptr);
VEXA_BASE_API bool WriteFileAtomic(std::string_view path, std::string_view data, std::string* error = nullptr);
// The same for a file of the user's alone: made anew with mode 0600; a file
// replaced keeps its mode, as with WriteFileAtomic.
VEXA_BASE_API bool WritePrivateFileAtomic(std::string_view path, std::string_view data,
                                          std::string* error = nullptr);

}  // namespace vexa::base
