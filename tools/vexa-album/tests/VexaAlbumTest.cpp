// vexa-album from the command line: an album made by `new` is well-formed,
// and `dump` reads back its title and stills.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/base/Path.h"
#include "tests/support/Checkers.h"

namespace {

using vexa::testsupport::CheckersRequired;
using vexa::testsupport::HaveProgram;
using vexa::testsupport::Shell;

class VexaAlbumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vexa::base::MakeTempDir("", "vexa-album-");
    ASSERT_FALSE(dir_.empty());
    setenv("VEXA_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
    tool_ = std::string(VEXA_BUILD_DIR) + "/bin/vexa-album";
  }
  void TearDown() override { vexa::base::RemoveAll(dir_); }
  std::string dir_, tool_;
};

TEST_F(VexaAlbumTest, NewThenDump) {
  const std::string album = dir_ + "/a b.xml";
  std::string out;
  ASSERT_EQ(Shell(tool_ + " new '" + album + "' --title 'Summer 2002' --title Two --still x.jpg"
                " --still 'dir/y z.jpg'", &out), 0) << out;
  ASSERT_EQ(Shell(tool_ + " dump '" + album + "'", &out), 0) << out;
  EXPECT_NE(out.find("titleSlide.line1: Summer 2002\n"), std::string::npos) << out;
  EXPECT_NE(out.find("titleSlide.line2: Two\n"), std::string::npos) << out;
  EXPECT_NE(out.find("stillImages[1].originalFilename: x.jpg\n"), std::string::npos) << out;
  EXPECT_NE(out.find("stillImages[2].originalFilename: dir/y z.jpg\n"), std::string::npos) << out;
  // The document leaves the unset values empty; dump shows what the album
  // holds after loading.
  std::string saved;
  ASSERT_TRUE(vexa::base::ReadFile(album, &saved));
  EXPECT_NE(saved.find("<tvSystem/>"), std::string::npos) << saved;
  for (const char* line : {"tvSystem: 4\n", "paperSize: 2\n", "stillDelay: -3615898\n",
                           "stillTitleVisibleTime: -3615898\n", "stillImages[1].destCTime: \n",
                           "stillImages[1].isTitleStill: 0\n", "stillImages[2].width: 0\n",
                           "cdCaseInsert.pdfFilename: PRINT/PDF/INSERT.PDF\n"}) {
    EXPECT_NE(out.find(line), std::string::npos) << line << out;
  }

  if (HaveProgram("xmllint")) {
    EXPECT_EQ(Shell("xmllint --noout '" + album + "'", &out), 0) << out;
  } else if (CheckersRequired()) {
    FAIL() << "xmllint is required";
  }
}

TEST_F(VexaAlbumTest, RefusesWhatIsNoAlbum) {
  const std::string other = dir_ + "/other.xml";
  vexa::base::WriteFileAtomic(other, "<DiscManifest/>");
  vexa::base::WriteFileAtomic(dir_ + "/broken.xml", "<AlbumManifest>");
  std::string out;
  EXPECT_EQ(Shell(tool_ + " dump " + other, &out), 1);
  EXPECT_NE(out.find("ERROR: "), std::string::npos);
  EXPECT_EQ(Shell(tool_ + " dump " + dir_ + "/broken.xml", &out), 1);
  EXPECT_NE(out.find("ERROR: cannot load"), std::string::npos) << out;
  EXPECT_EQ(Shell(tool_ + " dump " + dir_ + "/missing.xml", &out), 1);
  EXPECT_EQ(Shell(tool_ + " new", &out), 2);
}

bool NeedTool(const char* program) {
  if (HaveProgram(program)) return true;
  if (CheckersRequired()) ADD_FAILURE() << program << " is required";
  return false;
}

TEST_F(VexaAlbumTest, ConvertsThePartnerSample) {
  const std::string sample = std::string(VEXA_BUILD_DIR) + "/share/vexa/samples/marwick-album.xml";
  const std::string album = dir_ + "/album.xml", again = dir_ + "/again.xml";
  std::string out;
  ASSERT_EQ(Shell(tool_ + " convert " + sample + " " + album + " --from-partner", &out), 0) << out;
  ASSERT_EQ(Shell(tool_ + " dump " + album, &out), 0) << out;
  EXPECT_NE(out.find("stillImages[2].title: On the pier & the boat\n"), std::string::npos) << out;
  EXPECT_NE(out.find("tvSystem: 2\n"), std::string::npos) << out;
  // An album file converts to itself.
  ASSERT_EQ(Shell(tool_ + " convert " + album + " " + again, &out), 0) << out;
  std::string a, b;
  vexa::base::ReadFile(album, &a);
  vexa::base::ReadFile(again, &b);
  EXPECT_EQ(a, b);
  // A partner file is no album file.
  EXPECT_EQ(Shell(tool_ + " convert " + sample + " " + dir_ + "/x.xml", &out), 1);
  EXPECT_NE(out.find("top element doesn't match"), std::string::npos) << out;
  if (NeedTool("xmllint")) {
    EXPECT_EQ(Shell("xmllint --noout " + album, &out), 0) << out;
  }
}

TEST_F(VexaAlbumTest, WritesAndReadsTheRecordOfAPhoto) {
  if (!NeedTool("convert") || !NeedTool("rdjpgcom") || !NeedTool("djpeg")) GTEST_SKIP();
  const std::string photo = dir_ + "/photo.jpg";
  std::string out, before, after;
  ASSERT_EQ(Shell("convert -size 32x32 gradient:white-black " + photo, &out), 0) << out;
  ASSERT_EQ(Shell("djpeg -pnm " + photo, &before), 0);
  ASSERT_EQ(Shell(tool_ + " jpeg-get " + photo, &out), 0) << out;
  EXPECT_EQ(out, "originalIdentifier: \nresolution: 0\n");
  ASSERT_EQ(Shell(tool_ + " jpeg-set " + photo + " --id 1234abcd --resolution 4", &out), 0) << out;
  ASSERT_EQ(Shell(tool_ + " jpeg-get " + photo, &out), 0) << out;
  EXPECT_EQ(out, "originalIdentifier: 1234abcd\nresolution: 4\n");
  ASSERT_EQ(Shell("rdjpgcom " + photo, &out), 0);
  EXPECT_NE(out.find("<originalIdentifier>1234abcd</originalIdentifier>"), std::string::npos) << out;
  ASSERT_EQ(Shell("djpeg -pnm " + photo, &after), 0);
  EXPECT_EQ(after, before);
  EXPECT_EQ(Shell(tool_ + " jpeg-set " + photo + " --id x --resolution 9", &out), 2);
}

// Failures through the tool, as a table: the exit status, the message with
// its reason, and what was on disk left as it was.
TEST_F(VexaAlbumTest, FailuresSayWhyAndChangeNothing) {
  if (!NeedTool("convert") || !NeedTool("wrjpgcom")) GTEST_SKIP();
  std::string out;
  const std::string photo = dir_ + "/photo.jpg";
  ASSERT_EQ(Shell("convert -size 32x32 gradient:white-black " + photo, &out), 0) << out;
  const std::string kept = dir_ + "/kept.xml", link = dir_ + "/link.xml", photoLink = dir_ + "/photo-link.jpg";
  ASSERT_TRUE(vexa::base::WriteFileAtomic(kept, "kept"));
  ASSERT_EQ(::symlink(kept.c_str(), link.c_str()), 0);
  ASSERT_EQ(::symlink(photo.c_str(), photoLink.c_str()), 0);
  const std::string damaged = dir_ + "/damaged.jpg";
  const std::string ns = "http://schemas.vexa.example/go/di-cv-vexa-1-6";
  // A comment that claims the record's namespace but no longer parses.
  ASSERT_EQ(Shell("wrjpgcom -comment \"<EmbedImage xmlns='" + ns + "'><originalIdentifier>a</EmbedImage>\" " +
                           photo + " > " + damaged,
                       &out),
            0)
      << out;
  const std::string registry = dir_ + "/broken-registry";
  ASSERT_TRUE(vexa::base::MakeDirs(registry));
  ASSERT_TRUE(vexa::base::WriteFileAtomic(registry + "/HKLM.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\n"));
  std::string photoBefore;
  ASSERT_TRUE(vexa::base::ReadFile(photo, &photoBefore));

  struct Row {
    std::string command, message;
  } rows[] = {
      {"new " + dir_ + "/new.xml --title $'a\\x01b'",
       "ERROR: cannot save the album (E_INVALIDARG): couldn't put the value: the text of line1 holds U+0001 at "
       "character 2, which XML cannot carry"},
      {"new " + link,
       "ERROR: cannot write " + link + " (E_ACCESSDENIED): '" + link +
           "' is a symbolic link; it is not replaced (name the file it points to)"},
      {"new " + dir_ + "/no/dir/a.xml",
       "ERROR: cannot write " + dir_ + "/no/dir/a.xml (STG_E_PATHNOTFOUND): cannot create a file in '" + dir_ +
           "/no/dir' for '" + dir_ + "/no/dir/a.xml': No such file or directory"},
      {"dump " + dir_, "ERROR: cannot load " + dir_ + ": a folder, not a document"},
      {"convert " + dir_ + "/missing.xml " + dir_ + "/out.xml",
       "ERROR: cannot load " + dir_ + "/missing.xml (E_FAIL): Unable to load XML document: " + dir_ +
           "/missing.xml: No such file or directory"},
      {"jpeg-set " + photo + " --id $'x\\x1f' --resolution 1",
       "ERROR: cannot write " + photo + " (E_FAIL): couldn't store the file: couldn't put the value: the text of "
       "originalIdentifier holds U+001F at character 2, which XML cannot carry"},
      {"jpeg-set " + photoLink + " --id x --resolution 1",
       "ERROR: cannot write " + photoLink + " (E_FAIL): couldn't write to dest file: '" + photoLink +
           "' is a symbolic link; it is not replaced (name the file it points to)"},
      {"jpeg-get " + damaged,
       "ERROR: cannot read " + damaged + " (E_FAIL): the embedxml marker (comment 1) cannot be parsed: "},
      {"env VEXA_REGISTRY_DIR=" + registry + " " + tool_ + " new " + dir_ + "/r.xml",
       "ERROR: cannot create an album (REGDB_E_READREGDB): the registry cannot be read: " + registry +
           "/HKLM.reg line 2: key line without ']'"},
  };
  for (const Row& r : rows) {
    const std::string command = r.command.rfind("env ", 0) == 0 ? r.command : tool_ + " " + r.command;
    EXPECT_EQ(Shell("bash -c \"" + command + "\"", &out), 1) << r.command;
    EXPECT_EQ(out.substr(0, r.message.size()), r.message) << r.command;
    EXPECT_EQ(out.back(), '\n');
  }
  std::string after;
  vexa::base::ReadFile(kept, &after);
  EXPECT_EQ(after, "kept");
  vexa::base::ReadFile(photo, &after);
  EXPECT_EQ(after, photoBefore);
  for (const char* name : {"/new.xml", "/out.xml", "/r.xml"}) EXPECT_FALSE(vexa::base::FileExists(dir_ + name)) << name;
}

}  // namespace
