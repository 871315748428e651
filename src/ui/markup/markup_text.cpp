#include "ui/markup/markup_text.h"

#include <QHash>

#include <climits>

namespace dorvak {

namespace {

// Windows-1252 0x80..0x9F; 0 marks the five unassigned bytes, shown as U+FFFD.
constexpr char16_t kAnsiHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

struct TagInfo {
    TagId id;
    StyleKey key;
};

const QHash<QByteArray, TagInfo>& tagTable() {
    static const QHash<QByteArray, TagInfo> table = {
        {"b", {TagId::Bold, StyleKey::Bold}},
        {"i", {TagId::Italic, StyleKey::Italic}},
        {"em", {TagId::Italic, StyleKey::Italic}},
        {"u", {TagId::Underline, StyleKey::Underline}},
        {"s", {TagId::Strike, StyleKey::Strikeout}},
        {"strike", {TagId::Strike, StyleKey::Strikeout}},
        {"font", {TagId::Font, StyleKey::Font}},
        {"hr", {TagId::Hr, StyleKey::None}},
        {"br", {TagId::Br, StyleKey::None}},
        {"t", {TagId::Tab, StyleKey::None}},
        {"left", {TagId::Left, StyleKey::Left}},
        {"center", {TagId::Center, StyleKey::Center}},
        {"right", {TagId::Right, StyleKey::Right}},
        {"justify", {TagId::Justify, StyleKey::Justify}},
        {"baseline", {TagId::Baseline, StyleKey::Baseline}},
        {"top", {TagId::Top, StyleKey::Top}},
        {"vcenter", {TagId::VCenter, StyleKey::VCenter}},
        {"middle", {TagId::VCenter, StyleKey::VCenter}},
        // <bottom> shares the vcenter stack key, so </vcenter> closes it too.
        {"bottom", {TagId::Bottom, StyleKey::VCenter}},
        {"bmp", {TagId::Bmp, StyleKey::None}},
        {"icon", {TagId::Icon, StyleKey::None}},
        {"ilst", {TagId::Ilst, StyleKey::None}},
        {"string", {TagId::String, StyleKey::None}},
        {"body", {TagId::SheetTag, StyleKey::Body}},
        {"h1", {TagId::SheetTag, StyleKey::H1}},
        {"h2", {TagId::SheetTag, StyleKey::H2}},
        {"h3", {TagId::SheetTag, StyleKey::H3}},
        {"h4", {TagId::SheetTag, StyleKey::H4}},
        {"h5", {TagId::SheetTag, StyleKey::H5}},
        {"h6", {TagId::SheetTag, StyleKey::H6}},
        {"code", {TagId::SheetTag, StyleKey::Code}},
        {"pre", {TagId::SheetTag, StyleKey::Pre}},
        {"big", {TagId::SheetTag, StyleKey::Big}},
        {"small", {TagId::SheetTag, StyleKey::Small}},
        {"sub", {TagId::SheetTag, StyleKey::Sub}},
        {"sup", {TagId::SheetTag, StyleKey::Sup}},
        {"span", {TagId::Span, StyleKey::Span}},
        {"a", {TagId::Anchor, StyleKey::Link}},
        {"table", {TagId::Table, StyleKey::Table}},
        {"tr", {TagId::Tr, StyleKey::Tr}},
        {"td", {TagId::Td, StyleKey::Td}},
    };
    return table;
}

MarkupAttributes parseAttributes(QByteArrayView rest) {
    MarkupAttributes out;
    qsizetype i = 0;
    const qsizetype n = rest.size();
    while (i < n) {
        while (i < n && rest[i] == ' ')
            ++i;
        if (i >= n) break;
        qsizetype start = i;
        while (i < n && rest[i] != ' ' && rest[i] != '=')
            ++i;
        QByteArray name = rest.sliced(start, i - start).toByteArray();
        qsizetype j = i;
        while (j < n && rest[j] == ' ')
            ++j;
        QByteArray value;
        if (j < n && rest[j] == '=') {
            ++j;
            while (j < n && rest[j] == ' ')
                ++j;
            if (j < n && (rest[j] == '"' || rest[j] == '\'')) {
                const char quote = rest[j++];
                qsizetype end = j;
                while (end < n && rest[end] != quote)
                    ++end;
                value = rest.sliced(j, end - j).toByteArray();
                i = end < n ? end + 1 : n;
            } else {
                qsizetype end = j;
                while (end < n && rest[end] != ' ')
                    ++end;
                value = rest.sliced(j, end - j).toByteArray();
                i = end;
            }
        }
        // A stray "=" with no name (as in "br=2") carries nothing.
        if (!name.isEmpty()) out.list.emplace_back(std::move(name), std::move(value));
        if (i == start) ++i; // always make progress
    }
    return out;
}

// Builds the document while tokens arrive: text goes to the current sequence,
// table tags open and close nested table contexts.
class DocumentBuilder {
public:
    explicit DocumentBuilder(int maxDepth) : maxDepth_(maxDepth) { doc_.sequences.emplace_back(); }

    void text(QByteArray& pending) {
        if (pending.isEmpty()) return;
        if (current_ >= 0) {
            MarkupToken t;
            t.kind = MarkupToken::Text;
            t.text = decodeAnsi(pending);
            doc_.sequences[current_].push_back(std::move(t));
        }
        pending.clear();
    }

    void tag(QByteArrayView content);
    MarkupDocument finish() {
        while (!tables_.empty())
            closeTable();
        return std::move(doc_);
    }

private:
    struct TableContext {
        int table;
        int parentSequence;
    };

    void openTable(MarkupAttributes attrs);
    void closeTable();
    void closeCell() {
        if (!tables_.empty()) current_ = -1;
    }
    void openCell(MarkupAttributes attrs);
    void openRow(MarkupAttributes attrs);

    MarkupDocument doc_;
    std::vector<TableContext> tables_;
    int current_ = 0; // sequence receiving tokens; -1 between cells
    int maxDepth_;
};

void DocumentBuilder::openTable(MarkupAttributes attrs) {
    const int index = static_cast<int>(doc_.tables.size());
    doc_.tables.push_back(MarkupTable{std::move(attrs), {}});
    MarkupToken ref;
    ref.kind = MarkupToken::TableRef;
    ref.tag = TagId::Table;
    ref.count = index;
    doc_.sequences[current_].push_back(std::move(ref));
    tables_.push_back({index, current_});
    current_ = -1;
}

void DocumentBuilder::closeTable() {
    current_ = tables_.back().parentSequence;
    tables_.pop_back();
}

void DocumentBuilder::openRow(MarkupAttributes attrs) {
    doc_.tables[tables_.back().table].rows.push_back(MarkupRow{std::move(attrs), {}});
    current_ = -1;
}

void DocumentBuilder::openCell(MarkupAttributes attrs) {
    MarkupTable& table = doc_.tables[tables_.back().table];
    if (table.rows.empty()) table.rows.emplace_back(); // a cell before any <tr>
    const int seq = static_cast<int>(doc_.sequences.size());
    doc_.sequences.emplace_back();
    table.rows.back().cells.push_back(MarkupCell{std::move(attrs), seq});
    current_ = seq;
}

void DocumentBuilder::tag(QByteArrayView content) {
    const bool closing = content.startsWith('/');
    if (closing) content = content.sliced(1);
    qsizetype nameEnd = 0;
    while (nameEnd < content.size() && content[nameEnd] != ' ' && content[nameEnd] != '=')
        ++nameEnd;
    const QByteArray name = content.first(nameEnd).toByteArray();
    const auto it = tagTable().constFind(name);
    if (it == tagTable().constEnd()) return; // unknown tags are skipped
    const TagInfo info = it.value();
    QByteArrayView rest = content.sliced(nameEnd);

    if (info.id == TagId::Table || info.id == TagId::Tr || info.id == TagId::Td) {
        if (info.id == TagId::Table && !closing) {
            if (static_cast<int>(tables_.size()) >= maxDepth_) return;
            if (!tables_.empty() && current_ < 0) openCell({}); // a table between cells gets a cell
            if (current_ < 0) return;
            while (!rest.isEmpty() && rest.front() == ' ')
                rest = rest.sliced(1);
            openTable(parseAttributes(rest));
            return;
        }
        if (tables_.empty()) return; // row and cell tags outside any table
        if (info.id == TagId::Table)
            closeTable();
        else if (info.id == TagId::Tr)
            closing ? closeCell() : openRow(parseAttributes(rest.trimmed()));
        else
            closing ? closeCell() : openCell(parseAttributes(rest.trimmed()));
        return;
    }
    if (current_ < 0) return; // markup between cells is not shown

    MarkupToken t;
    t.kind = closing ? MarkupToken::Close : MarkupToken::Open;
    t.tag = info.id;
    t.key = info.key;
    t.name = name;
    if (!closing) {
        if (info.id == TagId::Br || info.id == TagId::Tab) {
            // The character after the name ("=" in br=2) is dropped before the
            // number is read.
            t.count = rest.size() > 1 ? parseDecimal(rest.sliced(1)) : 1;
        }
        while (!rest.isEmpty() && rest.front() == ' ')
            rest = rest.sliced(1);
        t.attrs = parseAttributes(rest);
    }
    doc_.sequences[current_].push_back(std::move(t));
}

} // namespace

const QByteArray* MarkupAttributes::find(const char* name) const {
    for (const auto& a : list)
        if (a.first == name) return &a.second;
    return nullptr;
}

QString decodeAnsi(QByteArrayView bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* dst = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        char16_t c = b;
        if (b >= 0x80 && b < 0xA0) c = kAnsiHigh[b - 0x80] ? kAnsiHigh[b - 0x80] : char16_t(0xFFFD);
        dst[i] = QChar(c);
    }
    return out;
}

QByteArray encodeAnsi(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.append(static_cast<char>(c));
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k)
            if (kAnsiHigh[k] == c && c != 0) mapped = static_cast<char>(0x80 + k);
        out.append(mapped);
    }
    return out;
}

QByteArray prepareMarkupSource(QByteArray text, bool newlineAsBreak) {
    // Order matters: "&amp;" first, so "&amp;lt;" ends as a literal "<".
    // The euro sign is 0x80 in the code page (0x88 would be a circumflex).
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&amp;", "&"},      {"&bull;", "\x95"},   {"&copy;", "\xA9"}, {"&euro;", "\x80"},
        {"&gt;", ">"},       {"&iquest;", "\xBF"}, {"&lt;", "<<"},     {"&nbsp;", " "},
        {"&para;", "\xB6"},  {"&pound;", "\xA3"},  {"&quot;", "\""},   {"&reg;", "\xAE"},
        {"&trade;", "\x99"},
    };
    if (text.contains('&'))
        for (const auto& [from, to] : kEntities)
            text.replace(from, to);
    text.replace('\r', QByteArray());
    if (newlineAsBreak) {
        if (text.contains('\n')) text.replace("\n", "<br>");
        if (text.contains('\t')) text.replace("\t", "<t>");
    } else {
        text.replace('\n', QByteArray());
        text.replace('\t', QByteArray());
    }
    return text;
}

MarkupDocument parseMarkup(const QByteArray& prepared, int maxTableDepth) {
    DocumentBuilder builder(maxTableDepth);
    QByteArray pending;
    const qsizetype n = prepared.size();
    const char* s = prepared.constData();
    bool noMoreClose = false; // once a search for ">" failed, none follows
    qsizetype i = 0;
    while (i < n) {
        if (s[i] != '<') {
            const char* lt = static_cast<const char*>(memchr(s + i, '<', n - i));
            const qsizetype end = lt ? lt - s : n;
            pending.append(s + i, end - i);
            i = end;
            continue;
        }
        if (i + 1 < n && s[i + 1] == '<') { // "<<" is a literal "<"
            pending.append('<');
            i += 2;
            continue;
        }
        const char* gt =
            noMoreClose ? nullptr : static_cast<const char*>(memchr(s + i + 1, '>', n - i - 1));
        if (!gt) {
            noMoreClose = true;
            // A final "<" is shown; any other unmatched "<" is dropped.
            if (i == n - 1) pending.append('<');
            ++i;
            continue;
        }
        builder.text(pending);
        builder.tag(QByteArrayView(s + i + 1, gt - s - i - 1));
        i = gt - s + 1;
    }
    builder.text(pending);
    return builder.finish();
}

long long parseCInteger(QByteArrayView text, bool* ok) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    } else if (i < text.size() && text[i] == '0') {
        base = 8;
    }
    long long value = 0;
    bool any = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0 || d >= base) break;
        any = true;
        value = value > (LLONG_MAX - d) / base ? LLONG_MAX : value * base + d;
    }
    if (ok) *ok = any;
    return negative ? -value : value;
}

int parseDecimal(QByteArrayView text) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), INT_MAX);
    return static_cast<int>(negative ? -value : value);
}

} // namespace dorvak
