#include "apps/vexa/VexaCommandLineInfo.h"

#include <limits>

#include "apps/vexa/VexaUtil.h"
#include "platform/base/Text.h"

namespace vexa::app {

namespace {

// Switches of more than two characters are told apart by their first two.
constexpr std::string_view kLongPrefixes[] = {"d:", "i:", "l:", "f:", "t1", "t2",
                                              "t3", "m:", "p:", "b:", "s:"};
constexpr std::string_view kShortSwitches[] = {"h", "q", "td", "m:", "?"};
// The other ways people ask a program for its usage: /?, /help, -help, --help.
constexpr std::string_view kHelpWords[] = {"?", "help", "-help"};

}  // namespace

std::int32_t LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                             text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

bool CVexaCommandLineInfo::IsSwitchForm(std::string_view body) {
  const std::string lower = vexa::base::ToLowerAscii(body);
  if (lower.size() <= 2) {
    for (std::string_view s : kShortSwitches) {
      if (lower == s) return true;
    }
    return false;
  }
  if (lower == "r:status" || lower == "r:silent") return true;
  for (std::string_view w : kHelpWords) {
    if (lower == w) return true;
  }
  for (std::string_view p : kLongPrefixes) {
    if (lower.compare(0, 2, p) == 0) return true;
  }
  return false;
}

void CVexaCommandLineInfo::ParseParam(std::string_view param, bool isFlag) {
  if (!isFlag) {
    albumFile = std::string(param);
    return;
  }
  const std::string lower = vexa::base::ToLowerAscii(param);
  for (std::string_view w : kHelpWords) {
    if (lower == w) {
      help = true;
      return;
    }
  }
  if (lower.size() <= 2) {
    if (lower == "h") {
      help = true;
    } else if (lower == "q") {
      marwick = true;
    } else if (lower == "td") {
      defaultTitle = true;
    } else if (lower == "m:") {
      emptyMusic = true;
    } else {
      badParameter = true;
    }
    return;
  }
  if (lower == "r:status") {
    statusMode = true;
    silentMode = false;
    return;
  }
  if (lower == "r:silent") {
    silentMode = true;
    statusMode = false;
    return;
  }
  const std::string_view key = std::string_view(lower).substr(0, 2);
  const std::string_view value = param.substr(2);
  if (key == "t1" || key == "t2" || key == "t3") {
    // Only "/tN:text" sets a line; "/tNx..." is passed over.
    if (param[2] != ':') return;
    std::string& line = key == "t1" ? title1 : key == "t2" ? title2 : title3;
    line = std::string(param.substr(3));
  } else if (key == "d:") {
    imageDirectories.emplace_back(value);
  } else if (key == "i:") {
    imageListFile = std::string(value);
  } else if (key == "l:") {
    if (vexa::base::EqualsNoCase(value, "Letter")) paperSize = kPaperLetter;
    else if (vexa::base::EqualsNoCase(value, "A4")) paperSize = kPaperA4;
  } else if (key == "f:") {
    if (vexa::base::EqualsNoCase(value, "NTSC")) tvSystem = kTVNTSC;
    else if (vexa::base::EqualsNoCase(value, "PAL")) tvSystem = kTVPAL;
  } else if (key == "m:") {
    musicFile = std::string(value);
    noMusicGiven = false;
  } else if (key == "p:") {
    stillDelay = LeadingInteger(value);
    if (stillDelay <= 0) {
      // The value as it was given: "abc" is no number, not a 0.
      CVexaUtil::Log(CVexaUtil::Format("CVexaCommandLineInfo::ParseParam - Invalid delay = %s.",
                                       std::string(value).c_str()),
                     false);
      stillDelay = -1;
      badParameter = true;
    }
  } else if (key == "b:") {
    burnSpeed = LeadingInteger(value);
    if (burnSpeed <= 0) {
      CVexaUtil::Log(CVexaUtil::Format("CVexaCommandLineInfo::ParseParam - Invalid burn speed = %s.",
                                       std::string(value).c_str()),
                     false);
      burnSpeed = -1;
      badParameter = true;
    }
  } else if (key == "s:") {
    startScreen = LeadingInteger(value);
    if (startScreen < 0 || startScreen > 5) {
      CVexaUtil::Log(CVexaUtil::Format(
                         "CVexaCommandLineInfo::ParseParam - Invalid start screen = %d.", startScreen),
                     false);
      startScreen = -1;
      badParameter = true;
    }
  } else {
    badParameter = true;
  }
}

void ParseCommandLine(const std::vector<std::string>& args, CVexaCommandLineInfo* info) {
  bool switchesEnded = false;
  for (const std::string& arg : args) {
    if (switchesEnded) {
      info->ParseParam(arg, false);
      continue;
    }
    if (arg == "--") {
      switchesEnded = true;
      continue;
    }
    if (!arg.empty() && (arg[0] == '/' || arg[0] == '-')) {
      const std::string_view body = std::string_view(arg).substr(1);
      if (!CVexaCommandLineInfo::IsSwitchForm(body) && arg[0] == '/' &&
          body.find('/') != std::string_view::npos) {
        info->ParseParam(arg, false);  // an absolute path
      } else {
        // Each refused switch is kept as it was given, for a run that
        // cannot start to name it.
        const bool seen = info->badParameter;
        info->badParameter = false;
        info->ParseParam(body, true);
        if (info->badParameter) info->refused.push_back(arg);
        info->badParameter = info->badParameter || seen;
      }
      continue;
    }
    info->ParseParam(arg, false);
  }
}

}  // namespace vexa::app
