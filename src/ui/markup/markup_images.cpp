#include "ui/markup/markup_images.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QResource>

#include <algorithm>
#include <map>

#include "ui/markup/markup_colors.h"
#include "ui/markup/markup_renderer.h"
#include "ui/markup/style_sheet.h"

namespace dorvak {

namespace {

// Files larger than this are refused before decoding: hostile markup must not
// make the renderer allocate gigabytes.
constexpr int kMaxSourceSide = 8192;

struct HandleTable {
    QMutex mutex;
    std::map<int, QImage> images;
    int next = 1;
};

HandleTable& handles() {
    static HandleTable table;
    return table;
}

QImage readBounded(const QString& path) {
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kMaxSourceSide || size.height() > kMaxSourceSide))
        return {};
    QImage image = reader.read();
    if (image.width() > kMaxSourceSide || image.height() > kMaxSourceSide) return {};
    return image;
}

void parseSize(const QByteArray* value, int* out, bool* percent, const StyleState& s,
               const StyleContext& ctx) {
    if (!value || value->trimmed().isEmpty()) return;
    const QByteArray v = value->trimmed();
    if (v.endsWith('%')) {
        *percent = true;
        *out = std::clamp(parseDecimal(v.left(v.size() - 1)), 0, 100000);
    } else {
        *percent = false;
        *out = std::clamp(parseLength(v, 0, false, s, ctx), 0, MarkupRenderer::kMaxImageSide);
    }
}

int intAttr(const MarkupAttributes& attrs, const char* name, int def) {
    const QByteArray* v = attrs.find(name);
    if (!v) return def;
    return static_cast<int>(std::clamp<long long>(parseCInteger(*v), INT_MIN / 2, INT_MAX / 2));
}

// Box blur of one line of alpha values with a window of `size` samples.
void blurLine(uchar* data, int count, int stride, int size, std::vector<int>& tmp) {
    if (size <= 1 || count <= 0) return;
    const int r = size / 2;
    tmp.assign(count, 0);
    for (int i = 0; i < count; ++i)
        tmp[i] = data[i * stride];
    int sum = 0;
    for (int i = -r; i <= r; ++i)
        sum += (i >= 0 && i < count) ? tmp[i] : 0;
    const int window = 2 * r + 1;
    for (int i = 0; i < count; ++i) {
        data[i * stride] = static_cast<uchar>(sum / window);
        const int out = i - r, in = i + r + 1;
        if (out >= 0) sum -= tmp[out];
        if (in < count) sum += tmp[in];
    }
}

} // namespace

int parseImageStyle(QByteArrayView letters) {
    int flags = 0;
    for (char c : letters) {
        if (c == 'g')
            flags |= kImageGreyscale;
        else if (c == 'd')
            flags |= kImageDarker;
        else if (c == 'l')
            flags |= kImageLighter;
        else if (c == 's')
            flags |= kImageShadow;
    }
    return flags;
}

ImageSpec parseImageSpec(const MarkupAttributes& attrs, const StyleState& s,
                         const StyleContext& ctx) {
    ImageSpec spec;
    spec.index = std::max(0, intAttr(attrs, "index", 0));
    spec.idres = intAttr(attrs, "idres", 0);
    spec.iddll = intAttr(attrs, "iddll", 0);
    spec.handle = intAttr(attrs, "handle", 0);
    spec.cx = std::clamp(intAttr(attrs, "cx", 0), 0, kMaxSourceSide);
    spec.cy = std::clamp(intAttr(attrs, "cy", 0), 0, kMaxSourceSide);
    spec.speed = std::max(0, intAttr(attrs, "speed", 0));
    parseSize(attrs.find("width"), &spec.width, &spec.widthPercent, s, ctx);
    parseSize(attrs.find("height"), &spec.height, &spec.heightPercent, s, ctx);
    if (const QByteArray* v = attrs.find("style")) spec.style = spec.hotStyle = parseImageStyle(*v);
    if (const QByteArray* v = attrs.find("hotstyle")) spec.hotStyle = parseImageStyle(*v);
    if (const QByteArray* v = attrs.find("mask")) {
        spec.hasMask = true;
        // The mask is a key color, so it is never replaced by the disabled color.
        spec.mask = parseMarkupColor(*v, 0xFFFF00FF, *ctx.colors, true, 0);
    }
    if (const QByteArray* v = attrs.find("file")) spec.file = *v;
    if (const QByteArray* v = attrs.find("srcdll")) spec.srcdll = *v;
    return spec;
}

MarkupResources::~MarkupResources() {
    for (auto it = registeredRcc_.cbegin(); it != registeredRcc_.cend(); ++it)
        QResource::unregisterResource(it.key(), it.value());
}

QImage MarkupResources::cached(const QString& key, const std::function<QImage()>& loader) {
    if (auto it = cache_.constFind(key); it != cache_.constEnd()) return it.value();
    if (cache_.size() >= 64) cache_.clear();
    QImage image = loader();
    cache_.insert(key, image);
    return image;
}

QImage MarkupResources::loadProgram(int id, Kind kind) {
    if (id <= 0) return {};
    const QString path =
        QStringLiteral(":/%1/%2.png").arg(kind == Kind::Icon ? "icons" : "bitmaps").arg(id);
    return cached(path, [&] { return QFile::exists(path) ? readBounded(path) : QImage(); });
}

QImage MarkupResources::loadFile(const QByteArray& path) {
    if (path.isEmpty()) return {};
    const QString name = QString::fromLocal8Bit(path);
    return cached(QStringLiteral("file:") + name, [&] {
        const QFileInfo info(name);
        return info.isFile() && info.isReadable() ? readBounded(name) : QImage();
    });
}

QString MarkupResources::libraryRoot(const QString& path) {
    if (path.isEmpty()) return {};
    if (!path.endsWith(QStringLiteral(".rcc"), Qt::CaseInsensitive)) return path;
    if (auto it = registeredRcc_.constFind(path); it != registeredRcc_.constEnd())
        return ':' + it.value();
    if (registeredRcc_.size() >= 16) return {}; // bound the libraries markup can pull in
    const QString root =
        QStringLiteral("/markup-library/") +
        QString::fromLatin1(
            QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Md5).toHex());
    if (!QResource::registerResource(path, root)) return {};
    registeredRcc_.insert(path, root);
    return ':' + root;
}

QImage MarkupResources::loadLibrary(const QString& library, int id, Kind kind) {
    if (id <= 0) return {};
    const QString root = libraryRoot(library);
    if (root.isEmpty()) return {};
    const QString path =
        QStringLiteral("%1/%2/%3.png").arg(root, kind == Kind::Icon ? "icons" : "bitmaps").arg(id);
    return cached(path, [&] { return QFile::exists(path) ? readBounded(path) : QImage(); });
}

QImage MarkupResources::load(const ImageSpec& spec, Kind kind) {
    if (spec.idres > 0) return loadProgram(spec.idres, kind);
    if (!spec.file.isEmpty()) return loadFile(spec.file);
    if (spec.iddll > 0)
        return loadLibrary(spec.srcdll.isEmpty() ? library_ : QString::fromLocal8Bit(spec.srcdll),
                           spec.iddll, kind);
    if (spec.handle > 0) return handleImage(spec.handle);
    return {};
}

QByteArray MarkupResources::loadString(int id) {
    if (id <= 0) return {};
    QFile file(QStringLiteral(":/strings/%1.txt").arg(id));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray text = file.read(64 * 1024);
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    return text;
}

void MarkupResources::setLibrary(const QString& path, bool owned) {
    if (libraryOwned_ && !library_.isEmpty() && library_ != path) {
        if (auto it = registeredRcc_.constFind(library_); it != registeredRcc_.constEnd()) {
            QResource::unregisterResource(it.key(), it.value());
            registeredRcc_.remove(library_);
        }
    }
    library_ = path;
    libraryOwned_ = owned;
    cache_.clear();
}

int MarkupResources::registerHandle(const QImage& image) {
    HandleTable& t = handles();
    QMutexLocker lock(&t.mutex);
    const int handle = t.next++;
    t.images[handle] = image;
    return handle;
}

void MarkupResources::releaseHandle(int handle) {
    HandleTable& t = handles();
    QMutexLocker lock(&t.mutex);
    t.images.erase(handle);
}

QImage MarkupResources::handleImage(int handle) {
    HandleTable& t = handles();
    QMutexLocker lock(&t.mutex);
    const auto it = t.images.find(handle);
    return it == t.images.end() ? QImage() : it->second;
}

QImage styleImage(const QImage& source, const QRect& from, const QSize& size, int flags,
                  bool hasMask, QRgb mask) {
    if (source.isNull() || from.isEmpty() || size.isEmpty()) return {};
    QImage img = source.copy(from).convertToFormat(QImage::Format_ARGB32);
    if (img.size() != size) img = img.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const QRgb key = mask & 0xFFFFFF;
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            QRgb p = line[x];
            if (hasMask && (p & 0xFFFFFF) == key) {
                line[x] = 0;
                continue;
            }
            double r = qRed(p), g = qGreen(p), b = qBlue(p);
            if (flags & kImageGreyscale) r = g = b = 0.299 * r + 0.587 * g + 0.114 * b;
            if (flags & kImageDarker) r *= 0.75, g *= 0.75, b *= 0.75;
            if (flags & kImageLighter)
                r = std::min(255.0, r * 1.25), g = std::min(255.0, g * 1.25),
                b = std::min(255.0, b * 1.25);
            if (flags & (kImageGreyscale | kImageDarker | kImageLighter))
                line[x] =
                    qRgba(static_cast<int>(r), static_cast<int>(g), static_cast<int>(b), qAlpha(p));
        }
    }
    return img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage makeImageShadow(const QImage& image, QRgb color, bool blur, int blurX, int blurY,
                       QPoint* margin) {
    const int mx = blur ? std::clamp(blurX, 0, 64) / 2 : 0;
    const int my = blur ? std::clamp(blurY, 0, 64) / 2 : 0;
    *margin = QPoint(mx, my);
    const int w = image.width() + 2 * mx, h = image.height() + 2 * my;
    QImage alpha(w, h, QImage::Format_Alpha8);
    alpha.fill(0);
    for (int y = 0; y < image.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* dst = alpha.scanLine(y + my) + mx;
        for (int x = 0; x < image.width(); ++x)
            dst[x] = qAlpha(src[x]);
    }
    if (blur) {
        std::vector<int> tmp;
        for (int y = 0; y < h; ++y)
            blurLine(alpha.scanLine(y), w, 1, 2 * mx + 1, tmp);
        for (int x = 0; x < w; ++x)
            blurLine(alpha.bits() + x, h, static_cast<int>(alpha.bytesPerLine()), 2 * my + 1, tmp);
    }
    QImage shadow(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        const uchar* a = alpha.constScanLine(y);
        auto* dst = reinterpret_cast<QRgb*>(shadow.scanLine(y));
        for (int x = 0; x < w; ++x)
            dst[x] = qPremultiply(qRgba(qRed(color), qGreen(color), qBlue(color), a[x]));
    }
    return shadow;
}

} // namespace dorvak
