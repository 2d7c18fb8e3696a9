// CVexaUtil: the program's free helpers: the log routine, text conversion
// for component calls, its string resources and the text of the last
// component error.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "idl/vexalog.h"
#include "platform/com/Com.h"

namespace vexa::app {

class CVexaUtil {
 public:
  // The program-wide logger the log routine writes through; the application
  // owns it. Lines logged while there is none are kept and written, in
  // order, as soon as one is set.
  static void SetLogger(IVexaLogger* logger);
  static IVexaLogger* Logger();

  // Writes text through the logger with component "vexa" and type "ERROR".
  // With withCalleeError the calling thread's component error description
  // is written first as a line of its own (when there is one); if that write
  // fails nothing more is written. Answers whether the last write succeeded
  // (false while the line is only kept for later).
  static bool Log(std::string_view text, bool withCalleeError);
  // The same with the callee's text already taken ("" for none).
  static bool LogWithCallee(const std::string& callee, std::string_view text);
  // An information line (type "INFO"): what ended a step that did not fail,
  // such as the user's cancel. Nothing without a logger; empty text neither.
  static bool LogInfo(std::string_view text);

  // Lines that never reached a logger, taken out of the keeping.
  static std::vector<std::string> TakeUndeliveredLines();

  // A run whose log cannot be written (a full disk, a folder that cannot be
  // written to) says so once on standard error, and goes on: the first time
  // the log is found unwritable here, or a line of the program's is refused.
  // CheckLogWritable asks where the logger writes and whether that file can
  // take lines: it opens, and its disk has room.
  static void CheckLogWritable();
  static void TellLogFailure(const std::string& why);

  // The program's "ANSI" text (UTF-8) as a BSTR for a component call.
  static vexa::com::Bstr ToBstr(std::string_view text);

  // String resource id of the program; when there is none the miss is
  // logged and fallback is used.
  static std::string LoadString(int id, std::string_view fallback);

  // The description of the calling thread's component error information,
  // taken (and so cleared); "" when there is none.
  static std::string LastComErrorText();

  // printf-style formatting into a string.
  static std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
};

}  // namespace vexa::app
