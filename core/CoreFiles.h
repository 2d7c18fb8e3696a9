// The file-system questions of the orchestrator: where a path's volume is
// mounted and whether it is removable, whether a file lies on the disc in
// the CD writer, the free space of the work directory, and removing a
// directory tree without following links out of it; and the parts of the
// disc's own pages (README.TXT, HOMEPAGE.HTM) that hold for a disc.
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

// What a disc holds beside its photos, as its own pages tell it.
struct DiscFacts {
  bool titlePicture = false;  // the photo show starts with a title picture
  bool music = false;         // the show and the pages play music
};

// A page of the include folder keeps what holds only for some discs in
// blocks: "[TITLE]" through "[/TITLE]" for a disc with a title picture,
// "[MUSIC]" through "[/MUSIC]" for one with music, "[NOTITLE]" and
// "[NOMUSIC]" for the others. HasDiscBlocks tells whether text has any;
// KeepDiscBlocks keeps the blocks that hold for the disc without their
// markers and drops the others whole. A marker without its end is dropped
// alone.
bool HasDiscBlocks(std::string_view text);
std::string KeepDiscBlocks(std::string_view text, const DiscFacts& facts);

}  // namespace vexa::core
