// The finish page's summary of the disc about to be made: the number of
// pictures, the three title lines, the music, the display time, the
// recording speed (matched to the writer and written back to the settings
// file), the Video CD format and the CD writer, one per line, in the
// bundle's words. Plain text built from the session album, the burn driver
// and the settings file; tests check it without any window.
#pragma once

#include <string>

namespace vexa::wiz {

class WizServices;

// Builds the summary into *out; false (logged) when the album or the
// writer's speed cannot be read.
bool BuildDiscSummary(const WizServices& wiz, std::string* out);

// A bundle text with one number where "%ld" (else "%d") stands, or the
// number after it when it has neither.
std::string FormatCountText(std::string text, long long number);

}  // namespace vexa::wiz
