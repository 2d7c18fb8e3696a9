// The disc-usage estimate: how many bytes the disc made from an album will
// take (originals, derived pictures, Video CD stills and music, a fixed
// overhead), from file sizes alone, and how full the disc is in percent,
// counting bytes and pictures.
#pragma once

#include <cstdint>

namespace vexa::wiz {

class CVexaWizXML;
class WizServices;

inline constexpr std::int64_t kDefaultDiscCapacity = 650000000;

// Bytes for album's pictures (the session album's when album is null) with
// the session album's delay, title lines and music (an audio-CD track's size
// from the burn driver); failed reads are logged through wiz.
std::int64_t GetDiscSpaceUsed(const WizServices& wiz, CVexaWizXML* album);
// Percent of capacity used; may exceed 100.
int GetPercentDiscSpaceUsed(const WizServices& wiz, CVexaWizXML* album, std::int64_t capacity);
// The factor a picture's size is multiplied by for its derived files.
double DerivedFactor(const char* extension, std::int64_t size);

}  // namespace vexa::wiz
