// The program's own resources: the usage text, the captions of its message
// boxes and the fixed failure text, by string id.
#pragma once

namespace vexa::app {

enum VexaStringId : int {
  IDS_USAGE = 1,
  IDS_ERROR_CAPTION = 17,
  IDS_MESSAGE_CAPTION = 18,
  IDS_FAILURE_TEXT = 4402,
};

// Built-in fallbacks of the captions and the failure text, used when the
// resource cannot be loaded.
inline constexpr char kErrorCaptionFallback[] = "Kv Orlune Disc Creator Software - Error";
inline constexpr char kMessageCaptionFallback[] = "Kv Orlune Disc Creator Software - Message";
inline constexpr char kFailureTextFallback[] =
    "The orlune disc creator software detected a problem and cannot continue.\r\n\r\n"
    "Try the following in the order given:\r\n"
    "   - Reboot your computer.\r\n"
    "   - Check for a newer version of the software. From the wizard home screen, click About, "
    "Update.\r\n"
    "   - Uninstall the software and reinstall.";

// The text of string id, or null when the program has no such string.
const char* FindStringResource(int id);

}  // namespace vexa::app
