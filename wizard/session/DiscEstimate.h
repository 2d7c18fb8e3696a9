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

// The disc engine's own estimate of the image the session album would make,
// and the room of the largest disc it writes, in sectors: the last word on
// whether a disc that the percentage above finds too full can be made.
struct EngineRoom {
  std::int64_t sectors = 0;
  std::int64_t discSectors = 0;
  bool Fits() const { return sectors <= discSectors; }
};
// Asks the burn driver's orchestrator for it; false (logged) when it cannot
// be asked or the album cannot be read.
bool AskEngineForRoom(const WizServices& wiz, EngineRoom* room);

}  // namespace vexa::wiz
