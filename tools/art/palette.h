// Colours shared by every picture of the program, so the toolbar, the menus,
// the trees and the skins read as one set.
#pragma once

#include <QColor>

namespace art {

struct Palette {
    QColor ink{0x24, 0x32, 0x4A};        // outlines and text
    QColor blue{0x2F, 0x6F, 0xD0};       // primary accent
    QColor blueLight{0x8D, 0xB6, 0xF2};
    QColor blueDark{0x1D, 0x4E, 0x9E};
    QColor teal{0x17, 0xA3, 0x98};
    QColor green{0x2F, 0xA0, 0x55};
    QColor orange{0xF2, 0x9A, 0x2E};
    QColor red{0xD9, 0x47, 0x3F};
    QColor folder{0xF4, 0xC2, 0x4D};
    QColor folderDark{0xD9, 0x9A, 0x22};
    QColor grey{0x8A, 0x94, 0xA6};
    QColor greyLight{0xD5, 0xDB, 0xE5};
    QColor paper{0xFF, 0xFF, 0xFF};
    QColor skinTop{0xF8, 0xFA, 0xFD};
    QColor skinBottom{0xE6, 0xEC, 0xF4};
};

inline const Palette& palette() {
    static const Palette p;
    return p;
}

}  // namespace art
