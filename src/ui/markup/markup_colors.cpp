#include "ui/markup/markup_colors.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

#include "ui/markup/markup_text.h"

namespace dorvak {

namespace {

// The web color names the markup knows, with exactly these spellings (so
// "lightgrey" but not "lightgray", "darkgray" but not "darkgrey").
const char* const kWebColorNames[] = {
    "aqua",
    "black",
    "blue",
    "brown",
    "cyan",
    "gold",
    "gray",
    "green",
    "magenta",
    "maroon",
    "navy",
    "olive",
    "orange",
    "pink",
    "purple",
    "red",
    "silver",
    "snow",
    "violet",
    "white",
    "yellow",
    "aliceblue",
    "antiquewhite",
    "aquamarine",
    "azure",
    "beige",
    "bisque",
    "blanchedalmond",
    "blueviolet",
    "burlywood",
    "cadetblue",
    "chartreuse",
    "chocolate",
    "coral",
    "cornflowerblue",
    "cornsilk",
    "crimson",
    "darkblue",
    "darkcyan",
    "darkgoldenrod",
    "darkgray",
    "darkgreen",
    "darkkhaki",
    "darkmagenta",
    "darkolivegreen",
    "darkorange",
    "darkorchid",
    "darkred",
    "darksalmon",
    "darkseagreen",
    "darkslateblue",
    "darkslategray",
    "darkturquoise",
    "darkviolet",
    "deeppink",
    "deepskyblue",
    "dimgray",
    "dodgerblue",
    "firebrick",
    "floralwhite",
    "forestgreen",
    "fuchsia",
    "gainsboro",
    "ghostwhite",
    "goldenrod",
    "greenyellow",
    "honeydew",
    "hotpink",
    "indianred",
    "indigo",
    "ivory",
    "khaki",
    "lavender",
    "lavenderblush",
    "lawngreen",
    "lemonchiffon",
    "lightblue",
    "lightcoral",
    "lightcyan",
    "lightgoldenrodyellow",
    "lightgreen",
    "lightgrey",
    "lightpink",
    "lightsalmon",
    "lightseagreen",
    "lightskyblue",
    "lightslategray",
    "lightsteelblue",
    "lightyellow",
    "lime",
    "limegreen",
    "linen",
    "mediumaquamarine",
    "mediumblue",
    "mediumorchid",
    "mediumpurple",
    "mediumseagreen",
    "mediumslateblue",
    "mediumspringgreen",
    "mediumturquoise",
    "mediumvioletred",
    "midnightblue",
    "mintcream",
    "mistyrose",
    "moccasin",
    "navajowhite",
    "oldlace",
    "olivedrab",
    "orangered",
    "orchid",
    "palegoldenrod",
    "palegreen",
    "paleturquoise",
    "palevioletred",
    "papayawhip",
    "peachpuff",
    "peru",
    "plum",
    "powderblue",
    "rosybrown",
    "royalblue",
    "saddlebrown",
    "salmon",
    "sandybrown",
    "seagreen",
    "seashell",
    "sienna",
    "skyblue",
    "slateblue",
    "slategray",
    "springgreen",
    "steelblue",
    "tan",
    "teal",
    "thistle",
    "tomato",
    "turquoise",
    "wheat",
    "whitesmoke",
    "yellowgreen",
};

struct SystemColor {
    const char* name;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// Desktop color names mapped to the nearest palette roles.
const SystemColor kSystemColors[] = {
    {"activeborder", QPalette::Active, QPalette::Window},
    {"activecaption", QPalette::Active, QPalette::Highlight},
    {"appworkspace", QPalette::Active, QPalette::Mid},
    {"background", QPalette::Active, QPalette::Dark},
    {"buttonface", QPalette::Active, QPalette::Button},
    {"buttonhighlight", QPalette::Active, QPalette::Light},
    {"buttonshadow", QPalette::Active, QPalette::Dark},
    {"buttontext", QPalette::Active, QPalette::ButtonText},
    {"captiontext", QPalette::Active, QPalette::HighlightedText},
    {"graytext", QPalette::Disabled, QPalette::WindowText},
    {"highlight", QPalette::Active, QPalette::Highlight},
    {"highlighttext", QPalette::Active, QPalette::HighlightedText},
    {"inactiveborder", QPalette::Inactive, QPalette::Window},
    {"inactivecaption", QPalette::Active, QPalette::Mid},
    {"inactivecaptiontext", QPalette::Disabled, QPalette::Text},
    {"infobackground", QPalette::Active, QPalette::ToolTipBase},
    {"infotext", QPalette::Active, QPalette::ToolTipText},
    {"menu", QPalette::Active, QPalette::Window},
    {"menutext", QPalette::Active, QPalette::WindowText},
    {"scrollbar", QPalette::Active, QPalette::Midlight},
    {"threeddarkshadow", QPalette::Active, QPalette::Shadow},
    {"threedface", QPalette::Active, QPalette::Button},
    {"threedhighlight", QPalette::Active, QPalette::Light},
    {"threedlightshadow", QPalette::Active, QPalette::Midlight},
    {"threedshadow", QPalette::Active, QPalette::Dark},
    {"window", QPalette::Active, QPalette::Base},
    {"windowframe", QPalette::Active, QPalette::Shadow},
    {"windowtext", QPalette::Active, QPalette::Text},
};

QPalette currentPalette() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::palette()
                                                                        : QPalette();
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

ColorTable::ColorTable() {
    names_.reserve(170);
    for (const char* name : kWebColorNames)
        names_.insert(QByteArray(name), QColor::fromString(QLatin1StringView(name)).rgb());
    const QPalette palette = currentPalette();
    for (const SystemColor& c : kSystemColors)
        names_.insert(QByteArray(c.name), palette.color(c.group, c.role).rgb());
}

bool ColorTable::lookup(const QByteArray& name, QRgb* out) const {
    const auto it = names_.constFind(name);
    if (it == names_.constEnd()) return false;
    *out = it.value();
    return true;
}

QRgb parseMarkupColor(const QByteArray& value, QRgb fallback, const ColorTable& table, bool enabled,
                      QRgb disabled) {
    if (!enabled) return disabled;
    if (value.isEmpty()) return fallback;
    if (value.size() == 7 && value[0] == '#') {
        int v[6];
        for (int i = 0; i < 6; ++i)
            if ((v[i] = hexDigit(value[i + 1])) < 0) return fallback;
        return qRgb(v[0] * 16 + v[1], v[2] * 16 + v[3], v[4] * 16 + v[5]);
    }
    if (value[0] >= '0' && value[0] <= '9')
        return rgbFromBgr(static_cast<unsigned long long>(parseCInteger(value)));
    QRgb named;
    return table.lookup(value, &named) ? named : fallback;
}

QRgb systemButtonShadowColor() {
    return currentPalette().color(QPalette::Active, QPalette::Dark).rgb();
}

} // namespace dorvak
