// The style model of the markup: StyleState (the current style while walking
// a text), StyleSheet (selector -> declarations, with the built-in sheet) and
// the value parsers shared by tags and declarations (lengths, weights).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QRgb>

#include <functional>
#include <utility>
#include <vector>

#include "ui/markup/background_effects.h"
#include "ui/markup/markup_text.h"
#include "ui/markup/style_values.h"

namespace dorvak {

class ColorTable;

struct StyleState {
    StyleKey key = StyleKey::None;
    int fontHeight = 16;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    bool overline = false;
    QByteArray face = "Verdana";
    QRgb textColor = 0xFF000000;
    QRgb backgroundColor = 0xFFFFFFFF;
    QRgb borderLight = 0xFF000000;
    QRgb borderDark = 0xFF000000;
    QRgb backgroundMiddle = 0xFFFFFFFF;
    QRgb backgroundEnd = 0xFFFFFFFF;
    BackgroundMode backgroundMode = BackgroundMode::Transparent;
    Effect effect = Effect::Transparent;
    QByteArray backgroundImage;
    HAlign align = HAlign::Left;
    VAlign valign = VAlign::Baseline;
    BorderStyle borderStyle = BorderStyle::None;
    int borderWidth = 0;
    int width = 0; // explicit width/height of the current table or cell
    int height = 0;
    TextTransform transform = TextTransform::None;
    int padding = 2;
    int spacing = 0;
    LinkKind linkKind = LinkKind::None;
    QByteArray linkTarget;
    int linkIndex = -1; // number of the enclosing link, for hover styles
};

// What a length or color needs to know about its surroundings.
struct StyleContext {
    const ColorTable* colors = nullptr;
    bool enabled = true;
    QRgb disabledColor = 0xFF808080;
    int dpiY = 96;
    std::function<int(const StyleState&)> exHeight; // height of "x" in the current font
    int maxFontPixels = 512;
};

// Reads a length. `def` is the current value (and the base of percentages);
// `scale17` maps a bare 1..7 to 8, 10, 12, 14, 18, 24, 36.
int parseLength(QByteArrayView value, int def, bool scale17, const StyleState& state,
                const StyleContext& ctx);
// Reads a weight: normal, bold, bolder, lighter, a number, or empty (400).
int parseWeight(QByteArrayView value, int def);

class StyleSheet {
public:
    StyleSheet(); // loads the built-in sheet
    static const char* builtInText();
    void load(const QByteArray& text); // empties the map first
    // Declarations of a selector (lower-case), or null.
    const std::vector<std::pair<QByteArray, QByteArray>>* find(const QByteArray& selector) const;
    int size() const { return static_cast<int>(rules_.size()); }

private:
    QHash<QByteArray, std::vector<std::pair<QByteArray, QByteArray>>> rules_;
};

// Applies one rule to the state; unknown selectors change nothing.
void applyStyleRule(const StyleSheet& sheet, const QByteArray& selector, StyleState& state,
                    const StyleContext& ctx);
// Applies one property; unknown properties and keywords change nothing.
void applyStyleProperty(const QByteArray& name, const QByteArray& value, StyleState& state,
                        const StyleContext& ctx);
// Border fix-ups after a change of width or style.
void setBorderWidth(StyleState& state, int width);
void setBorderStyle(StyleState& state, QByteArrayView style);

} // namespace dorvak
