// vexapc-make end to end: thirteen photos and music become pages that tidy
// and xmllint accept, whose every link resolves, and that a headless browser
// shows without script errors, with the slide show moving on by itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "pcpages/tests/PageTestSupport.h"

namespace {

namespace fs = std::filesystem;
using vexa::pcpages::test::FilesBelow;
using vexa::pcpages::test::ReadText;
using vexa::pcpages::test::ScratchDir;
using vexa::pcpages::test::Shell;

class VexapcMakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("VEXA_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
    photos_ = dir_ / "photos";
    fs::create_directories(photos_);
    const std::string still = std::string(VEXA_SOURCE_DIR) + "/pcpages/tests/data/still.jpg";
    for (int i = 1; i <= 13; ++i) {
      fs::copy_file(still, photos_ + "/photo" + (i < 10 ? "0" : "") + std::to_string(i) + ".jpg");
    }
    fs::copy_file(still, photos_ + "/notes.txt");  // not a picture by its name: left out
    vexa::pcpages::test::WriteSilentWav(dir_ / "music.wav");
    out_ = dir_ / "album";
  }
  void TearDown() override { ::unsetenv("VEXA_REGISTRY_DIR"); }

  int Tool(const std::string& args, std::string* output = nullptr) {
    return Shell(std::string(VEXA_BUILD_DIR) + "/bin/vexapc-make " + args, output);
  }

  ScratchDir dir_;
  std::string photos_, out_;
};

TEST_F(VexapcMakeTest, ThirteenPhotosWithMusic) {
  std::string output;
  ASSERT_EQ(Tool("-1 'Summer at the lake' -2 'Tom & Jerry' -m '" + dir_ / "music.wav" + "' -d 2000 '" + out_ + "' '" +
                     photos_ + "'",
                 &output),
            0)
      << output;
  EXPECT_NE(output.find("13 photos"), std::string::npos) << output;
  for (const char* f : {"VIEW/ALBUM.HTM", "VIEW/BROWSE/BROWSE.HTM", "VIEW/SHOW/SHOW.HTM", "VIEW/SHOW/HTML/SL_0012.HTM",
                        "VIEW/BROWSE/HTML/TH_0002.HTM", "CONTENT/BG_A0001.WAV", "LOWRES/640X640/IM_A0013.JPG",
                        "LOWRES/160X160/IM_A0013.JPG", "VIEW/GRAPHICS/KV_BUG.GIF", "VIEW/SHOW/STYLE/STYLE.CSS"}) {
    EXPECT_TRUE(fs::is_regular_file(out_ + "/" + f)) << f;
  }
  EXPECT_FALSE(fs::exists(out_ + "/VIEW/BROWSE/HTML/0013.HTM"));

  VEXA_NEED_CHECKER("tidy");
  VEXA_NEED_CHECKER("xmllint");
  for (const std::string& rel : FilesBelow(out_, {".htm"})) {
    EXPECT_EQ(vexa::pcpages::test::TidyReport(out_ + "/" + rel), "") << rel;
    if (rel != "VIEW/SHOW/HTML/MUSIC.HTM") {
      EXPECT_EQ(vexa::pcpages::test::XmllintReport(out_ + "/" + rel), "") << rel;
    }
  }
  // The PDFs come from the print front on a real disc.
  vexa::pcpages::test::WritePdfPlaceholders(out_);
  EXPECT_EQ(vexa::pcpages::test::BrokenLinks(out_), std::vector<std::string>{});

  VEXA_NEED_CHECKER("chromium-headless-shell");
  // The three entry pages render without script errors; their pictures are
  // kept as artifacts of the test run.
  const std::string artifacts = std::string(VEXA_BUILD_DIR) + "/tests/artifacts/pcpages";
  fs::create_directories(artifacts);
  struct Entry {
    const char* page;
    const char* shot;
    const char* text;
  } entries[] = {
      {"VIEW/ALBUM.HTM", "menu.png", "Start photo show"},
      {"VIEW/BROWSE/BROWSE.HTM", "browse.png", "THUMBS"},
      {"VIEW/SHOW/SHOW.HTM", "show.png", "SLIDES"},
  };
  for (const Entry& e : entries) {
    const std::string shot = artifacts + "/" + e.shot;
    fs::remove(shot);
    const auto dom = vexa::pcpages::test::RunBrowser(out_ + "/" + e.page, 1000);
    EXPECT_NE(dom.dom.find(e.text), std::string::npos) << e.page;
    EXPECT_TRUE(dom.errors.empty()) << e.page << ": " << ::testing::PrintToString(dom.errors);
    const auto picture = vexa::pcpages::test::RunBrowser(out_ + "/" + e.page, 1000, shot);
    EXPECT_TRUE(picture.errors.empty()) << e.page << ": " << ::testing::PrintToString(picture.errors);
    EXPECT_EQ(ReadText(shot).substr(0, 8), "\x89PNG\r\n\x1a\n") << shot;
  }

  // The slide show moves on by itself: the slide frame goes to the second
  // slide, then the third, with the music page loaded beside it.
  const auto show = vexa::pcpages::test::WatchPage(out_ + "/VIEW/SHOW/SHOW.HTM", "SL_0002.HTM", 120);
  EXPECT_TRUE(show.reached) << show.report;
  EXPECT_TRUE(show.errors.empty()) << show.report;
  EXPECT_TRUE(show.Navigated("VIEW/SHOW/HTML/MUSIC.HTM")) << show.report;
  EXPECT_TRUE(show.Navigated("VIEW/SHOW/HTML/SL_0001.HTM")) << show.report;
}

TEST_F(VexapcMakeTest, RefusesBadRequests) {
  std::string output;
  EXPECT_EQ(Tool("", &output), 2);
  EXPECT_EQ(Tool("-d soon '" + out_ + "' '" + photos_ + "'", &output), 2);
  EXPECT_EQ(Tool("'" + out_ + "' '" + dir_ / "missing.jpg" + "'", &output), 1);
  EXPECT_NE(output.find("no such photo or folder"), std::string::npos) << output;

  // A folder with something in it is written into only with --clean, and
  // --clean does not delete what the tool did not write.
  fs::create_directories(out_);
  vexa::pcpages::test::WriteText(out_ + "/old.txt", "old");
  EXPECT_EQ(Tool("'" + out_ + "' '" + photos_ + "/photo01.jpg'", &output), 1);
  EXPECT_NE(output.find("is not empty"), std::string::npos) << output;
  EXPECT_EQ(ReadText(out_ + "/old.txt"), "old");
  EXPECT_EQ(Tool("--clean '" + out_ + "' '" + photos_ + "/photo01.jpg'", &output), 1) << output;
  EXPECT_EQ(ReadText(out_ + "/old.txt"), "old");
  fs::remove(out_ + "/old.txt");
  ASSERT_EQ(Tool("'" + out_ + "' '" + photos_ + "/photo01.jpg'", &output), 0) << output;
  EXPECT_TRUE(fs::is_regular_file(out_ + "/VIEW/ALBUM.HTM"));
  // Made again over its own pages.
  ASSERT_EQ(Tool("--clean '" + out_ + "' '" + photos_ + "/photo02.jpg'", &output), 0) << output;

  // An output folder that is or holds what the tool reads is refused before
  // anything in it is touched, however it is named.
  vexa::pcpages::test::WriteText(out_ + "/music.wav", "RIFF");
  auto snapshot = [&] {
    std::string all;
    for (const std::string& name : FilesBelow(dir_.path())) all += name + "\n" + ReadText(dir_ / name) + "\n";
    return all;
  };
  const std::string before = snapshot();
  fs::create_directory_symlink(photos_, dir_ / "photos-link");
  const std::string misuses[] = {
      "--clean '" + photos_ + "' '" + photos_ + "/photo01.jpg'",
      "--clean '" + photos_ + "' '" + photos_ + "'",
      "--clean '" + dir_.path() + "' '" + photos_ + "/photo03.jpg'",
      "--clean '" + dir_ / "photos-link" + "' '" + photos_ + "/photo01.jpg'",
      "--clean '" + photos_ + "/../photos/' '" + dir_ / "photos-link/photo01.jpg" + "'",
      "--clean -m '" + out_ + "/VIEW/../music.wav' '" + out_ + "' '" + photos_ + "/photo01.jpg'",
  };
  for (const std::string& args : misuses) {
    EXPECT_EQ(Tool(args, &output), 2) << args;
    EXPECT_NE(output.find("given to read"), std::string::npos) << output;
  }
  fs::remove(dir_ / "photos-link");
  EXPECT_TRUE(snapshot() == before) << "a refused run changed files";
  fs::remove(out_ + "/music.wav");

  // A picture the image utility cannot read is named with the server's text.
  vexa::pcpages::test::WriteText(dir_ / "broken.jpg", "not a picture");
  EXPECT_EQ(Tool("--clean '" + out_ + "' '" + dir_ / "broken.jpg" + "'", &output), 1);
  EXPECT_NE(output.find("broken.jpg"), std::string::npos) << output;
}

// Everything below root as "path type [content or link target]" lines,
// hidden entries and links included, links not followed.
std::string TreeOf(const std::string& root) {
  std::vector<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = fs::relative(it->path(), root).string();
    if (it->is_symlink()) {
      lines.push_back(rel + " link " + fs::read_symlink(it->path()).string());
    } else if (it->is_directory()) {
      lines.push_back(rel + " folder");
    } else {
      lines.push_back(rel + " file " + ReadText(it->path().string()));
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

// --clean over a table of folders: the tool's own pages from an earlier run
// go, and a folder holding anything else is refused with what it holds
// named, nothing in it (or behind a link in it) touched.
// An output folder that takes no files, or cannot be made, is named with
// the system's reason before any page is made.
TEST_F(VexapcMakeTest, AnOutputFolderThatTakesNoFilesSaysWhy) {
  const std::string readOnly = dir_ / "ro";
  fs::create_directories(readOnly);
  const std::string prefix = vexa::testsupport::ReadOnlyFolderPrefix(readOnly);
  if (prefix.empty()) GTEST_SKIP() << "no mount namespace for a read-only folder here";
  const struct {
    std::string out;
    std::string said;
  } cases[] = {
      {readOnly, "vexapc-make: cannot write in " + readOnly + ": Read-only file system"},
      {readOnly + "/album", "vexapc-make: cannot make folder " + readOnly + "/album: Read-only file system"},
  };
  for (const auto& c : cases) {
    std::string output;
    EXPECT_EQ(Shell(prefix + std::string(VEXA_BUILD_DIR) + "/bin/vexapc-make '" + c.out + "' '" + photos_ + "'",
                    &output),
              1)
        << output;
    EXPECT_NE(output.find(c.said), std::string::npos) << output;
  }
}

TEST_F(VexapcMakeTest, CleanRemovesOnlyItsOwnPages) {
  std::string output;
  // An earlier run's pages, of two photos and music.
  const std::string earlier = dir_ / "earlier";
  ASSERT_EQ(Tool("-m '" + dir_ / "music.wav" + "' '" + earlier + "' '" + photos_ + "/photo01.jpg' '" + photos_ +
                     "/photo02.jpg'",
                 &output),
            0)
      << output;
  const std::string elsewhere = dir_ / "elsewhere";
  fs::create_directories(elsewhere);
  vexa::pcpages::test::WriteText(elsewhere + "/keep.txt", "keep");

  struct Case {
    const char* name;
    bool earlierRun;                                   // starts with the earlier run's pages
    std::function<void(const std::string&)> add;       // what else the folder holds
    const char* named;                                 // what the refusal names; null: accepted
  } cases[] = {
      {"an empty folder", false, nullptr, nullptr},
      {"an earlier run's pages", true, nullptr, nullptr},
      {"a foreign file", true, [](const std::string& d) { vexa::pcpages::test::WriteText(d + "/notes.txt", "n"); },
       "notes.txt"},
      {"a foreign hidden file", true,
       [](const std::string& d) { vexa::pcpages::test::WriteText(d + "/.profile", "p"); }, ".profile"},
      {"a foreign hidden file alone", false,
       [](const std::string& d) { vexa::pcpages::test::WriteText(d + "/.bashrc", "b"); }, ".bashrc"},
      {"a foreign folder", true,
       [](const std::string& d) {
         fs::create_directories(d + "/Documents/deep");
         vexa::pcpages::test::WriteText(d + "/Documents/deep/letter.txt", "l");
       },
       "Documents/"},
      {"a foreign hidden folder", true,
       [](const std::string& d) {
         fs::create_directories(d + "/.config");
         vexa::pcpages::test::WriteText(d + "/.config/settings", "s");
       },
       ".config/"},
      {"a foreign file in one of its folders", true,
       [](const std::string& d) { vexa::pcpages::test::WriteText(d + "/CONTENT/holiday.jpg", "h"); },
       "CONTENT/holiday.jpg"},
      {"a link in place of one of its folders", true,
       [&](const std::string& d) {
         fs::remove_all(d + "/VIEW");
         fs::create_directory_symlink(elsewhere, d + "/VIEW");
       },
       "VIEW (a link)"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = dir_ / ("case" + std::to_string(++n));
    fs::create_directories(out);
    if (c.earlierRun) fs::copy(earlier, out, fs::copy_options::recursive);
    if (c.add) c.add(out);
    const std::string before = TreeOf(out), elsewhereBefore = TreeOf(elsewhere);
    const int status = Tool("--clean '" + out + "' '" + photos_ + "/photo03.jpg'", &output);
    if (c.named) {
      EXPECT_EQ(status, 1) << output;
      EXPECT_NE(output.find(std::string("also holds: ") + c.named), std::string::npos) << output;
      EXPECT_NE(output.find("nothing was deleted"), std::string::npos) << output;
      EXPECT_EQ(TreeOf(out), before);
    } else {
      ASSERT_EQ(status, 0) << output;
      EXPECT_TRUE(fs::is_regular_file(out + "/VIEW/ALBUM.HTM"));
      EXPECT_TRUE(fs::is_regular_file(out + "/LOWRES/640X640/IM_A0001.JPG"));
      // The earlier run's second photo and music are gone.
      EXPECT_FALSE(fs::exists(out + "/LOWRES/640X640/IM_A0002.JPG"));
      EXPECT_FALSE(fs::exists(out + "/CONTENT/BG_A0001.WAV"));
    }
    EXPECT_EQ(TreeOf(elsewhere), elsewhereBefore);
  }
}

}  // namespace
