// A picture written to a file the way every output of the system is
// written: encoded in memory, then put in place whole by the careful writer
// (a symbolic link or another user's file at the path is refused).
#pragma once

#include <QImage>
#include <string>

#include "uicommon/common/CommonExport.h"

namespace vexa::ui {

// Encodes image in the format the path's extension names (PNG without one)
// and writes it to path. False, with the reason in *why, when it cannot.
VEXATHUMCOMMON_API bool WriteImageFile(const QImage& image, const std::string& path, std::string* why);

}  // namespace vexa::ui
