// CVexaCoreUtil: the orchestrator's support functions: registry values,
// localised strings from the language library, log lines through the
// logging service, the pending error text, the message pump during long
// waits, and the CD-R/CD-RW reminder flag.
//
// Each orchestrator object owns one CVexaCoreUtil (its logger, its strings,
// its pending error text and its log-all flag), so two objects in one
// process never share or free each other's state.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/StringTable.h"
#include "idl/vexalog.h"
#include "platform/base/Text.h"
#include "platform/com/Com.h"
#include "platform/registry/Registry.h"

namespace vexa::core {

using com::Bstr;
using com::BstrToUtf8;
using com::ComPtr;
using com::IidOf;
using com::Variant;

class UiPort;
class StatusDialog;
class Completion;

// The component name of every log line of the orchestrator.
inline constexpr char16_t kLogComponent[] = u"vexacore";

// The pending error text: lines collected while log-all is off, each kept on
// one line (escaped as EscapeForDisplay does) and ended by CR LF. It keeps at most kHeadLines first and kTailLines last lines; the
// lines between give way to one line that counts them.
class PendingErrors {
 public:
  static constexpr std::size_t kHeadLines = 100;
  static constexpr std::size_t kTailLines = 100;
  // Longest line kept, in bytes (cut without splitting a character).
  static constexpr std::size_t kMaxLineBytes = 8192;

  void Append(std::string_view line);
  bool Empty() const { return head_.empty(); }
  std::string Text() const;
  std::string Take();
  void Clear();

 private:
  std::deque<std::string> head_;
  std::deque<std::string> tail_;
  std::size_t dropped_ = 0;
};

class CVexaCoreUtil {
 public:
  CVexaCoreUtil() = default;
  CVexaCoreUtil(const CVexaCoreUtil&) = delete;
  CVexaCoreUtil& operator=(const CVexaCoreUtil&) = delete;

  // ---- Registry -------------------------------------------------------------
  // The DWORD value; on any failure *out = 0 and false.
  static bool getRegistryEntry(HKEY root, const std::string& subKey, const std::string& name,
                               DWORD* out);
  // The string value (at most 259 bytes); on failure *out is left as it was.
  static bool getRegistryEntry(HKEY root, const std::string& subKey, const std::string& name,
                               std::string* out);
  // Writes a string value, creating the key when needed.
  static bool setRegistryEntry(HKEY root, const std::string& subKey, const std::string& name,
                               const std::string& value);

  // ---- Localised strings ----------------------------------------------------
  void SetStrings(std::shared_ptr<const StringTable> strings) { strings_ = std::move(strings); }
  const StringTable* Strings() const { return strings_.get(); }
  // The string with that id from the language library; when it has none, the
  // fallback, and the miss is logged.
  std::string LoadString(int id, std::string_view fallback);
  // The text of a template's control, or fallback (not logged).
  std::string TemplateText(int templateId, int controlId, std::string_view fallback) const;

  // ---- CD-R/CD-RW reminder (HKCU, product key, "CD-R_VS_CD-RW_NAG") --------
  static bool GetCDRvsCDRW_NagFlag(bool* flag);
  // True when no flag is stored at all, as before the first CD-R reminder:
  // no failure, the reminder is simply due.
  static bool CDRvsCDRW_NagFlagAbsent();
  static bool SetCDRvsCDRW_NagFlag(bool flag);

  // ---- Log lines and error texts ---------------------------------------------
  void SetLogger(ComPtr<IVexaLogger> logger) { logger_ = std::move(logger); }
  IVexaLogger* Logger() const { return logger_.Get(); }
  void SetLogAll(bool on) { logAll_ = on; }
  bool LogAll() const { return logAll_; }

  bool LogInfo(std::string_view text, IVexaLogger* logger = nullptr);
  bool LogError(std::string_view text, bool withComError, IVexaLogger* logger = nullptr);
  // The calling thread's COM error description (read and cleared). Without
  // error information *out is left unchanged; with an empty one it is emptied.
  static void GetComErrorText(std::string* out);
  bool AppendPendingError(std::string_view text, bool withComError);
  // Gathers text (log-all off) or logs it (log-all on); false always.
  bool ReportError(std::string_view text, bool withComError);
  bool ReportFailure(std::string_view text, bool withComError) {
    ReportError(text, withComError);
    return false;
  }
  void ClearPendingErrors() { pending_.Clear(); }
  std::string GetPendingErrors() const { return pending_.Text(); }
  std::string TakePendingErrors() { return pending_.Take(); }

  // The failure texts of the call under way: every line ReportError gathered
  // or logged since BeginCall (the callee's texts included), in order, each
  // once, whether log-all is on or off. The first is the cause the rest
  // follow from; a caller's status display can name it after the log has it.
  void BeginCall() { callErrors_.clear(); }
  const std::vector<std::string>& CallErrors() const { return callErrors_; }

  // ---- The user interface during long waits ----------------------------------
  void SetUi(UiPort* ui) { ui_ = ui; }
  UiPort* Ui() const { return ui_; }
  void PumpMessages();
  // Waits for done while pumping; after every wake the status dialog's
  // progress (when given) moves by step modulo 101.
  bool WaitWithMessagePump(StatusDialog* status, int step, Completion& done);

 private:
  bool Write(IVexaLogger* logger, const char16_t* type, std::string_view text);
  // LogError and AppendPendingError with the callee's text already taken.
  bool LogErrorLines(IVexaLogger* logger, const std::string& com, std::string_view text);
  void AppendPendingLines(const std::string& com, std::string_view text);
  void NoteCallError(std::string_view text);

  ComPtr<IVexaLogger> logger_;
  std::shared_ptr<const StringTable> strings_;
  PendingErrors pending_;
  std::vector<std::string> callErrors_;
  bool logAll_ = false;
  UiPort* ui_ = nullptr;
};

// printf-style formatting into a std::string.
using vexa::base::Format;


// An argument of FormatMessageText: a number or a text.
struct MessageArg {
  MessageArg(long long n) : isNumber(true), number(n) {}
  MessageArg(int n) : isNumber(true), number(n) {}
  MessageArg(long n) : isNumber(true), number(n) {}
  MessageArg(std::string s) : text(std::move(s)) {}
  MessageArg(const char* s) : text(s ? s : "") {}
  bool isNumber = false;
  long long number = 0;
  std::string text;
};

// The system's message-formatting rules: "%n!<printf conversion>!" (and a
// bare "%n", taken as a string) is replaced by argument n formatted with
// that conversion; "%%" is a percent sign. A placeholder without an argument
// stays as it is.
std::string FormatMessageText(std::string_view pattern, std::initializer_list<MessageArg> args);
std::string FormatMessageText(std::string_view pattern, const std::vector<MessageArg>& args);

// A status line with the time remaining (texts 63 and 4560): the pattern's
// arguments after `leading` are the minutes and the seconds, the seconds
// with two digits ("1:05", "0:00"). While there is no estimate (remaining
// below 0) the minutes and seconds, with what stands between them, give way
// to a word saying so, so that a line never reads "Time Remaining: :".
inline constexpr long kNoEstimate = -1;
std::string TimeRemainingText(std::string_view pattern, std::initializer_list<MessageArg> leading, long remaining);

}  // namespace vexa::core
