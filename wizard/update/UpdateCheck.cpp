#include "wizard/update/UpdateCheck.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QDir>
#include <QTimer>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "platform/base/File.h"
#include "platform/base/Path.h"
#include "platform/base/Text.h"
#include "wizard/common/Language.h"
#include "wizard/common/WizUtil.h"
#include "wizard/dialogs/MessageBox.h"
#include "wizard/ui/FileDialogs.h"
#include "wizard/ui/Forms.h"
#include "wizard/ui/Launcher.h"
#include "wizard/update/HttpTransfer.h"

namespace vexa::wiz {

using vexa::reg::Hive;

namespace {

// Where the project's updates would be published.
constexpr char kDefaultVersionUrl[] = "https://updates.vexa.example/orlunedisc/version?";
constexpr char kDefaultDownloadUrl[] = "https://updates.vexa.example/orlunedisc/download?";
constexpr std::size_t kReplyLimit = 259;

SaveFileHook& SaveHook() {
  static SaveFileHook hook;
  return hook;
}

std::string Text(const WizServices& wiz, int id, const char* fallback) { return wiz.LoadString(id, fallback); }

bool ProductValueIfPresent(const char* name, std::string* out) {
  return CVexaWizUtil::ReadRegistryString(Hive::LocalMachine, kWizProductKey, name, out);
}

void SetIcons(const WizServices& wiz, QWidget* w) {
  if (wiz.language) {
    const QIcon icon = wiz.language->Icon(128);
    if (!icon.isNull()) w->setWindowIcon(icon);
  }
}

void Centre(QWidget* w) {
  if (QScreen* screen = QApplication::primaryScreen()) {
    const QRect r = screen->availableGeometry();
    w->move(r.center() - QPoint(w->width() / 2, w->height() / 2));
  }
}

// Builds a dialog from its template; false when the bundle lacks it.
bool Build(const WizServices& wiz, QDialog* dialog, int id) {
  dialog->setObjectName(QString("dialog%1").arg(id));
  if (!LoadForm(wiz, dialog, id)) {
    wiz.LogError(Format("CvexaUpdate - Cannot load dialog template %d.", id), false);
    return false;
  }
  SetIcons(wiz, dialog);
  if (auto* ok = Ctl<QAbstractButton>(dialog, 1)) QObject::connect(ok, &QAbstractButton::clicked, dialog, &QDialog::accept);
  if (auto* cancel = Ctl<QAbstractButton>(dialog, 2))
    QObject::connect(cancel, &QAbstractButton::clicked, dialog, &QDialog::reject);
  return true;
}

void Notice(const WizServices& wiz, QWidget*, int id, const char* fallback, int captionId, const char* captionFallback) {
  ShowPlainMessage(wiz, MB_OK | MB_ICONEXCLAMATION, Text(wiz, captionId, captionFallback), Text(wiz, id, fallback));
}

// ---- The download (dialog 118's OK) -----------------------------------------------------

// Where the save dialog first points: the user's download folder.
std::string DownloadFolder() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  return folder.isEmpty() ? QDir::homePath().toStdString() : folder.toStdString();
}

void DownloadFailed(const WizServices& wiz, int id, const char* fallback) { Notice(wiz, nullptr, id, fallback, 57043, "Error"); }

// The name the package is saved under when it goes to the desktop's
// opener: ours, never the server's, so the server chooses neither where it
// lands nor (by an extension) what the desktop does with it.
constexpr char kPackageName[] = "kvod-update-package";

UpdateOutcome Download(WizServices& wiz, const VersionReply& version, int choice) {
  wiz.LogInfo("User is going to download newer version");
  const std::string url = DownloadUrl(wiz, version.fullPackage);
  if (!IsHttpsUrl(url)) {
    wiz.LogError("CvexaUpdate - The download address is not https and is not used: " + url, false);
    DownloadFailed(wiz, 57170, "An internet error occurred, try again later.");
    return UpdateOutcome::Nothing;
  }
  HttpTransfer transfer(url, {UserAgentHeader(), "Pragma: no-cache", "Cache-Control: no-cache"}, false);
  HttpReply head = transfer.RunToBody();
  if (!head.error.empty()) {
    wiz.LogError("CvexaUpdate - The download failed: " + head.error, false);
    DownloadFailed(wiz, 57170, "An internet error occurred, try again later.");
    return UpdateOutcome::Nothing;
  }
  // Only a package the server actually sent is kept.
  if (head.status != 200) {
    DownloadFailed(wiz, 57170, "An internet error occurred, try again later.");
    return UpdateOutcome::Nothing;
  }
  // The server's name for the package is only text: the suggestion of the
  // save dialog, and the log.
  const std::string serverName = SafeDownloadName(head.contentDisposition);
  if (!serverName.empty()) wiz.LogInfo("The server names the package " + serverName);

  // A package to open goes into a new folder of the user's alone (mode
  // 0700, made by mkdtemp), so no other user can have put a file or link
  // there first.
  struct RemoveUnlessKept {
    std::string folder;
    bool kept = false;
    ~RemoveUnlessKept() {
      if (!folder.empty() && !kept) base::RemoveAll(folder);
    }
  } folderGuard;
  std::string target;
  if (choice == 0) {
    const std::string suggested =
        base::JoinPath(DownloadFolder(), serverName.empty() ? std::string(kPackageName) : serverName);
    if (SaveHook()) {
      target = SaveHook()(suggested);
    } else {
      // The dialog only names the file; it changes nothing on disk itself.
      std::unique_ptr<QFileDialog> dialog(NewFileDialog(nullptr, QText(wiz, 57295, "Save Kv Orlune Disc install package"),
                                                        QString::fromStdString(base::DirName(suggested))));
      dialog->setAcceptMode(QFileDialog::AcceptSave);
      dialog->selectFile(QString::fromStdString(suggested));
      if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        target = dialog->selectedFiles().front().toStdString();
    }
    if (target.empty()) {
      transfer.Cancel();
      return UpdateOutcome::Nothing;
    }
  } else {
    folderGuard.folder = base::MakeTempDir(base::TempDirectory(), "kvod-update-");
    if (folderGuard.folder.empty()) {
      transfer.Cancel();
      DownloadFailed(wiz, 57297, "Unable to get a temporary file path for the download.\n");
      return UpdateOutcome::Nothing;
    }
    target = base::JoinPath(folderGuard.folder, kPackageName);
  }

  base::OutputFile out;
  if (!out.Open(target)) {
    transfer.Cancel();
    wiz.LogError("CvexaUpdate - " + out.Error(), false);
    DownloadFailed(wiz, 57299, "Unable to create the download file.\nCheck your free disk space");
    return UpdateOutcome::Nothing;
  }

  QDialog progress;
  const bool haveProgress = Build(wiz, &progress, 119);
  auto* bar = Ctl<QProgressBar>(&progress, 1165);
  auto* percentText = Ctl<QLabel>(&progress, 1166);
  bool cancelled = false;
  if (auto* cancel = Ctl<QAbstractButton>(&progress, 2)) {
    QObject::disconnect(cancel, nullptr, &progress, nullptr);
    QObject::connect(cancel, &QAbstractButton::clicked, &progress, [&] {
      cancelled = true;
      transfer.Cancel();
    });
  }
  if (bar) {
    bar->setRange(0, 100);
    bar->setValue(0);
  }
  if (haveProgress) {
    progress.show();
    Centre(&progress);
  }

  std::uint64_t written = 0;
  const std::uint64_t total = version.fullPackageSize > 0 ? static_cast<std::uint64_t>(version.fullPackageSize) : 0;
  bool writeFailed = false;
  transfer.SetSink([&](const char* data, std::size_t size) {
    if (!out.Write(data, size)) {
      writeFailed = true;
      return false;
    }
    written += size;
    const unsigned percent = total ? static_cast<unsigned>(std::min<std::uint64_t>(written * 100 / total, 100)) : 0;
    if (bar) bar->setValue(static_cast<int>(percent));
    if (percentText) percentText->setText(QText(wiz, 57306, "%1% complete").arg(percent));
    return !cancelled;
  });
  const HttpReply body = transfer.Resume();
  progress.hide();

  if (cancelled || body.cancelled) {
    out.Discard();
    return UpdateOutcome::Nothing;
  }
  if (writeFailed) {
    out.Discard();
    DownloadFailed(wiz, 57299, "Unable to create the download file.\nCheck your free disk space");
    return UpdateOutcome::Nothing;
  }
  if (!body.transferred) {
    out.Discard();
    DownloadFailed(wiz, 57170, "An internet error occurred, try again later.");
    return UpdateOutcome::Nothing;
  }
  // A package to run must be complete: its size is the announced size.
  if (choice == 1 && written != total) {
    out.Discard();
    DownloadFailed(wiz, 57304, "Unable to execute the download file.");
    return UpdateOutcome::Nothing;
  }
  if (!out.Commit()) {
    DownloadFailed(wiz, 57300, "Error closing the download file.");
    return UpdateOutcome::Nothing;
  }

  if (choice == 0) {
    wiz.LogInfo("User selected DOWNLOAD_AND_SAVE");
    ShowPlainMessage(wiz, MB_OK | MB_ICONEXCLAMATION, Text(wiz, 57302, "REMINDER"),
                     Text(wiz, 57301, "Please remember where you saved the file:\n") + target);
    return UpdateOutcome::Nothing;
  }
  wiz.LogInfo("User selected DOWNLOAD_AND_EXECUTE");
  if (vexa::reg::SetValue(Hive::CurrentUser, kWizProductKey, "DownloadFile", vexa::reg::Value::String(target)) !=
      vexa::reg::Status::Ok) {
    folderGuard.kept = true;
    DownloadFailed(wiz, 57303, "Error saving the download file name\nThe file will be left in the TEMP directory.");
    return UpdateOutcome::Nothing;
  }
  // The package is handed to the desktop's opener, never run here; its
  // folder stays for the program the opener starts.
  if (!Launch("open", target)) {
    DownloadFailed(wiz, 57304, "Unable to execute the download file.");
    return UpdateOutcome::Nothing;
  }
  folderGuard.kept = true;
  return UpdateOutcome::CloseWizard;
}

// ---- Dialog 118: the offer --------------------------------------------------------------------

UpdateOutcome RunAvailable(WizServices& wiz, const VersionReply& version) {
  QDialog dialog;
  if (!Build(wiz, &dialog, 118)) return UpdateOutcome::Nothing;
  const std::string face = Text(wiz, 154, "MS Sans Serif");
  const int size = std::atoi(Text(wiz, 156, "90").c_str());
  QFont font(QString::fromStdString(face));
  if (size > 0) font.setPointSizeF(size / 10.0);
  dialog.setFont(font);
  auto* save = Ctl<QRadioButton>(&dialog, 1161);
  auto* run = Ctl<QRadioButton>(&dialog, 1162);
  if (save) save->setChecked(true);
  dialog.raise();
  dialog.activateWindow();
  if (dialog.exec() != QDialog::Accepted) {
    wiz.LogInfo("User canceled out of downloading a newer version.");
    return UpdateOutcome::Nothing;
  }
  const int choice = run && run->isChecked() ? 1 : 0;
  return Download(wiz, version, choice);
}

// ---- The version query (button 1159) --------------------------------------------------------

UpdateOutcome QueryVersion(WizServices& wiz) {
  QDialog wait;
  if (Build(wiz, &wait, 117)) {
    wait.show();
    Centre(&wait);
    CVexaWizUtil::PumpMessages();
  }
  auto queryError = [&](int id, const char* fallback) {
    wait.hide();
    Notice(wiz, nullptr, id, fallback, 57166, "Version Check Error");
    return UpdateOutcome::Nothing;
  };
  const std::string url = VersionQueryUrl(wiz);
  if (url.empty())
    return queryError(57165, "ERROR: Unable to get Kv Orlune Disc version information.\nTry reinstalling Kv Orlune Disc.");
  // Only an https address is asked: the reply names the package to fetch.
  if (!IsHttpsUrl(url)) {
    wiz.LogError("CvexaUpdate - The update server's address is not https and is not used: " + url, false);
    return queryError(57167,
                      "ERROR: Unable to parse Kv Orlune Disc version information.\nTry reinstalling Kv Orlune Disc.");
  }
  wiz.LogInfo(Text(wiz, 57360, "Version check request: ") + url);

  std::string body;
  HttpTransfer transfer(url, {UserAgentHeader(), "Pragma: no-cache", "Cache-Control: no-cache"}, true);
  transfer.SetBodyLimit(kReplyLimit);
  transfer.SetSink([&](const char* data, std::size_t size) {
    body.append(data, size);
    return true;
  });
  const HttpReply reply = transfer.Run();
  if (!reply.error.empty()) {
    wait.hide();
    Notice(wiz, nullptr, 57170, "An internet error occurred, try again later.", 57043, "Error");
    return UpdateOutcome::Nothing;
  }
  if (!reply.transferred || reply.status != 200)
    return queryError(57168, "ERROR: Unable to retrieve Kv Orlune Disc\nversion information - Try again later.");
  wait.hide();
  VersionReply version;
  if (!ReplyNamesNewer(body) || !ParseVersionReply(body, &version) || version.versionResult < 1) {
    ShowPlainMessage(wiz, MB_OK, "Kv Orlune Disc Creator", Text(wiz, 57169, "No newer Kv Orlune Disc software is available."));
    return UpdateOutcome::Nothing;
  }
  wiz.LogInfo(Text(wiz, 57361, "Newer version available: ") + std::to_string(version.versionResult));
  return RunAvailable(wiz, version);
}

}  // namespace

// ---- Helpers ------------------------------------------------------------------------------------

bool ReplyNamesNewer(const std::string& reply) {
  return reply.size() > 18 && reply.compare(0, 17, "VexaVersionResult") == 0 && reply[18] != '0';
}

bool ParseVersionReply(const std::string& reply, VersionReply* out) {
  char full[260] = {}, update[260] = {};
  long long fullSize = 0, updateSize = 0;
  int result = 0;
  const int n = std::sscanf(reply.c_str(),
                            "VexaVersionResult=%d FullPackage=%259s FullPackageSize=%lld UpdatePackage=%259s "
                            "UpdatePackageSize=%lld",
                            &result, full, &fullSize, update, &updateSize);
  if (n < 1) return false;
  out->versionResult = result;
  out->fullPackage = full;
  out->fullPackageSize = fullSize;
  out->updatePackage = update;
  out->updatePackageSize = updateSize;
  return true;
}

std::string SafeDownloadName(const std::string& header) {
  // The value after the first '=' (filename=..., or the whole header when
  // the server sent a bare name).
  std::string value;
  const std::size_t eq = header.find('=');
  if (eq != std::string::npos && eq > 0) {
    value = header.substr(eq + 1);
    const std::size_t semi = value.find(';');
    if (semi != std::string::npos) value = value.substr(0, semi);
  } else {
    value = header;
  }
  std::string name;
  for (char c : value) {
    if (c == '"' || c == '\'') continue;
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) continue;
    name += c;
  }
  while (!name.empty() && name.front() == ' ') name.erase(0, 1);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  // Only the last component: a name never leaves the chosen folder.
  const std::size_t sep = name.find_last_of("/\\");
  if (sep != std::string::npos) name = name.substr(sep + 1);
  if (name.empty() || name == "." || name == ".." || name.front() == '.') return std::string();
  if (name.size() > 255) name = base::Utf8CutBytes(name, 255);
  return name;
}

std::string UserAgentHeader() {
  std::string agent = "VEXA_", version = "0.0.0.0";
  std::string v;
  if (ProductValueIfPresent("UserAgent", &v)) agent = v;
  if (ProductValueIfPresent("DownloadVersion", &v)) version = v;
  return base::Utf8CutBytes("User-Agent: " + agent + version, 255);
}

std::string VersionQueryUrl(const WizServices& wiz) {
  std::string tag;
  if (!ProductValueIfPresent("APP_PACKAGE_TAG", &tag)) return std::string();
  std::string base;
  if (!CVexaWizUtil::ReadRegistryString(Hive::LocalMachine, kServerUrlsKey, "KVODVERSIONCGI", &base) || base.empty())
    base = kDefaultVersionUrl;
  std::string version;
  ProductValueIfPresent("DownloadVersion", &version);
  return base + wiz.GetUpdateCheckMode() + "&DownloadVersion=" + UrlEncode(version) +
         "&PackageTag=" + UrlEncode(tag);
}

std::string DownloadUrl(const WizServices& wiz, const std::string& fullPackage) {
  std::string base;
  if (!CVexaWizUtil::ReadRegistryString(Hive::LocalMachine, kServerUrlsKey, "KVODDOWNLOADPATH", &base) ||
      base.empty())
    base = kDefaultDownloadUrl;
  return base + wiz.GetUpdateCheckMode() + "&packageUuid=" + UrlEncode(fullPackage);
}

void SetSaveFileHook(SaveFileHook hook) { SaveHook() = std::move(hook); }

UpdateOutcome RunUpdatePrompt(WizServices& wiz, QWidget*) {
  QDialog dialog;
  if (!Build(wiz, &dialog, 116)) return UpdateOutcome::Nothing;
  // Asked for from the About box, the prompt does not say it has been a
  // while since the last check: the user chose to look now.
  if (wiz.GetUpdateCheckMode() == kCheckManual) {
    if (auto* intro = Ctl<QLabel>(&dialog, 1086))
      intro->setText(QText(wiz, 57362, "Look for a newer version of the Kv Orlune Disc software?"));
  }
  // Opening the prompt counts as a check, whatever the answer.
  wiz.SaveDateLastChecked();
  bool check = false;
  if (auto* button = Ctl<QAbstractButton>(&dialog, 1159)) {
    QObject::connect(button, &QAbstractButton::clicked, &dialog, [&] {
      check = true;
      dialog.accept();
    });
  }
  dialog.exec();
  if (!check) {
    wiz.LogInfo("User decided to update later");
    return UpdateOutcome::Nothing;
  }
  return QueryVersion(wiz);
}

UpdateOutcome CheckForUpdatePrompt(WizServices& wiz, QWidget* parent) {
  // The very first start has no date at all: it has not been a while since
  // anything, so the date is only started here and the prompt comes once
  // the days between checks have passed. (A stored date that cannot be read
  // still prompts at once.)
  std::string stored;
  if (!CVexaWizUtil::ReadRegistryValueAsText(Hive::CurrentUser, kWizProductKey, "DateLastCheckedForUpdate", &stored)) {
    wiz.LogInfo("CVexaWizUtil: First start, the update check is counted from today");
    wiz.SaveDateLastChecked();
    return UpdateOutcome::Nothing;
  }
  const std::time_t last = CVexaWizUtil::GetDateLastChecked();
  bool due = true;
  if (last != 0) {
    const auto now = std::chrono::system_clock::to_time_t(wiz.clock->Now());
    const long long days = (static_cast<long long>(now) - static_cast<long long>(last)) / 86400;
    due = CVexaWizUtil::GetMaxDaysBetweenUpdateChecks() <= days;
  }
  if (!due) return UpdateOutcome::Nothing;
  wiz.SetUpdateCheckMode(kCheckTimed);
  wiz.LogInfo("CVexaWizUtil: Time to check for a new version, prompting user");
  return RunUpdatePrompt(wiz, parent);
}

}  // namespace vexa::wiz
