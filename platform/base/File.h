// Reading and writing whole files safely: every output of the system goes
// through OutputFile, every file read in full through InputFile (or
// ReadFile / WriteFileAtomic in Path.h, which use them).
//
// An output replaces what is at its path only when that is a regular file
// the caller may write (or nothing): the data goes to a temporary file beside
// it, which takes the old file's mode (and owner, where the caller may give
// it away) and is renamed over it once complete, so readers never see half a
// file and a failure leaves the old one as it was. A new file gets the
// permissions the umask allows (of 0666, or of the mode SetNewFileMode gives). A device or a pipe is written directly (a
// rename would put a regular file in its place). A symbolic link, a folder, a
// socket, a file the caller may not write, or a device or pipe of another
// user (other than the system's) is refused with a clear reason. A file of
// another user that others may write (group or world write bits) is
// replaced by one that stays the writer's, without those bits: what root
// writes is never handed to another user for anyone to change.
//
// Paths here are the operating system's: only '/' separates folders.
#pragma once

#include "platform/base/Export.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace vexa::base {

class VEXA_BASE_API OutputFile {
 public:
  OutputFile() = default;
  // An output that was never committed is discarded.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The mode a new file is made with, before the umask (0666 unless set):
  // 0600 for a file of the user's alone. A replaced file keeps its own.
  // Set before Open.
  void SetNewFileMode(mode_t mode) { newMode_ = mode & 0777; }
  // Prepares target for writing. False when it may not be written, with the
  // reason in Error(); nothing on disk has changed then.
  bool Open(std::string_view target);
  // The same, with the temporary file under a name the caller gives, in the
  // target's folder (a file left there under that name is removed first).
  bool Open(std::string_view target, std::string_view tempName);
  // Writes all of data; false with the reason in Error().
  bool Write(const void* data, std::size_t size);
  bool Write(std::string_view data) { return Write(data.data(), data.size()); }
  // Completes the output: flushed and synced (not synced inside a work
  // folder, see MarkWorkFolder), then renamed over the target (or, written
  // directly, closed). False with the reason in Error(); the
  // target is then as it was (a device or pipe keeps what reached it).
  bool Commit();
  // Drops what was written; the target stays as it was.
  void Discard();

  // The stream to write to (readable too, unless Direct()); null when not
  // open. Write through Write() for precise failure reasons; a failed write
  // through the stream is still caught by Commit().
  std::FILE* Stream() const { return stream_.get(); }
  // True when the target is a device or pipe written as it is.
  bool Direct() const { return direct_; }
  const std::string& Target() const { return target_; }
  // The temporary file being written ("" when Direct()).
  const std::string& TempPath() const { return temp_; }
  const std::string& Error() const { return error_; }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  bool Fail(std::string reason);
  bool OpenAs(std::string_view target, std::string_view tempName);

  std::unique_ptr<std::FILE, Closer> stream_;
  std::string target_;
  std::string temp_;
  std::string error_;
  bool direct_ = false;
  // What the replaced file had, given to the new one.
  bool replacing_ = false;
  mode_t newMode_ = 0666;
  mode_t mode_ = 0;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
};

// Why an OutputFile could not be opened on target ("" when it could): the
// same reasons Open gives, found without opening or creating anything, so a
// program can refuse an output before it starts its work (a pipe's reader
// is not woken).
VEXA_BASE_API std::string OutputRefusal(std::string_view target);

// A log written as the program runs cannot be renamed into place: it is
// opened where it is, for appending (or emptied first with truncate), but
// never through a symbolic link and never when what is there is anything
// but a regular file of the caller's own. Made anew with mode. The open
// descriptor, or -1 with the reason in *why (when given).
VEXA_BASE_API int OpenOwnLogFile(std::string_view path, bool truncate, mode_t mode, std::string* why = nullptr);

// Work folders: a run's own temporary folder, whose files are thrown away
// when the run ends. Files committed inside a marked folder (at any depth)
// are not synced to the device: they never outlive the run, so waiting for
// the disk buys nothing. Every other output is synced as ever. The folder is
// named by an absolute path, as the files written in it are.
VEXA_BASE_API void MarkWorkFolder(std::string_view folder);
VEXA_BASE_API void UnmarkWorkFolder(std::string_view folder);
// True when an output committed at path skips the sync: path is absolute,
// has no "." or ".." component and lies inside a marked folder.
VEXA_BASE_API bool InWorkFolder(std::string_view path);

// What kind of entry a file status describes, in words: "a regular file",
// "a folder", "a FIFO", "a character device", "a block device", "a socket",
// "a symbolic link" or "an entry of unknown kind".
VEXA_BASE_API std::string FileKindName(mode_t mode);

// Why path cannot be read as a regular file's contents: "" when it is one
// (or is missing; the caller's own check reports that), else e.g.
// "'/tmp/list' is a FIFO, not a regular file" or "'/tmp/a.jpg' cannot be
// reached: Too many levels of symbolic links". Links are followed. Nothing
// is opened, so a FIFO never blocks the check.
VEXA_BASE_API std::string NotRegularFileReason(std::string_view path);

class VEXA_BASE_API InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens path for reading. False with the reason in Error() when it is
  // missing, unreadable or a folder. Opening never waits: a FIFO without a
  // writer is opened at once (and then reads as empty).
  bool Open(std::string_view path);
  // The same, refusing everything but a regular file (a FIFO, device,
  // socket or folder) with what it is in Error().
  bool OpenRegular(std::string_view path);
  // Size of a regular file when it was opened (0 for devices and pipes).
  std::uint64_t Size() const { return size_; }
  bool IsRegular() const { return regular_; }
  // Reads exactly size bytes. False with the reason in Error() when the
  // file ends first (it shrank while it was read) or a read fails.
  bool ReadExactly(void* data, std::size_t size);
  // Reads up to size bytes; the count read, 0 at the end; -1 on failure.
  long long ReadSome(void* data, std::size_t size);
  // True when nothing follows what was read. False with the reason in
  // Error() when the file holds more (it grew while it was read).
  bool AtEnd();
  const std::string& Path() const { return path_; }
  const std::string& Error() const { return error_; }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  bool Fail(std::string reason);
  bool Open(std::string_view path, bool regularOnly);

  std::unique_ptr<std::FILE, Closer> stream_;
  std::string path_;
  std::string error_;
  std::uint64_t size_ = 0;
  std::uint64_t done_ = 0;
  bool regular_ = false;
};

}  // namespace vexa::base
