// Reading the standard menu template:
//
//   offset  size  field
//   0       2     version (0)
//   2       2     n: bytes of header extension; items start at 4 + n
//   then per item:
//           2     flags (0x10 opens a submenu, 0x80 last item of its level)
//           2     command identifier (absent when 0x10 is set)
//           2k    text, UTF-16LE, zero-terminated
//
// A submenu item is followed by its own items. The data comes from our own
// resources, but it is still checked at every read: a truncated or hostile
// template yields false, never a read past the end or a runaway nesting.
#include "ui/menu/qm_menu.h"

#include <QtEndian>

namespace dorvak {
namespace {

constexpr int kMaxDepth = 16;
constexpr int kMaxItems = 4096;

class TemplateReader {
public:
    explicit TemplateReader(const QByteArray& data) : data_(data) {}

    bool word(quint16& out) {
        if (pos_ + 2 > data_.size()) return false;
        out = qFromLittleEndian<quint16>(data_.constData() + pos_);
        pos_ += 2;
        return true;
    }
    bool text(QString& out) {
        out.clear();
        for (quint16 ch; word(ch);) {
            if (ch == 0) return true;
            out.append(QChar(ch));
        }
        return false;
    }
    bool skip(int bytes) {
        if (bytes < 0 || pos_ + bytes > data_.size()) return false;
        pos_ += bytes;
        return true;
    }
    int items = 0;

private:
    const QByteArray& data_;
    qsizetype pos_ = 0;
};

bool readLevel(TemplateReader& in, QmMenu& menu, int depth) {
    if (depth > kMaxDepth) return false;
    for (;;) {
        if (++in.items > kMaxItems) return false;
        quint16 flags = 0;
        if (!in.word(flags)) return false;
        QString text;
        if (flags & QmMenu::Popup) {
            if (!in.text(text)) return false;
            QmMenu* sub = menu.appendSubmenu(flags & ~QmMenu::End, text);
            if (!readLevel(in, *sub, depth + 1)) return false;
        } else {
            quint16 command = 0;
            if (!in.word(command) || !in.text(text)) return false;
            menu.appendItem(flags & ~QmMenu::End, command, text);
        }
        if (flags & QmMenu::End) return true;
    }
}

} // namespace

bool parseMenuTemplate(const QByteArray& data, QmMenu& root) {
    TemplateReader in(data);
    quint16 version = 0, extra = 0;
    if (!in.word(version) || !in.word(extra) || version != 0 || !in.skip(extra)) return false;
    return readLevel(in, root, 0);
}

} // namespace dorvak
