// Images of the markup: the attributes of <bmp>, <icon> and <ilst>, where the
// pixels come from (program resources, files, a resource library, host
// handles) and the per-pixel styles and drop shadow applied before drawing.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QString>

#include <functional>
#include <vector>

#include "ui/markup/markup_text.h"

namespace dorvak {

struct StyleState;
struct StyleContext;

enum ImageStyleFlag : int {
    kImageGreyscale = 1,
    kImageDarker = 2,
    kImageLighter = 4,
    kImageShadow = 8,
};

struct ImageSpec {
    int index = 0;
    int idres = 0;
    int iddll = 0;
    int handle = 0;
    int cx = 0;
    int cy = 0;
    int width = 100;
    bool widthPercent = true;
    int height = 100;
    bool heightPercent = true;
    int speed = 0;
    int style = 0;
    int hotStyle = 0;
    bool hasMask = false;
    QRgb mask = 0xFFFF00FF;
    QByteArray file;
    QByteArray srcdll;
};

ImageSpec parseImageSpec(const MarkupAttributes& attrs, const StyleState& state,
                         const StyleContext& ctx);
int parseImageStyle(QByteArrayView letters);

// Where <bmp>, <icon>, <ilst>, <string> and table backgrounds find their data.
// Program resources live at :/bitmaps/<id>.png, :/icons/<id>.png and
// :/strings/<id>.txt; a resource library (a directory or a .rcc file) has the
// same layout. Anything missing yields a null image or an empty string.
class MarkupResources {
public:
    ~MarkupResources();
    enum class Kind { Bitmap, Icon };

    QImage load(const ImageSpec& spec, Kind kind);
    QImage loadProgram(int id, Kind kind);
    QImage loadFile(const QByteArray& path);
    QImage loadLibrary(const QString& library, int id, Kind kind);
    QByteArray loadString(int id);

    void setLibrary(const QString& path, bool owned);
    void clearCache() { cache_.clear(); }

    static int registerHandle(const QImage& image);
    static void releaseHandle(int handle);
    static QImage handleImage(int handle);

private:
    QString libraryRoot(const QString& path); // resource root of a directory or .rcc
    QImage cached(const QString& key, const std::function<QImage()>& loader);

    QString library_;
    bool libraryOwned_ = false;
    QHash<QString, QString> registeredRcc_; // .rcc path -> map root
    QHash<QString, QImage> cache_;
};

// Scales `source` (the part `from`) to `size` and applies the mask and the
// style letters; mask-colored pixels become transparent.
QImage styleImage(const QImage& source, const QRect& from, const QSize& size, int flags,
                  bool hasMask, QRgb mask);
// The shadow of an image's opaque shape in `color`, blurred over blurX x blurY
// when `blur` is on. The result is larger than the image by the blur margins:
// draw it at (x + offsetX - margin.x, y + offsetY - margin.y).
QImage makeImageShadow(const QImage& image, QRgb color, bool blur, int blurX, int blurY,
                       QPoint* margin);

} // namespace dorvak
