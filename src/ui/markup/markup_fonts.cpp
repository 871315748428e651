#include "ui/markup/markup_fonts.h"

#include <QFontDatabase>

#include <algorithm>

#include "ui/markup/style_sheet.h"

namespace dorvak {

namespace {

struct FaceChoice {
    const char* face;
    const char* candidates[4];
};

// First installed candidate wins. Liberation faces share Arial's, Times New
// Roman's and Courier New's advance widths; DejaVu Sans is the nearest
// common face to Verdana's wide humanist design.
const FaceChoice kFaces[] = {
    {"verdana", {"DejaVu Sans", "Verdana", "Liberation Sans", nullptr}},
    {"tahoma", {"DejaVu Sans", "Tahoma", "Liberation Sans", nullptr}},
    {"arial", {"Liberation Sans", "Arimo", "Arial", "DejaVu Sans"}},
    {"helvetica", {"Liberation Sans", "Arimo", "DejaVu Sans", nullptr}},
    {"ms sans serif", {"Liberation Sans", "DejaVu Sans", nullptr, nullptr}},
    {"courier", {"Liberation Mono", "Cousine", "DejaVu Sans Mono", nullptr}},
    {"courier new", {"Liberation Mono", "Cousine", "DejaVu Sans Mono", nullptr}},
    {"times new roman", {"Liberation Serif", "Tinos", "DejaVu Serif", nullptr}},
    {"times", {"Liberation Serif", "Tinos", "DejaVu Serif", nullptr}},
};

} // namespace

QString resolveFontFamily(const QByteArray& face) {
    static QHash<QByteArray, QString> resolved;
    const QByteArray key = face.trimmed().toLower();
    const auto it = resolved.constFind(key);
    if (it != resolved.constEnd()) return it.value();
    QString family = QString::fromLatin1(face.trimmed());
    for (const FaceChoice& choice : kFaces) {
        if (key != choice.face) continue;
        for (const char* candidate : choice.candidates) {
            if (candidate && QFontDatabase::hasFamily(QString::fromLatin1(candidate))) {
                family = QString::fromLatin1(candidate);
                break;
            }
        }
        break;
    }
    resolved.insert(key, family);
    return family;
}

std::shared_ptr<const MarkupFont> FontCache::get(const StyleState& s) {
    const int height = std::max(1, s.fontHeight);
    QByteArray key = s.face;
    key += '/' + QByteArray::number(height) + '/' + QByteArray::number(s.weight);
    key += s.italic ? 'i' : '-';
    key += s.underline ? 'u' : '-';
    key += s.strikeOut ? 's' : '-';
    if (auto it = fonts_.constFind(key); it != fonts_.constEnd()) return it.value();
    if (fonts_.size() > 512) fonts_.clear(); // bounded: hostile markup can ask for many sizes

    QFont font(resolveFontFamily(s.face));
    font.setPixelSize(height);
    font.setWeight(static_cast<QFont::Weight>(std::clamp(s.weight, 1, 1000)));
    font.setItalic(s.italic);
    font.setUnderline(s.underline);
    font.setStrikeOut(s.strikeOut);
    font.setKerning(false); // run widths then add up the same however a text is cut
    auto entry = std::make_shared<MarkupFont>(MarkupFont{font, QFontMetrics(font), 0, 0, 0});
    entry->ascent = entry->metrics.ascent();
    entry->height = entry->metrics.height();
    entry->xHeight = entry->metrics.boundingRect(QLatin1Char('x')).height();
    fonts_.insert(key, entry);
    return entry;
}

} // namespace dorvak
