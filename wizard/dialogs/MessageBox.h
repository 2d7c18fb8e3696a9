// The product message box: every user message of the wizard library goes
// through it, so all of them carry the product's caption and icon; and the
// wizard's fixed failure message.
#pragma once

#include <functional>
#include <string>

namespace vexa::wiz {

// Button types and answers, with the values callers compare.
inline constexpr int MB_OK = 0;
inline constexpr int MB_OKCANCEL = 1;
inline constexpr int MB_ABORTRETRYIGNORE = 2;
inline constexpr int MB_YESNOCANCEL = 3;
inline constexpr int MB_YESNO = 4;
inline constexpr int MB_RETRYCANCEL = 5;
inline constexpr int MB_ICONEXCLAMATION = 0x30;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

class WizServices;

class CvexaMessageBox {
 public:
  explicit CvexaMessageBox(const WizServices& wiz) : m_wiz(wiz) {}
  // Shows text with the product's error or message caption; type is a
  // button type above. Returns the answer.
  int Show(int type, const std::string& text, bool isError, bool showOption = false, bool useSystemBox = true);
  // Set when the option control of the own dialog was clicked.
  bool optionChosen = false;

 private:
  const WizServices& m_wiz;
  int ShowOwnDialog(int type, const std::string& text, bool isError, bool showOption);
};

// The fixed failure message (string 4476) as an error notice.
int ShowFailureMessage(const WizServices& wiz);

// A plain box with a caption of the caller's choosing (the update check's
// boxes); type may carry MB_ICONEXCLAMATION.
int ShowPlainMessage(const WizServices& wiz, int type, const std::string& caption, const std::string& text);

// Tests answer message boxes without showing them: the hook gets the
// button type, the caption and the text and returns the answer. An empty
// hook shows real boxes.
using MessageBoxHook = std::function<int(int type, const std::string& caption, const std::string& text)>;
void SetMessageBoxHook(MessageBoxHook hook);

}  // namespace vexa::wiz
