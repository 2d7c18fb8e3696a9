#include "apps/vexa/Resources.h"

namespace vexa::app {

namespace {

struct StringResource {
  int id;
  const char* text;
};

constexpr StringResource kStrings[] = {
    {IDS_USAGE,
     "Usage: vexa[options] [Orlune disc XML file]\r\n"
     "Options:\r\n"
     "   [/r:status] Display status/error dialogs only.\r\n"
     "   [/r:silent] No visual output; status/errors sent to Orlune Disc log.\r\n"
     "   [/t1:title1,/t2:title2,/t3:title3] Title strings. Any may be omitted.\r\n"
     "   [/td] Create a default title screen using the current date/time.\r\n"
     "   [/m:[musicfile]] Full path to valid music file or CD audio track. Can be empty String.\r\n"
     "   [/p:pauseinterval] Display interval between images in seconds. Default 5. Minimum 2.\r\n"
     "   [/f:TVSystem] NTCS or PAL. Sets TV system. Default location dependent.\r\n"
     "   [/l:papersize] A4 or Letter. Sets paper size for printing. Location dependent.\r\n"
     "   [/s:startscreen] Sets the start screen. Must be a number from 0 to 5.\r\n"
     "   [/b:burnspeed] Sets burn speed. Must be a number > 0.\r\n"
     "   [/d:imagedirectory] Use all valid images in directory. Invoke multiple times.\r\n"
     "   [/i:imagelistfile] Full path to file containing a list of unicode image paths.\r\n"
     "   [/q] Indicates input XML file is in Marwick format.\r\n"
     "   [/h] Display this message.\r\n"
     "   [XML file] Full path to XML file in Orlune disc format. See /q."},
    {IDS_ERROR_CAPTION, kErrorCaptionFallback},
    {IDS_MESSAGE_CAPTION, kMessageCaptionFallback},
    {IDS_FAILURE_TEXT, kFailureTextFallback},
};

}  // namespace

const char* FindStringResource(int id) {
  for (const StringResource& s : kStrings) {
    if (s.id == id) return s.text;
  }
  return nullptr;
}

}  // namespace vexa::app
