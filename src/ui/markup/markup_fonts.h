// Fonts of the markup. The texts name Windows faces (Verdana, Arial, Courier);
// here they resolve to installed metric-compatible faces so measurements are
// the same on every machine that has the packaged fonts. Fonts and their
// metrics are cached because the passes switch fonts on every styled tag.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QHash>

#include <memory>

namespace dorvak {

struct StyleState;

struct MarkupFont {
    QFont font;
    QFontMetrics metrics;
    int ascent = 0;
    int height = 0;  // ascent + descent
    int xHeight = 0; // height of the text "x"
};

// The installed family that stands for a face named in markup ("verdana" ->
// DejaVu Sans, "arial" -> Liberation Sans, "courier" -> Liberation Mono ...).
// Unknown faces are returned unchanged and left to fontconfig.
QString resolveFontFamily(const QByteArray& face);

class FontCache {
public:
    // Shared so a holder stays valid when the cache is trimmed.
    std::shared_ptr<const MarkupFont> get(const StyleState& state);
    void clear() { fonts_.clear(); }

private:
    QHash<QByteArray, std::shared_ptr<MarkupFont>> fonts_;
};

} // namespace dorvak
