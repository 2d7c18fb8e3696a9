#include "uicommon/common/ImageFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QFileInfo>
#include <string_view>

#include "platform/base/Path.h"

namespace vexa::ui {

bool WriteImageFile(const QImage& image, const std::string& path, std::string* why) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QByteArray format = QFileInfo(QString::fromStdString(path)).suffix().toUpper().toLatin1();
  if (format.isEmpty()) format = "PNG";
  if (!image.save(&buffer, format.constData())) {
    if (why) *why = "cannot encode the picture as " + format.toStdString();
    return false;
  }
  return base::WriteFileAtomic(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                               why);
}

}  // namespace vexa::ui
