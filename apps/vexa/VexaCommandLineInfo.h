// CVexaCommandLineInfo: what vexa's command line asks for.
//
// An argument that begins with "/" or "-" is a switch when the rest of it
// has one of the forms of the switch table (matched case-insensitively);
// otherwise an argument that begins with "/" and holds a further "/" is a
// path (an absolute album file), and anything else that begins with "/" or
// "-" is a bad parameter. "--" ends the switches: every argument after it
// is a plain argument, so a path such as "/t1/album.xml" can be given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::app {

class CVexaCommandLineInfo {
 public:
  // Values of the TV system and paper choices.
  enum : std::int32_t { kTVNTSC = 0, kTVPAL = 1, kTVNotGiven = 2 };
  enum : std::int32_t { kPaperLetter = 0, kPaperA4 = 1, kPaperNotGiven = 2 };

  bool defaultTitle = false;         // /td
  bool statusMode = false;           // /r:status
  bool silentMode = false;           // /r:silent
  std::int32_t tvSystem = kTVNotGiven;
  std::int32_t paperSize = kPaperNotGiven;
  bool help = false;                 // /h, and /?, /help, --help as people type them
  bool badParameter = false;
  std::int32_t stillDelay = -1;      // -1: not given
  std::int32_t burnSpeed = -1;
  std::int32_t startScreen = -1;
  std::string musicFile;
  std::string imageListFile;
  // One entry per /d: argument, in the order given; a directory's name is
  // taken whole, whatever characters it holds.
  std::vector<std::string> imageDirectories;
  std::string title1, title2, title3;
  std::string albumFile;
  bool marwick = false;              // /q
  bool emptyMusic = false;           // /m: with nothing behind it
  bool noMusicGiven = true;          // cleared by /m:<file>
  // The arguments refused (unknown switches and refused values), as given.
  std::vector<std::string> refused;

  // Takes one switch (param without its leading "/" or "-", isFlag true) or
  // one plain argument (isFlag false). Refused values are logged through the
  // log routine and count as not given.
  void ParseParam(std::string_view param, bool isFlag);

  // True when body (a switch without its leading character) has one of the
  // switch table's forms.
  static bool IsSwitchForm(std::string_view body);
};

// Parses the arguments that follow the program's name.
void ParseCommandLine(const std::vector<std::string>& args, CVexaCommandLineInfo* info);

// A decimal integer from the leading sign and digits of text, after any
// leading white space; 0 when there are none; held to the 32-bit range.
std::int32_t LeadingInteger(std::string_view text);

}  // namespace vexa::app
