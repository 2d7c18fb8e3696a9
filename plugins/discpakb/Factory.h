// Which reader a path gets: by the last four characters of the path.
#pragma once

#include <memory>
#include <string>

#include "plugins/ARAS.h"

namespace vexa::discpakb {

enum class AudioKind { kNone, kWav, kWma, kMp3 };

// The kind the path's last four characters name, upper-cased: "WAV", then
// "WMA", then "MP3", a later match replacing an earlier one.
AudioKind KindOfPath(const std::string& path);

// A new, unopened reader; null for a path of 3 characters or fewer or longer
// than a reader holds, a file that cannot be opened, or an unknown kind.
std::unique_ptr<ARAS> MakeAudioStream(const char* path);

}  // namespace vexa::discpakb
