// The file-system questions of the orchestrator: where a path's volume is
// mounted and whether it is removable, whether a file lies on the disc in
// the CD writer, the free space of the work directory, and removing a
// directory tree without following links out of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexa::core {

// True when path equals folder or lies below it (compared by components).
bool IsBelow(std::string_view path, std::string_view folder);

// The mount point whose volume holds path (the longest mount point that is a
// prefix of it; "/" when none is), and the device mounted there.
std::string MountPointOf(std::string_view path);
std::string MountSourceOf(std::string_view mountPoint);

// True when path lies on the disc in the writer whose drive path is
// drivePath: below the drive path itself when that is a folder (a simulated
// recorder keeps its disc there), or below a mount point of the drive's
// device.
bool OnWriterDisc(std::string_view path, std::string_view drivePath);

// Where a file on removable media is looked for again: the mount point of a
// removable or optical device (or the writer's own disc), or the top of a
// removable-media mount folder (/media/<user>/<volume>, /run/media/...).
// "" when path is on a fixed disk.
std::string RemovableLocation(std::string_view path, std::string_view drivePath);

// Bytes available to the user on the volume of dir.
bool FreeBytesAvailable(const std::string& dir, std::uint64_t* bytes);

}  // namespace vexa::core
