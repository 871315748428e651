#include "ui/controls/resource_images.h"

#include <QFile>

namespace dorvak {

QImage loadBitmapResource(int number) {
    return QImage(QStringLiteral(":/bitmaps/%1.png").arg(number));
}

QImage loadIconResource(int number, bool small) {
    return QImage(small ? QStringLiteral(":/icons/16/%1.png").arg(number)
                        : QStringLiteral(":/icons/%1.png").arg(number));
}

QByteArray loadStringResource(int number) {
    QFile f(QStringLiteral(":/strings/%1.txt").arg(number));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

} // namespace dorvak
