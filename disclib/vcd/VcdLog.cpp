#include "disclib/vcd/VcdLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "disclib/vcd/RecorderLink.h"

namespace vexa::vcd {

namespace {
std::atomic<LogSink> g_sink{nullptr};
}

void SetLogSinkForTesting(LogSink sink) { g_sink.store(sink); }

void VcdLog(const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  COMS_Log(line);
  if (LogSink sink = g_sink.load()) sink(line);
}

}  // namespace vexa::vcd
