#include "core/CoreUtil.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/UiPort.h"
#include "idl/ProductKey.h"
#include "platform/base/Text.h"

namespace vexa::core {

namespace {

constexpr char kNagValue[] = "CD-R_VS_CD-RW_NAG";

// A key opened for the length of one call.
class Key {
 public:
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* Put() { return &key_; }
  HKEY Get() const { return key_; }
  // Closes now and says whether that worked.
  bool Close() {
    const LONG rc = key_ ? RegCloseKey(key_) : ERROR_SUCCESS;
    key_ = nullptr;
    return rc == ERROR_SUCCESS;
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

// ---- PendingErrors --------------------------------------------------------------

void PendingErrors::Append(std::string_view line) {
  // Each entry is one line of the text a person is shown: a name it quotes
  // (a file's, a drive's) may hold line breaks, control characters or bytes
  // that are not UTF-8, so the entry is escaped here, once for every caller.
  std::string kept = base::EscapeForDisplay(line.size() > kMaxLineBytes ? base::Utf8CutBytes(line, kMaxLineBytes) : line);
  if (kept.size() > kMaxLineBytes) kept = base::Utf8CutBytes(kept, kMaxLineBytes);
  if (head_.size() < kHeadLines) {
    head_.push_back(std::move(kept));
    return;
  }
  tail_.push_back(std::move(kept));
  if (tail_.size() > kTailLines) {
    tail_.pop_front();
    ++dropped_;
  }
}

std::string PendingErrors::Text() const {
  std::string out;
  for (const auto& l : head_) out += l + "\r\n";
  if (dropped_) out += "... " + std::to_string(dropped_) + " more lines ...\r\n";
  for (const auto& l : tail_) out += l + "\r\n";
  return out;
}

std::string PendingErrors::Take() {
  std::string out = Text();
  Clear();
  return out;
}

void PendingErrors::Clear() {
  head_.clear();
  tail_.clear();
  dropped_ = 0;
}

// ---- Registry ---------------------------------------------------------------------

bool CVexaCoreUtil::getRegistryEntry(HKEY root, const std::string& subKey, const std::string& name,
                                     DWORD* out) {
  *out = 0;
  Key key;
  if (RegOpenKeyEx(root, subKey.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  BYTE data[4] = {};
  DWORD size = sizeof(data);
  if (RegQueryValueEx(key.Get(), name.c_str(), nullptr, &type, data, &size) != ERROR_SUCCESS ||
      size != sizeof(data) || (type != REG_DWORD && type != REG_BINARY)) {
    return false;
  }
  *out = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
         static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
  return true;
}

bool CVexaCoreUtil::getRegistryEntry(HKEY root, const std::string& subKey, const std::string& name,
                                     std::string* out) {
  Key key;
  if (RegOpenKeyEx(root, subKey.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  char data[260] = {};
  DWORD size = sizeof(data);
  if (RegQueryValueEx(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return false;
  }
  // The size counts the terminating zero; the text ends at the first zero.
  std::size_t len = 0;
  while (len < size && len < sizeof(data) && data[len]) ++len;
  out->assign(data, len);
  return true;
}

bool CVexaCoreUtil::setRegistryEntry(HKEY root, const std::string& subKey, const std::string& name,
                                     const std::string& value) {
  Key key;
  if (RegOpenKeyEx(root, subKey.c_str(), 0, KEY_WRITE, key.Put()) != ERROR_SUCCESS &&
      RegCreateKeyEx(root, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(), nullptr) !=
          ERROR_SUCCESS) {
    return false;
  }
  const bool written = RegSetValueEx(key.Get(), name.c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
  return key.Close() && written;
}

bool CVexaCoreUtil::GetCDRvsCDRW_NagFlag(bool* flag) {
  std::string text;
  if (!getRegistryEntry(HKEY_CURRENT_USER, kProductKey, kNagValue, &text)) return false;
  *flag = base::EqualsNoCase(text, "TRUE");
  return true;
}

bool CVexaCoreUtil::CDRvsCDRW_NagFlagAbsent() {
  vexa::reg::Value value;
  const vexa::reg::Status status =
      vexa::reg::GetValue(vexa::reg::Hive::CurrentUser, kProductKey, kNagValue, &value);
  return status == vexa::reg::Status::NoKey || status == vexa::reg::Status::NoValue;
}

bool CVexaCoreUtil::SetCDRvsCDRW_NagFlag(bool flag) {
  return setRegistryEntry(HKEY_CURRENT_USER, kProductKey, kNagValue, flag ? "TRUE" : "FALSE");
}

// ---- Strings ------------------------------------------------------------------------

std::string CVexaCoreUtil::LoadString(int id, std::string_view fallback) {
  std::string text = strings_ ? strings_->String(id) : std::string();
  // The library's buffer holds 2048 bytes with the terminating zero.
  if (text.size() > 2047) text = base::Utf8CutBytes(text, 2047);
  if (!text.empty()) return text;
  LogError(Format("CVexaCoreUtil::LoadString - Cannot load resource with id # %d and message %.*s", id,
                  static_cast<int>(fallback.size()), fallback.data()),
           false);
  return std::string(fallback);
}

std::string CVexaCoreUtil::TemplateText(int templateId, int controlId, std::string_view fallback) const {
  std::string text = strings_ ? strings_->TemplateText(templateId, controlId) : std::string();
  return text.empty() ? std::string(fallback) : text;
}

// ---- Logging --------------------------------------------------------------------------

bool CVexaCoreUtil::Write(IVexaLogger* logger, const char16_t* type, std::string_view text) {
  Bstr component(kLogComponent), kind(type), message = Bstr::FromUtf8(text);
  return SUCCEEDED(logger->WriteMessage(component.Get(), kind.Get(), message.Get()));
}

bool CVexaCoreUtil::LogInfo(std::string_view text, IVexaLogger* logger) {
  if (!logger) logger = logger_.Get();
  if (text.empty() || !logger) return false;
  return Write(logger, u"INFO", text);
}

bool CVexaCoreUtil::LogError(std::string_view text, bool withComError, IVexaLogger* logger) {
  if (!logger) logger = logger_.Get();
  if (!logger) return false;
  std::string com;
  if (withComError) GetComErrorText(&com);
  return LogErrorLines(logger, com, text);
}

bool CVexaCoreUtil::LogErrorLines(IVexaLogger* logger, const std::string& com, std::string_view text) {
  if (!logger) return false;
  if (!pending_.Empty()) {
    const std::string taken = pending_.Take();
    if (!Write(logger, u"ERROR", taken)) return false;
  }
  if (!com.empty() && !Write(logger, u"ERROR", com)) return false;
  if (text.empty()) return false;
  return Write(logger, u"ERROR", text);
}

void CVexaCoreUtil::GetComErrorText(std::string* out) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) return;
  Bstr description;
  if (FAILED(info->GetDescription(description.Out())) || description.Length() == 0) {
    out->clear();
    return;
  }
  *out = description.Utf8();
}

bool CVexaCoreUtil::AppendPendingError(std::string_view text, bool withComError) {
  if (text.empty()) return false;
  std::string com;
  if (withComError) GetComErrorText(&com);
  AppendPendingLines(com, text);
  return true;
}

void CVexaCoreUtil::AppendPendingLines(const std::string& com, std::string_view text) {
  // The callee's text: its own pending lines, each kept a line here.
  std::string_view rest = com;
  while (!rest.empty()) {
    const std::size_t end = rest.find("\r\n");
    pending_.Append(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
  }
  pending_.Append(text);
}

void CVexaCoreUtil::NoteCallError(std::string_view text) {
  // A call that fails picture after picture says enough with its first lines.
  constexpr std::size_t kMostLines = 200;
  while (!text.empty() && callErrors_.size() < kMostLines) {
    const std::size_t end = text.find("\r\n");
    const std::string line(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 2);
    // A callee's text raised from this object's own lines comes back here
    // once more; each line is kept once.
    if (!line.empty() && std::find(callErrors_.begin(), callErrors_.end(), line) == callErrors_.end()) {
      callErrors_.push_back(line);
    }
  }
}

bool CVexaCoreUtil::ReportError(std::string_view text, bool withComError) {
  if (text.empty()) {
    if (logAll_) pending_.Clear();
    return false;
  }
  std::string com;
  if (withComError) GetComErrorText(&com);
  NoteCallError(com);
  NoteCallError(text);
  if (logAll_) {
    LogErrorLines(logger_.Get(), com, text);
  } else {
    AppendPendingLines(com, text);
  }
  return false;
}

// ---- Message pump --------------------------------------------------------------------

void CVexaCoreUtil::PumpMessages() {
  if (ui_) ui_->PumpMessages();
}

bool CVexaCoreUtil::WaitWithMessagePump(StatusDialog* status, int step, Completion& done) {
  if (!ui_) {
    done.Wait();
    return true;
  }
  ui_->WaitWithMessagePump(done, [&] {
    if (status) status->SetProgress((status->Progress() + step) % 101);
  });
  return true;
}

// ---- Formatting ----------------------------------------------------------------------

std::string FormatMessageText(std::string_view pattern, std::initializer_list<MessageArg> args) {
  return FormatMessageText(pattern, std::vector<MessageArg>(args));
}

std::string FormatMessageText(std::string_view pattern, const std::vector<MessageArg>& list) {
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out += c;
      continue;
    }
    if (pattern[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    int index = 0;
    while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9' && index < 100) {
      index = index * 10 + (pattern[j] - '0');
      ++j;
    }
    if (j == i + 1 || index < 1 || static_cast<std::size_t>(index) > list.size()) {
      out += c;
      continue;
    }
    // The conversion between "!" and "!", "s" when there is none.
    std::string conversion = "s";
    std::size_t end = j;
    if (j < pattern.size() && pattern[j] == '!') {
      const std::size_t close = pattern.find('!', j + 1);
      if (close != std::string_view::npos && close > j + 1 && close - j < 16) {
        conversion = std::string(pattern.substr(j + 1, close - j - 1));
        end = close + 1;
      }
    }
    // Only flags, width and precision may precede the conversion letter.
    bool valid = !conversion.empty();
    for (std::size_t k = 0; valid && k + 1 < conversion.size(); ++k) {
      const char f = conversion[k];
      valid = (f >= '0' && f <= '9') || f == '-' || f == '+' || f == ' ' || f == '#' || f == '.';
    }
    const MessageArg& arg = list[static_cast<std::size_t>(index) - 1];
    const char kind = valid ? conversion.back() : '?';
    const std::string format = valid ? "%" + conversion.substr(0, conversion.size() - 1) : std::string();
    if (kind == 'd' || kind == 'i' || kind == 'u' || kind == 'x' || kind == 'X') {
      const long long n = arg.isNumber ? arg.number : std::atoll(arg.text.c_str());
      out += Format((format + "ll" + kind).c_str(), n);
    } else if (kind == 's') {
      const std::string text = arg.isNumber ? std::to_string(arg.number) : arg.text;
      out += Format((format + "s").c_str(), text.c_str());
    } else {
      out += arg.isNumber ? std::to_string(arg.number) : arg.text;
    }
    i = end - 1;
  }
  return out;
}

std::string TimeRemainingText(std::string_view pattern, std::initializer_list<MessageArg> leading, long remaining) {
  std::vector<MessageArg> args(leading);
  // Markers that cannot occur in a language library's text stand for the
  // minutes and the seconds until it is known what they are.
  static const std::string kMinutes = "\x01", kSeconds = "\x02";
  args.emplace_back(kMinutes);
  args.emplace_back(kSeconds);
  std::string out = FormatMessageText(pattern, args);
  const std::size_t m = out.find(kMinutes), s = out.find(kSeconds);
  if (remaining < 0) {
    static const std::string kEstimating = "estimating";
    if (m != std::string::npos && s != std::string::npos && m < s) {
      out.replace(m, s + 1 - m, kEstimating);
    } else {
      if (m != std::string::npos) out.replace(m, 1, kEstimating);
      const std::size_t s2 = out.find(kSeconds);
      if (s2 != std::string::npos) out.erase(s2, 1);
    }
    return out;
  }
  const long minutes = remaining / 60, seconds = remaining % 60;
  if (m != std::string::npos) out.replace(m, 1, std::to_string(minutes));
  const std::size_t s2 = out.find(kSeconds);
  if (s2 != std::string::npos) out.replace(s2, 1, (seconds < 10 ? "0" : "") + std::to_string(seconds));
  return out;
}

}  // namespace vexa::core
