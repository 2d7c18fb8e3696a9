#include <memory>

#include "platform/base/Module.h"

#include "plugins/discpakb/Factory.h"
#include "plugins/discpakb/Mp3AudioStream.h"
#include "plugins/discpakb/WavAudioStream.h"
#include "plugins/discpakb/WmaAudioStream.h"
#include "plugins/discpakb/tests/AudioFixtures.h"

namespace vexa::discpakb::testing {
namespace {

class FactoryTest : public AudioTest {};

TEST_F(FactoryTest, KindFromTheLastFourCharacters) {
  struct Row {
    const char* name;
    AudioKind kind;
  };
  const Row rows[] = {
      {"Song.Mp3", AudioKind::kMp3}, {"song.ogg", AudioKind::kNone},  {"clip.wavs", AudioKind::kWav},
      {"a.WMA", AudioKind::kWma},    {"x.wav.mp3", AudioKind::kMp3}, {"mp3.wav", AudioKind::kWav},
      {"track.mp3 ", AudioKind::kMp3}, {"Music", AudioKind::kNone},
  };
  for (const Row& r : rows) {
    const std::string path = Path(r.name);
    WriteBytes(path, "x");
    EXPECT_EQ(KindOfPath(path), r.kind) << r.name;
    std::unique_ptr<ARAS> s = MakeAudioStream(path.c_str());
    EXPECT_EQ(s != nullptr, r.kind != AudioKind::kNone) << r.name;
    if (!s) continue;
    switch (r.kind) {
      case AudioKind::kMp3: EXPECT_NE(dynamic_cast<Mp3AudioStream*>(s.get()), nullptr) << r.name; break;
      case AudioKind::kWav: EXPECT_NE(dynamic_cast<WavAudioStream*>(s.get()), nullptr) << r.name; break;
      case AudioKind::kWma: EXPECT_NE(dynamic_cast<WmaAudioStream*>(s.get()), nullptr) << r.name; break;
      case AudioKind::kNone: break;
    }
  }
}

TEST_F(FactoryTest, RefusedPaths) {
  WriteBytes(Path("ok.wav"), "x");
  EXPECT_EQ(MakeAudioStream(nullptr), nullptr);
  EXPECT_EQ(MakeAudioStream("a.b"), nullptr);
  EXPECT_EQ(MakeAudioStream(Path("missing.wav").c_str()), nullptr);
  EXPECT_EQ(MakeAudioStream(dir_.c_str()), nullptr);  // a folder
  ASSERT_EQ(Shell("mkdir '" + Path("folder.wav") + "'"), 0);
  EXPECT_EQ(MakeAudioStream(Path("folder.wav").c_str()), nullptr);
  ASSERT_EQ(Shell("mkfifo '" + Path("pipe.mp3") + "'"), 0);
  EXPECT_EQ(MakeAudioStream(Path("pipe.mp3").c_str()), nullptr);  // refused, without blocking

  // 511 characters still fit the reader's path field; 512 are refused, not cut.
  std::string longPath = dir_ + "/";
  while (longPath.size() < 507) longPath += "d/";
  longPath.resize(507);
  if (longPath.back() == '/') longPath.back() = 'e';
  ASSERT_EQ(Shell("mkdir -p \"$(dirname '" + longPath + ".wav')\""), 0);
  WriteBytes(longPath + ".wav", "x");
  EXPECT_EQ((longPath + ".wav").size(), 511u);
  EXPECT_NE(MakeAudioStream((longPath + ".wav").c_str()), nullptr);
  WriteBytes(longPath + "x.wav", "x");
  EXPECT_EQ(MakeAudioStream((longPath + "x.wav").c_str()), nullptr);
}

// The plug-in as the disc library binds it: by name, two entry points.
TEST_F(FactoryTest, ExportedPair) {
  base::Module module = base::Module::Load("discpakb.dll");
  ASSERT_TRUE(module) << module.Error();
  auto getNew = module.Function<GetNewARASFn>("GetNewARAS");
  auto del = module.Function<DeleteARASFn>("DeleteARAS");
  ASSERT_TRUE(getNew && del);
  EXPECT_EQ(module.Symbol("MakeAudioStream"), nullptr);
  WriteBytes(Path("a.mp3"), "x");
  ARAS* s = getNew(Path("a.mp3").c_str());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Open(), 0);  // not an MPEG audio file
  std::uint32_t frames[4];
  EXPECT_EQ(s->Read(frames, 16), 0);
  del(s);
  del(nullptr);
}

}  // namespace
}  // namespace vexa::discpakb::testing
