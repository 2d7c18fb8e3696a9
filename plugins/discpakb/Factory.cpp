#include "plugins/discpakb/Factory.h"

#include <cstring>

#include "plugins/discpakb/ByteSource.h"
#include "plugins/discpakb/Mp3AudioStream.h"
#include "plugins/discpakb/WavAudioStream.h"
#include "plugins/discpakb/WmaAudioStream.h"

namespace vexa::discpakb {

AudioKind KindOfPath(const std::string& path) {
  std::string tail = path.size() > 4 ? path.substr(path.size() - 4) : path;
  for (char& c : tail) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  AudioKind kind = AudioKind::kNone;
  if (tail.find("WAV") != std::string::npos) kind = AudioKind::kWav;
  if (tail.find("WMA") != std::string::npos) kind = AudioKind::kWma;
  if (tail.find("MP3") != std::string::npos) kind = AudioKind::kMp3;
  return kind;
}

std::unique_ptr<ARAS> MakeAudioStream(const char* path) {
  if (!path) return nullptr;
  const std::size_t length = std::strlen(path);
  // The reader's path field holds 511 characters: a longer path is refused
  // whole rather than cut to another file's name.
  if (length <= 3 || length > kMaxPathLength) return nullptr;
  const std::string p(path, length);
  if (!IsReadableFile(p)) return nullptr;
  switch (KindOfPath(p)) {
    case AudioKind::kWav: return std::make_unique<WavAudioStream>(p);
    case AudioKind::kWma: return std::make_unique<WmaAudioStream>(p);
    case AudioKind::kMp3: return std::make_unique<Mp3AudioStream>(p);
    case AudioKind::kNone: break;
  }
  return nullptr;
}

}  // namespace vexa::discpakb
