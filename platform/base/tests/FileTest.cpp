// Outputs replace only what they may, inputs notice when they change.
#include "platform/base/File.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "platform/base/Path.h"
#include "tests/support/Waits.h"

using namespace vexa::base;

namespace {

constexpr uid_t kOtherUser = 12345;
constexpr uid_t kNobody = 65534;

std::string Read(const std::string& path) {
  std::string s;
  ReadFile(path, &s);
  return s;
}

struct stat Stat(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st;
}

// Runs fn in a child process that has given up root for user uid; the
// child's exit status is fn's answer (0 = true). -1 when the process could
// not be made.
int AsUser(uid_t uid, const std::function<bool()>& fn) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0) _exit(3);
    _exit(fn() ? 0 : 1);
  }
  const vexa::testsupport::ChildEnd end = vexa::testsupport::WaitChild(pid, "the child of user " + std::to_string(uid));
  if (!end.ended) ADD_FAILURE() << end.failure;
  return end.ended && WIFEXITED(end.status) ? WEXITSTATUS(end.status) : -1;
}

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir("", "vexa-output-");
    ASSERT_FALSE(dir_.empty());
    chmod(dir_.c_str(), 0755);  // other users may look in
  }
  void TearDown() override { RemoveAll(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // Only the names given are in the folder: no temporary file was left.
  void ExpectOnly(std::vector<std::string> names) const {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) found.push_back(e.path().filename());
    std::sort(found.begin(), found.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(found, names);
  }

  std::string dir_;
};

// What is at the target decides: a file is replaced, anything a rename would
// destroy or misdirect is refused, and nothing is left behind.
TEST_F(OutputFileTest, TargetsThatAreRefused) {
  WriteFileAtomic(Path("photo.jpg"), "PHOTO");
  symlink("photo.jpg", Path("link").c_str());
  symlink("nowhere", Path("dangling").c_str());
  MakeDirs(Path("folder"));
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", Path("socket").c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  struct Case {
    std::string target;
    std::string reason;
  } cases[] = {
      {Path("link"), "'" + Path("link") + "' is a symbolic link; it is not replaced (name the file it points to)"},
      {Path("dangling"), "'" + Path("dangling") + "' is a symbolic link; it is not replaced (name the file it points to)"},
      {Path("folder"), "'" + Path("folder") + "' is a folder"},
      {Path("socket"), "'" + Path("socket") + "' is neither a file, a device nor a pipe"},
      {Path("no/such/folder.iso"), "cannot create a file in '" + Path("no/such") + "' for '" +
                                       Path("no/such/folder.iso") + "': No such file or directory"},
      {"", "no output file was named"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(WriteFileAtomic(c.target, "NEW", &error)) << c.target;
    EXPECT_EQ(error, c.reason);
  }
  close(sock);
  EXPECT_TRUE(S_ISLNK(Stat(Path("link")).st_mode));
  EXPECT_TRUE(S_ISLNK(Stat(Path("dangling")).st_mode));
  EXPECT_EQ(Read(Path("photo.jpg")), "PHOTO");
  ExpectOnly({"photo.jpg", "link", "dangling", "folder", "socket"});
}

TEST_F(OutputFileTest, NewFilesFollowTheUmaskAndReplacementsKeepTheMode) {
  const mode_t old = umask(027);
  ASSERT_TRUE(WriteFileAtomic(Path("new.iso"), "one"));
  umask(old);
  EXPECT_EQ(Stat(Path("new.iso")).st_mode & 07777, 0640u);

  WriteFileAtomic(Path("kept"), "old");
  chmod(Path("kept").c_str(), 0604);
  std::string error;
  ASSERT_TRUE(WriteFileAtomic(Path("kept"), "new", &error)) << error;
  EXPECT_EQ(Read(Path("kept")), "new");
  EXPECT_EQ(Stat(Path("kept")).st_mode & 07777, 0604u);
  ExpectOnly({"new.iso", "kept"});
}

// A pipe is written as it is, while its reader reads.
TEST_F(OutputFileTest, PipesAreWrittenDirectly) {
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0644), 0);
  std::string received;
  // The reader reads once the pipe has something to say: data, or the end
  // after a writer came and went (a reader that read before the writer came
  // would see the end at once, and the writer's open would then wait for
  // ever). It gives up at the bound, so a writer that never comes cannot
  // hold the test.
  std::jthread reader([&] {
    const int fd = ::open(Path("pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    const vexa::testsupport::Deadline deadline;
    while (vexa::testsupport::PollUntil(fd, POLLIN, deadline) > 0) {
      char buffer[256];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      received.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
  });
  OutputFile out;
  ASSERT_TRUE(out.Open(Path("pipe"))) << out.Error();
  EXPECT_TRUE(out.Direct());
  EXPECT_TRUE(out.Write("through the pipe"));
  EXPECT_TRUE(out.Commit()) << out.Error();
  reader.join();
  EXPECT_EQ(received, "through the pipe");
  EXPECT_TRUE(S_ISFIFO(Stat(Path("pipe")).st_mode));
  ExpectOnly({"pipe"});
}

// Device nodes (made here: root only) are written, never replaced; a
// device's write error is the call's failure.
TEST_F(OutputFileTest, DevicesAreWrittenDirectly) {
  if (geteuid() != 0) GTEST_SKIP() << "making device nodes needs root";
  ASSERT_EQ(mknod(Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  ASSERT_EQ(mknod(Path("full").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
  std::string error;
  EXPECT_TRUE(WriteFileAtomic(Path("null"), "gone", &error)) << error;
  EXPECT_FALSE(WriteFileAtomic(Path("full"), std::string(100000, 'x'), &error));
  EXPECT_EQ(error, "cannot write '" + Path("full") + "': No space left on device");
  for (const char* n : {"null", "full"}) EXPECT_TRUE(S_ISCHR(Stat(Path(n)).st_mode)) << n;
  ExpectOnly({"null", "full"});
}

// A file the caller may not write stays as it is, even in a folder the
// caller may write (where a rename would replace it and change its owner).
TEST_F(OutputFileTest, FilesTheCallerMayNotWriteAreRefused) {
  if (geteuid() != 0) {
    WriteFileAtomic(Path("readonly"), "KEEP");
    chmod(Path("readonly").c_str(), 0444);
    std::string error;
    EXPECT_FALSE(WriteFileAtomic(Path("readonly"), "NEW", &error));
    EXPECT_EQ(error, "'" + Path("readonly") + "' may not be written: Permission denied");
    EXPECT_EQ(Read(Path("readonly")), "KEEP");
    GTEST_SKIP() << "another user's file needs root to set up";
  }
  // The folder belongs to the user who writes; the photos do not.
  ASSERT_EQ(chown(dir_.c_str(), kNobody, kNobody), 0);
  WriteFileAtomic(Path("readonly"), "KEEP");
  ASSERT_EQ(chown(Path("readonly").c_str(), kNobody, kNobody), 0);
  chmod(Path("readonly").c_str(), 0444);
  WriteFileAtomic(Path("theirs.jpg"), "THEIRS");
  ASSERT_EQ(chown(Path("theirs.jpg").c_str(), kOtherUser, kOtherUser), 0);
  chmod(Path("theirs.jpg").c_str(), 0644);
  for (const char* name : {"readonly", "theirs.jpg"}) {
    const std::string target = Path(name);
    const int refused = AsUser(kNobody, [&] {
      std::string error;
      return !WriteFileAtomic(target, "NEW", &error) &&
             error == "'" + target + "' may not be written: Permission denied";
    });
    EXPECT_EQ(refused, 0) << name;
  }
  EXPECT_EQ(Read(Path("readonly")), "KEEP");
  EXPECT_EQ(Read(Path("theirs.jpg")), "THEIRS");
  EXPECT_EQ(Stat(Path("theirs.jpg")).st_uid, kOtherUser);
  ExpectOnly({"readonly", "theirs.jpg"});
}

// Root may write another user's file; the replacement keeps its owner and mode.
TEST_F(OutputFileTest, ReplacementsKeepTheOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  WriteFileAtomic(Path("theirs.jpg"), "THEIRS");
  ASSERT_EQ(chown(Path("theirs.jpg").c_str(), kOtherUser, kOtherUser), 0);
  chmod(Path("theirs.jpg").c_str(), 02640);
  std::string error;
  ASSERT_TRUE(WriteFileAtomic(Path("theirs.jpg"), "NEW", &error)) << error;
  const struct stat st = Stat(Path("theirs.jpg"));
  EXPECT_EQ(st.st_uid, kOtherUser);
  EXPECT_EQ(st.st_gid, kOtherUser);
  EXPECT_EQ(st.st_mode & 07777, 02640u);
  EXPECT_EQ(Read(Path("theirs.jpg")), "NEW");
}

// Root replacing another user's file gives it back only when nobody else
// may change what root wrote; else the file stays root's, without the group
// and world write bits. It is never written in place: a hard link to the
// old file keeps the old contents.
TEST_F(OutputFileTest, ReplacementsOthersMayWriteStayTheWriters) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  const struct {
    mode_t mode;
    uid_t owner;
    mode_t after;
  } cases[] = {
      {0666, 0, 0644}, {0664, 0, 0644}, {0646, 0, 0644}, {0620, 0, 0600},
      {0644, kOtherUser, 0644}, {0600, kOtherUser, 0600}, {04755, kOtherUser, 04755},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode));
    const std::string target = Path("theirs.wav");
    WriteFileAtomic(target, "THEIRS");
    ASSERT_EQ(chown(target.c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(chmod(target.c_str(), c.mode), 0);
    ASSERT_EQ(link(target.c_str(), Path("kept").c_str()), 0);
    std::string error;
    ASSERT_TRUE(WriteFileAtomic(target, "ROOT'S", &error)) << error;
    const struct stat st = Stat(target);
    EXPECT_EQ(st.st_uid, c.owner);
    EXPECT_EQ(st.st_mode & 07777, c.after);
    EXPECT_EQ(Read(target), "ROOT'S");
    EXPECT_EQ(Read(Path("kept")), "THEIRS");
    unlink(Path("kept").c_str());
    unlink(target.c_str());
  }
}

// A pipe or device is written as it is only when it is the writer's or the
// system's: another user's FIFO would hand them the output. OutputRefusal
// says so without opening it (no reader is woken, nothing waits).
TEST_F(OutputFileTest, AnotherUsersFifoIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "a FIFO of another user needs root to set up";
  ASSERT_EQ(mkfifo(Path("theirs").c_str(), 0666), 0);
  ASSERT_EQ(chown(Path("theirs").c_str(), kOtherUser, kOtherUser), 0);
  const std::string reason = "'" + Path("theirs") + "' is a FIFO of another user; it is not written";
  EXPECT_EQ(OutputRefusal(Path("theirs")), reason);
  std::string error;
  EXPECT_FALSE(WriteFileAtomic(Path("theirs"), "SECRET", &error));
  EXPECT_EQ(error, reason);
  EXPECT_TRUE(S_ISFIFO(Stat(Path("theirs")).st_mode));
  // The same refusals as Open, for what Open accepts nothing.
  symlink("theirs", Path("link").c_str());
  EXPECT_EQ(OutputRefusal(Path("link")),
            "'" + Path("link") + "' is a symbolic link; it is not replaced (name the file it points to)");
  EXPECT_EQ(OutputRefusal(Path("new.wav")), "");
  ExpectOnly({"theirs", "link"});
}

// A log is written where it is, but never through a link, into something
// that is not a file, or into another user's file.
TEST_F(OutputFileTest, LogsAreOpenedOnlyWhenTheyAreTheCallersFiles) {
  std::string why;
  const int fd = OpenOwnLogFile(Path("log.txt"), false, 0640, &why);
  ASSERT_GE(fd, 0) << why;
  EXPECT_EQ(write(fd, "one\n", 4), 4);
  close(fd);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(Stat(Path("log.txt")).st_mode & 0777, 0640u & ~mask);
  const int again = OpenOwnLogFile(Path("log.txt"), false, 0640, &why);
  ASSERT_GE(again, 0) << why;
  EXPECT_EQ(write(again, "two\n", 4), 4);
  close(again);
  EXPECT_EQ(Read(Path("log.txt")), "one\ntwo\n");
  const int emptied = OpenOwnLogFile(Path("log.txt"), true, 0640, &why);
  ASSERT_GE(emptied, 0) << why;
  close(emptied);
  EXPECT_EQ(Read(Path("log.txt")), "");

  WriteFileAtomic(Path("victim"), "VICTIM");
  symlink("victim", Path("link.txt").c_str());
  MakeDirs(Path("folder"));
  struct Case {
    std::string path;
    std::string reason;
  } cases[] = {
      {Path("link.txt"), "'" + Path("link.txt") + "' is a symbolic link; no log is written through it"},
      {Path("folder"), "cannot open '" + Path("folder") + "': Is a directory"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OpenOwnLogFile(c.path, true, 0644, &why), -1) << c.path;
    EXPECT_EQ(why, c.reason);
  }
  EXPECT_EQ(Read(Path("victim")), "VICTIM");
  if (geteuid() != 0) GTEST_SKIP() << "another user's file needs root to set up";
  WriteFileAtomic(Path("theirs.txt"), "THEIRS");
  ASSERT_EQ(chown(Path("theirs.txt").c_str(), kOtherUser, kOtherUser), 0);
  EXPECT_EQ(OpenOwnLogFile(Path("theirs.txt"), true, 0644, &why), -1);
  EXPECT_EQ(why, "'" + Path("theirs.txt") + "' belongs to another user; no log is written into it");
  EXPECT_EQ(Read(Path("theirs.txt")), "THEIRS");
}

// An output given up (or never committed) leaves the target as it was.
TEST_F(OutputFileTest, DiscardedOutputsLeaveNothing) {
  WriteFileAtomic(Path("photo.jpg"), "PHOTO");
  {
    OutputFile out;
    ASSERT_TRUE(out.Open(Path("photo.jpg")));
    out.Write("half");
  }
  OutputFile out;
  ASSERT_TRUE(out.Open(Path("photo.jpg")));
  out.Write("half");
  out.Discard();
  EXPECT_EQ(Read(Path("photo.jpg")), "PHOTO");
  ExpectOnly({"photo.jpg"});
}

// A temporary file under a name the caller gives (the log's "LOG.tmp"): a
// stale one is replaced, and the name stays inside the target's folder.
TEST_F(OutputFileTest, GivenTemporaryNames) {
  WriteFileAtomic(Path("log.txt"), "old log");
  WriteFileAtomic(Path("LOG.tmp"), "stale");
  OutputFile out;
  ASSERT_TRUE(out.Open(Path("log.txt"), "LOG.tmp")) << out.Error();
  EXPECT_EQ(out.TempPath(), Path("LOG.tmp"));
  out.Write("new log");
  ASSERT_TRUE(out.Commit()) << out.Error();
  EXPECT_EQ(Read(Path("log.txt")), "new log");
  OutputFile bad;
  EXPECT_FALSE(bad.Open(Path("log.txt"), "../LOG.tmp"));
  ExpectOnly({"log.txt"});
}

// Which outputs skip the sync: only those inside a marked work folder, named
// so that the text cannot lead out of it.
TEST_F(OutputFileTest, OnlyFilesInsideAMarkedWorkFolderSkipTheSync) {
  const std::string work = Path("zzz1");
  MarkWorkFolder(work + "/");
  const struct {
    std::string path;
    bool skipped;
  } cases[] = {
      {work + "/a.jpg", true},
      {work + "/vexaod/content/IM_A0001.JPG", true},
      {work, false},                       // the folder itself is no file in it
      {work + "0/a.jpg", false},           // a sibling whose name begins alike
      {Path("a.jpg"), false},              // beside it
      {work + "/../a.jpg", false},         // leads out again
      {work + "/./a.jpg", false},
      {"zzz1/a.jpg", false},               // relative
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(InWorkFolder(c.path), c.skipped) << c.path;

  // Written and replaced there as anywhere else.
  ASSERT_TRUE(MakeDirs(work));
  WriteFileAtomic(work + "/a.jpg", "old");
  chmod((work + "/a.jpg").c_str(), 0640);
  OutputFile out;
  ASSERT_TRUE(out.Open(work + "/a.jpg")) << out.Error();
  out.Write("new");
  ASSERT_TRUE(out.Commit()) << out.Error();
  EXPECT_EQ(Read(work + "/a.jpg"), "new");
  struct stat st {};
  ASSERT_EQ(stat((work + "/a.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  UnmarkWorkFolder(work);
  EXPECT_FALSE(InWorkFolder(work + "/a.jpg"));
}

class InputFileTest : public OutputFileTest {};

TEST_F(InputFileTest, RefusalsNameTheFile) {
  MakeDirs(Path("folder"));
  std::string data, error;
  EXPECT_FALSE(ReadFile(Path("folder"), &data, &error));
  EXPECT_EQ(error, "'" + Path("folder") + "' is a folder, not a file");
  EXPECT_FALSE(ReadFile(Path("missing"), &data, &error));
  EXPECT_EQ(error, "cannot open '" + Path("missing") + "': No such file or directory");
  // Files that tell no size are read to their end.
  ASSERT_TRUE(ReadFile("/proc/self/status", &data, &error)) << error;
  EXPECT_NE(data.find("Umask:"), std::string::npos);
}

// Opening never waits for a FIFO's writer; where only a regular file will
// do, a FIFO, a device, a socket or a folder is refused with what it is.
TEST_F(InputFileTest, OnlyRegularFilesWhereAFileIsAskedFor) {
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  MakeDirs(Path("folder"));
  WriteFileAtomic(Path("photo.jpg"), "PHOTO");
  const struct {
    std::string path;
    std::string error;
  } cases[] = {
      {Path("pipe"), "'" + Path("pipe") + "' is a FIFO, not a regular file"},
      {"/dev/null", "'/dev/null' is a character device, not a regular file"},
      {Path("folder"), "'" + Path("folder") + "' is a folder, not a file"},
      {Path("photo.jpg"), ""},
  };
  for (const auto& c : cases) {
    InputFile in;
    EXPECT_EQ(in.OpenRegular(c.path), c.error.empty()) << c.path;
    EXPECT_EQ(in.Error(), c.error);
    const std::string reason = NotRegularFileReason(c.path);
    if (c.path == Path("folder")) {
      EXPECT_EQ(reason, "'" + Path("folder") + "' is a folder, not a regular file");
    } else {
      EXPECT_EQ(reason, c.error);
    }
  }
  EXPECT_EQ(NotRegularFileReason(Path("missing")), "");
  // A loop of symbolic links is named as one, not taken for a missing file.
  ASSERT_EQ(symlink(Path("loop.jpg").c_str(), Path("loop.jpg").c_str()), 0);
  EXPECT_EQ(NotRegularFileReason(Path("loop.jpg")),
            "'" + Path("loop.jpg") + "' cannot be reached: Too many levels of symbolic links");
  // Without a writer a FIFO opens at once and reads as empty.
  InputFile fifo;
  ASSERT_TRUE(fifo.Open(Path("pipe"))) << fifo.Error();
  EXPECT_FALSE(fifo.IsRegular());
  char c;
  EXPECT_EQ(fifo.ReadSome(&c, 1), 0);
  // A name with a line break and bytes that are not UTF-8 is shown escaped.
  const std::string odd = Path("a\nb\xE9");
  InputFile missing;
  EXPECT_FALSE(missing.Open(odd));
  EXPECT_EQ(missing.Error(), "cannot open '" + Path("a\\nb\\xE9") + "': No such file or directory");
}

// A file that shrinks or grows between the look at its size and the end of
// the read fails, naming the file, instead of giving zeros or a cut copy.
TEST_F(InputFileTest, FilesThatChangeWhileReadFail) {
  WriteFileAtomic(Path("shrinks"), std::string(5000, 's'));
  InputFile in;
  ASSERT_TRUE(in.Open(Path("shrinks")));
  EXPECT_EQ(in.Size(), 5000u);
  ASSERT_EQ(truncate(Path("shrinks").c_str(), 1000), 0);
  std::string buf(5000, '\0');
  EXPECT_FALSE(in.ReadExactly(buf.data(), buf.size()));
  EXPECT_EQ(in.Error(), "'" + Path("shrinks") + "' changed while it was read: it ended after 1000 of its 5000 bytes");

  WriteFileAtomic(Path("grows"), std::string(100, 'g'));
  InputFile grows;
  ASSERT_TRUE(grows.Open(Path("grows")));
  {
    const int fd = open(Path("grows").c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "more", 4), 4);
    close(fd);
  }
  ASSERT_TRUE(grows.ReadExactly(buf.data(), 100));
  EXPECT_FALSE(grows.AtEnd());
  EXPECT_EQ(grows.Error(), "'" + Path("grows") + "' changed while it was read: it holds more than the 100 bytes read");
}

}  // namespace
