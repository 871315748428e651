// The markup source as the layout passes see it: the prepared 8-bit text cut
// into tokens once, with tables already split into rows and cells so that
// both passes walk the same structure without re-scanning the text.
#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace dorvak {

// Windows-1252 conversions: the program's texts are 8-bit in that code page.
QString decodeAnsi(QByteArrayView bytes);
QByteArray encodeAnsi(const QString& text);

// Entities, CR removal and (optionally) line feeds/tabs as <br>/<t>.
QByteArray prepareMarkupSource(QByteArray text, bool newlineAsBreak);

enum class TagId : unsigned char {
    Unknown,
    Bold,
    Italic,
    Underline,
    Strike,
    Font,
    Hr,
    Br,
    Tab,
    Left,
    Center,
    Right,
    Justify,
    Baseline,
    Top,
    VCenter,
    Bottom,
    Bmp,
    Icon,
    Ilst,
    String,
    SheetTag,
    Span,
    Anchor,
    Table,
    Tr,
    Td,
};

// Style names pushed on the style stack (the closing-tag rule compares them).
enum class StyleKey : unsigned char {
    None,
    Bold,
    Italic,
    Underline,
    Strikeout,
    Font,
    Left,
    Center,
    Right,
    Justify,
    Baseline,
    Top,
    VCenter,
    Body,
    H1,
    H2,
    H3,
    H4,
    H5,
    H6,
    Code,
    Pre,
    Big,
    Small,
    Sub,
    Sup,
    Span,
    Link,
    Table,
    Tr,
    Td,
};

using MarkupAttribute = std::pair<QByteArray, QByteArray>;

struct MarkupAttributes {
    std::vector<MarkupAttribute> list;
    // Value of the first attribute with this name, or null when absent.
    const QByteArray* find(const char* name) const;
    bool has(const char* name) const { return find(name) != nullptr; }
};

struct MarkupToken {
    enum Kind : unsigned char { Text, Open, Close, TableRef };
    Kind kind = Text;
    TagId tag = TagId::Unknown;
    StyleKey key = StyleKey::None;
    int count = 1;   // <br=N>, <t=N>; the table index for TableRef
    QByteArray name; // tag name (the sheet rule of SheetTag tags)
    QString text;    // decoded text run
    MarkupAttributes attrs;
};

struct MarkupCell {
    MarkupAttributes attrs;
    int sequence = -1; // index into MarkupDocument::sequences
};

struct MarkupRow {
    MarkupAttributes attrs;
    std::vector<MarkupCell> cells;
};

struct MarkupTable {
    MarkupAttributes attrs;
    std::vector<MarkupRow> rows;
};

// Sequence 0 is the whole text; every cell has a sequence of its own.
struct MarkupDocument {
    std::vector<std::vector<MarkupToken>> sequences;
    std::vector<MarkupTable> tables;
    bool empty() const { return sequences.empty() || sequences[0].empty(); }
};

// Tokenizes prepared text. `maxTableDepth` bounds tables inside cells; deeper
// table tags are ignored.
MarkupDocument parseMarkup(const QByteArray& prepared, int maxTableDepth);

// Reads an integer like C's strtol with base 0 ("0x" hex, leading 0 octal),
// skipping leading blanks; saturates instead of overflowing.
long long parseCInteger(QByteArrayView text, bool* ok = nullptr);
// atoi: optional blanks and sign, then decimal digits; saturating.
int parseDecimal(QByteArrayView text);

} // namespace dorvak
