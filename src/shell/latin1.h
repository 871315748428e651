#pragma once
// The window's texts are 8-bit Latin-1 literals, quoted exactly as the
// program shows them; this turns one into a QString.

#include <QString>

namespace dorvak {

inline QString latin1(const char* text) {
    return QString::fromLatin1(text);
}

} // namespace dorvak
