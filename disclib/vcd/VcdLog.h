// Log lines of the Video CD classes, written to the command log through the
// transport object's COMS_Log.
#pragma once

namespace vexa::vcd {

// printf-style; the line is cut at 255 characters.
void VcdLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// For tests: every line also goes to this sink (null: none).
using LogSink = void (*)(const char* line);
void SetLogSinkForTesting(LogSink sink);

}  // namespace vexa::vcd
