#include "ui/markup/style_sheet.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

#include "ui/markup/markup_colors.h"

namespace dorvak {

namespace {

constexpr int kScale17[7] = {8, 10, 12, 14, 18, 24, 36};
// Lengths far beyond any surface are cut so later sums cannot overflow.
constexpr double kLengthLimit = 1000000.0;

int clampLength(double v) {
    return static_cast<int>(std::clamp(v, -kLengthLimit, kLengthLimit));
}

QByteArray trimmedLower(QByteArrayView v) {
    return v.trimmed().toByteArray().toLower();
}

QByteArray stripQuotes(QByteArray v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.mid(1, v.size() - 2);
    return v;
}

void applyDecoration(QByteArrayView value, StyleState& s) {
    const QByteArray v = value.toByteArray();
    if (v.trimmed().isEmpty()) {
        s.underline = s.strikeOut = s.overline = false;
        return;
    }
    QByteArray word;
    for (qsizetype i = 0; i <= v.size(); ++i) {
        const char c = i < v.size() ? v[i] : ' ';
        if (c != ' ' && c != ',') {
            word.append(c);
            continue;
        }
        if (word == "none")
            s.underline = s.strikeOut = s.overline = false;
        else if (word == "underline")
            s.underline = true;
        else if (word == "line-through")
            s.strikeOut = true;
        else if (word == "overline")
            s.overline = true;
        word.clear();
    }
}

} // namespace

int parseLength(QByteArrayView value, int def, bool scale17, const StyleState& state,
                const StyleContext& ctx) {
    value = value.trimmed();
    if (value.isEmpty()) return def;
    if (value.endsWith('%')) {
        const int n = parseDecimal(value.first(value.size() - 1));
        return clampLength(std::round(static_cast<double>(def) * n / 100.0));
    }
    if (value.front() == '+' || value.front() == '-') value = value.sliced(1);
    if (value.size() >= 2) {
        const QByteArrayView unit = value.last(2);
        const double n = parseDecimal(value.first(value.size() - 2));
        const double dpi = ctx.dpiY;
        if (unit == "px") return clampLength(n);
        if (unit == "ex")
            return clampLength(n * (ctx.exHeight ? ctx.exHeight(state) : state.fontHeight));
        if (unit == "em") return clampLength(n * state.fontHeight);
        if (unit == "in") return clampLength(std::trunc(n * dpi));
        if (unit == "cm") return clampLength(std::trunc(dpi * n * 0.39370078740157477));
        if (unit == "mm") return clampLength(std::trunc(dpi * n * 0.03937007874015748));
        if (unit == "pt") return clampLength(std::trunc(dpi * n / 72.0));
        if (unit == "pc") return clampLength(std::trunc(dpi * n / 6.0));
    }
    const long long n = parseCInteger(value);
    if (scale17 && n >= 1 && n <= 7) return kScale17[n - 1];
    return clampLength(static_cast<double>(n));
}

int parseWeight(QByteArrayView value, int def) {
    value = value.trimmed();
    if (value.isEmpty() || value == "normal") return 400;
    if (value == "bold") return 700;
    if (value == "bolder") return 900;
    if (value == "lighter") return 100;
    bool ok = false;
    const long long n = parseCInteger(value, &ok);
    return ok ? static_cast<int>(std::clamp<long long>(n, 1, 1000)) : def;
}

void setBorderWidth(StyleState& s, int width) {
    s.borderWidth = std::clamp(width, 0, 1000);
    if (s.borderWidth == 0)
        s.borderStyle = BorderStyle::None;
    else if (s.borderStyle == BorderStyle::None)
        s.borderStyle = BorderStyle::Solid;
}

void setBorderStyle(StyleState& s, QByteArrayView style) {
    style = style.trimmed();
    if (style == "none")
        s.borderStyle = BorderStyle::None;
    else if (style == "solid")
        s.borderStyle = BorderStyle::Solid;
    else if (style == "dashed")
        s.borderStyle = BorderStyle::Dashed;
    else if (style == "dotted")
        s.borderStyle = BorderStyle::Dotted;
    else if (style == "double")
        s.borderStyle = BorderStyle::Double;
    else
        return;
    if (s.borderStyle != BorderStyle::None && s.borderWidth == 0) s.borderWidth = 1;
}

namespace {

// The properties whose values are keywords; false for any other property.
// An unknown keyword changes nothing.
bool applyKeywordProperty(const QByteArray& name, const QByteArray& value, StyleState& s) {
    if (name == "font-style") {
        if (value.isEmpty() || value == "normal")
            s.italic = false;
        else if (value == "italic" || value == "oblique")
            s.italic = true;
    } else if (name == "text-align") {
        if (value == "left")
            s.align = HAlign::Left;
        else if (value == "center")
            s.align = HAlign::Center;
        else if (value == "right")
            s.align = HAlign::Right;
    } else if (name == "text-transform") {
        if (value == "none")
            s.transform = TextTransform::None;
        else if (value == "uppercase")
            s.transform = TextTransform::Uppercase;
        else if (value == "lowercase")
            s.transform = TextTransform::Lowercase;
        else if (value == "capitalize")
            s.transform = TextTransform::Capitalize;
    } else if (name == "vertical-align") {
        if (value.isEmpty() || value == "baseline")
            s.valign = VAlign::Baseline;
        else if (value == "middle" || value == "vcenter")
            s.valign = VAlign::Middle;
        else if (value == "top")
            s.valign = VAlign::Top;
        else if (value == "bottom")
            s.valign = VAlign::Bottom;
    } else {
        return false;
    }
    return true;
}

} // namespace

void applyStyleProperty(const QByteArray& name, const QByteArray& value, StyleState& s,
                        const StyleContext& ctx) {
    auto color = [&](QRgb def) {
        return parseMarkupColor(value, def, *ctx.colors, ctx.enabled, ctx.disabledColor);
    };
    if (applyKeywordProperty(name, value, s)) return;
    if (name == "font-size") {
        s.fontHeight =
            std::clamp(parseLength(value, s.fontHeight, true, s, ctx), 1, ctx.maxFontPixels);
    } else if (name == "font-family") {
        if (!value.isEmpty()) s.face = value;
    } else if (name == "font-weight") {
        s.weight = parseWeight(value, s.weight);
    } else if (name == "color") {
        s.textColor = color(s.textColor);
    } else if (name == "background-color") {
        if (value.isEmpty() || value == "transparent") {
            s.backgroundMode = BackgroundMode::Transparent;
        } else {
            // Kept while disabled, as the table attributes keep theirs (a
            // disabled text background is drawn transparent anyway).
            s.backgroundMode = BackgroundMode::Opaque;
            s.backgroundColor =
                parseMarkupColor(value, s.backgroundColor, *ctx.colors, true, ctx.disabledColor);
        }
    } else if (name == "text-decoration") {
        applyDecoration(value, s);
    } else if (name == "border-color") {
        s.borderLight = s.borderDark = color(s.borderLight);
    } else if (name == "border-width" || name == "size") {
        if (value == "thin")
            setBorderWidth(s, s.borderWidth * 75 / 100);
        else if (value == "thick")
            setBorderWidth(s, s.borderWidth * 125 / 100);
        else if (value != "medium")
            setBorderWidth(s, parseLength(value, s.borderWidth, false, s, ctx));
    } else if (name == "border-style") {
        setBorderStyle(s, value);
    } else if (name == "margin") {
        s.padding = std::clamp(parseLength(value, s.padding, false, s, ctx), 0, 1000);
    } else if (name == "padding") {
        s.spacing = std::clamp(parseLength(value, s.spacing, false, s, ctx), 0, 1000);
    }
}

StyleSheet::StyleSheet() {
    load(QByteArray(builtInText()));
}

const char* StyleSheet::builtInText() {
    return "body {font-size: 10pt; color:black; font-family:Verdana}\r\n"
           "p {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
           "h1 {font-size: 14pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
           "h2 {font-size: 13pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
           "h3 {font-size: 12pt; color:#ff9900; font-family:Arial; font-weight:bold}\r\n"
           "h4 {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
           "h5 {font-size: 9pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
           "h6 {font-size: 65%; color:#626262; font-family:Verdana; font-weight:normal}\r\n"
           "pre {font-size: 9pt; font-family:\"Courier\"; background-color:#fbedbb}\r\n"
           "code {color:#990000; font-family:Arial}\r\n"
           "a:link {text-decoration:none; color:blue}\r\n"
           "a:hover {text-decoration:underline; color:blue}\r\n"
           "sub {font-size:65%; vertical-align:bottom}\r\n"
           "sup {font-size:65%; vertical-align:top}\r\n"
           "big {font-size:125%}\r\n"
           "small {font-size:75%}\r\n"
           ".cpp-comment {color:green; font-style:italic}\r\n";
}

void StyleSheet::load(const QByteArray& text) {
    rules_.clear();
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype open = text.indexOf('{', pos);
        if (open < 0) break;
        qsizetype close = text.indexOf('}', open + 1);
        if (close < 0) close = text.size();
        const QByteArray selector = trimmedLower(QByteArrayView(text).sliced(pos, open - pos));
        const QByteArray body = text.mid(open + 1, close - open - 1).toLower();
        std::vector<std::pair<QByteArray, QByteArray>> decls;
        for (const QByteArray& part : body.split(';')) {
            const qsizetype colon = part.indexOf(':');
            if (colon < 0) continue;
            QByteArray name = part.left(colon).trimmed();
            if (name.isEmpty()) continue;
            decls.emplace_back(std::move(name), stripQuotes(part.mid(colon + 1).trimmed()));
        }
        if (!selector.isEmpty()) rules_.insert(selector, std::move(decls)); // later rule replaces
        pos = close + 1;
    }
}

const std::vector<std::pair<QByteArray, QByteArray>>*
StyleSheet::find(const QByteArray& selector) const {
    const auto it = rules_.constFind(selector);
    return it == rules_.constEnd() ? nullptr : &it.value();
}

void applyStyleRule(const StyleSheet& sheet, const QByteArray& selector, StyleState& state,
                    const StyleContext& ctx) {
    const auto* decls = sheet.find(selector);
    if (!decls) return;
    for (const auto& [name, value] : *decls)
        applyStyleProperty(name, value, state, ctx);
}

} // namespace dorvak
