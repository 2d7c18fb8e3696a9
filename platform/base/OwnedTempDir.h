// Temporary folders that name their owner. Each holds a small file with the
// owning process's id and start time, so that a folder left behind by a
// process that was killed outright can be recognised and removed by the
// next run, while the folders of running processes stay untouched (a reused
// process id does not count as the owner: its start time differs).
#pragma once

#include <string>
#include <string_view>

#include "platform/base/Export.h"

namespace vexa::base {

// The name of the owner file inside an owned folder.
inline constexpr char kTempOwnerFile[] = ".vexa-owner";

// Removes the abandoned folders "<prefix>*" in dir (see RemoveAbandonedTempDirs),
// then creates a new empty folder "<prefix>XXXXXX" there with its owner file
// and remembers it for RemoveOwnTempDirs. "" on failure (errno tells why).
VEXA_BASE_API std::string MakeOwnedTempDir(std::string_view dir, std::string_view prefix);

// Removes every folder "<prefix>XXXXXX" directly in dir that this user's
// program made and whose owner file names a process that no longer runs.
// Only what MakeOwnedTempDir makes is taken: a real folder of the effective
// user with mode 0700, named by mkdtemp (six letters or digits after the
// prefix), holding an owner file that is a regular file of that user.
// Anything else (another user's folder in a shared /tmp, a folder opened to
// others, a symbolic link, a folder without a readable owner file or of a
// live owner) is left alone; nothing is ever removed through a symbolic
// link. A folder whose removal was cut short still holds its owner file
// (it goes last) and is removed like any other. Answers how many were
// removed.
VEXA_BASE_API int RemoveAbandonedTempDirs(std::string_view dir, std::string_view prefix);

// Removes the folders this process made with MakeOwnedTempDir that still
// exist, are still this user's (mode 0700) and still name this process as
// their owner. For a program that must end now.
VEXA_BASE_API void RemoveOwnTempDirs();

// Removes a folder tree without following symbolic links (a link is removed,
// never what it points to); read-only folders are made writable so their
// entries can go. In each folder an owner file goes after everything else.
// True when nothing is left. The one remover of work folders.
VEXA_BASE_API bool RemoveTreeNoFollow(std::string_view path);

// The start time of a process in clock ticks since boot, 0 when unknown.
VEXA_BASE_API unsigned long long ProcessStartTime(int pid);

}  // namespace vexa::base
