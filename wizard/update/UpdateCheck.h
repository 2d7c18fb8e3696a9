// The update check: asks the update server whether a newer release exists
// and, if so, downloads the install package and either keeps it where the
// user chooses or hands it to the desktop's opener. Four dialogs carry the
// exchange: the prompt (116), the wait notice (117), the offer (118) and the
// download progress (119).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class QWidget;

namespace vexa::wiz {

class WizServices;

enum class UpdateOutcome {
  Nothing,      // no download, or a download kept where the user chose
  CloseWizard,  // a package went to the desktop's opener: the wizard ends
};

// The parsed version reply.
struct VersionReply {
  int versionResult = 0;
  std::string fullPackage;
  std::int64_t fullPackageSize = 0;
  std::string updatePackage;
  std::int64_t updatePackageSize = 0;
};

// True when the reply names a newer release (more than 18 bytes,
// "VexaVersionResult" first, the character after '=' not '0').
bool ReplyNamesNewer(const std::string& reply);
bool ParseVersionReply(const std::string& reply, VersionReply* out);

// The file name a Content-Disposition header suggests, reduced to a plain
// name (no folders, quotes or control characters); "" when there is none.
std::string SafeDownloadName(const std::string& contentDisposition);

// The User-Agent header and the two request addresses ("" when the package
// tag is missing, for the query).
std::string UserAgentHeader();
std::string VersionQueryUrl(const WizServices& wiz);
std::string DownloadUrl(const WizServices& wiz, const std::string& fullPackage);

// The timed prompt: opens dialog 116 when the days since the last check
// reach the configured maximum.
UpdateOutcome CheckForUpdatePrompt(WizServices& wiz, QWidget* parent);
// Dialog 116 (set the trigger word first).
UpdateOutcome RunUpdatePrompt(WizServices& wiz, QWidget* parent);

// Tests choose the save dialog's answer: the hook gets the suggested path
// and returns the chosen one, "" for Cancel.
using SaveFileHook = std::function<std::string(const std::string& suggested)>;
void SetSaveFileHook(SaveFileHook hook);

}  // namespace vexa::wiz
