// The engine's files: its work directory and the folders in it, and the
// shared file routines (a file's modified time, removing a tree, temporary
// names, the free-space check).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/EngineResult.h"
#include "platform/base/WinTypes.h"

namespace vexa::engine {

// A work directory "zzzXXXXXX" and its folders, each a path below the root.
struct WorkFolders {
  std::string root;
  std::string vexaxml;   // the manifests
  std::string vexaprt;   // the print front's work
  std::string vexaod;    // the pictures' folders below
  std::string content;   // album-resolution stills
  std::string thumb;     // 160x160 thumbnails
  std::string webres;    // 640x640 copies
  std::string original;  // copies of the originals
  std::string vexapc;    // the PC pages
  // Where the page server writes: the pages' folder + "/ORLDISC/ALBUM_A/".
  std::string pageMirror;

  bool ready() const { return !root.empty() && !vexapc.empty(); }
};

// Makes a fresh work directory inside `parent` and every folder of it, by
// absolute paths (the process's working directory is never changed). The
// failures are those of SetTempDirectory: code 200 while the root is made,
// 2000 for a folder in it. On a folder's failure *out holds the root and
// the folders made so far.
Result MakeWorkFolders(std::string_view parent, WorkFolders* out);

// The last-write time of a file as local calendar time. Failures are
// recorded under "IVEXAEngine::GetModifiedSystemTime" (code 103).
Result GetModifiedSystemTime(std::string_view srcFile, SYSTEMTIME* out);

// Deletes startPath and everything below it (symbolic links are removed,
// never followed). Only an empty path fails.
Result CleanDirectory(std::string_view startPath);

// A new empty file "sdktXXXXXX" in the work directory; its path in *out.
// Failures are recorded under "VEXAEngine::GenerateTemporaryFileName".
Result GenerateTemporaryFileName(const std::string& workRoot, std::string* out);

// False when the volume of the work directory (the system's temporary
// folder before there is one) has fewer free bytes than the limit; true
// when it has enough or cannot be asked.
bool HasTempSpace(const std::string& workRoot, std::uint64_t limit);

// "<error>: <the system's text>\n", or "" for 0.
std::string FormatLastSystemError(int error);

}  // namespace vexa::engine
