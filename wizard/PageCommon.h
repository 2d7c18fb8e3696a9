// What the pages share: their template loaded from the language bundle,
// controls found by id, the meter placed on a page, and the hooks the
// sheet calls when a page is shown, left or cancelled.
#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>
#include <string>

#include "wizard/PropSheet.h"

namespace vexa::wiz {

class CvexaDiscUsageDlg;

template <typename T>
T* Ctl(QWidget* root, int id) {
  return root->findChild<T*>(QString("ctl_%1").arg(id));
}

// Loads template id into w; false when the bundle lacks it.
bool LoadForm(QWidget* w, int id);
// A toolbar button's icon from the bundle: the normal icon, and the hot one
// shown while the pointer is over the button (null when the bundle lacks them).
QIcon ToolbarIcon(int normalId, int hotId);
// A meter put into the placeholder with that id, on the page's background.
CvexaDiscUsageDlg* PlaceMeter(QWidget* root, int placeId);
QString QText(int id, const char* fallback);
// A format text with one number where "%d"/"%ld" stands.
QString FormatCount(int id, const char* fallback, long long number);

// The settings page's answer to "is the disc NTSC?": false only for the two
// TV systems made as PAL (PAL and SECAM).
bool IsNTSC();
// An audio source that exists: a file, or an audio-CD track of a drive
// that exists ("<drive>/TrackNN.cda").
bool AudioSourceExists(const std::string& path);

}  // namespace vexa::wiz
