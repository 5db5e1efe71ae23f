#include "controls/face_pictures.h"

#include <QString>

// Outside any namespace: the macro declares the resource's init function.
static void InitResourcesOnce() { Q_INIT_RESOURCE(command_faces); }

namespace sievetext {

void InitControlResources() {
  static const bool done = (InitResourcesOnce(), true);
  (void)done;
}

QImage LoadFacePicture(FacePicture picture) {
  InitControlResources();
  const std::string_view name = FacePictureName(picture);
  const QString path = QStringLiteral(":/sievetext/faces/") +
                       QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())) +
                       QStringLiteral(".bmp");
  return QImage(path).convertToFormat(QImage::Format_RGB32);
}

}  // namespace sievetext
