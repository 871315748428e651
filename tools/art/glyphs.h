// Vector glyphs drawn on a 16 x 16 design grid and scaled to any size, so the
// same picture serves a 16-pixel menu image, a tree icon and a toolbar button.
#pragma once

#include <QRectF>

class QPainter;

namespace art {

enum class Glyph {
    Disk,
    Computer,
    Folder,
    FolderOpen,
    Recover,
    RecoverAll,
    SaveScan,
    LoadScan,
    Find,
    Settings,
    Update,
    Exit,
    About,
    Buy,
    Contents,
    ViewDetails,
    ViewIcons,
    ViewList,
    DriveInfo,
    Filter,
    Open,
    Properties,
    Rename,
    Back,
    Next,
    Stop,
    Home,
    Help,
    AppMark,
};

// Draws `glyph` fitted into `box` (a square is best). The painter's state is
// restored afterwards.
void drawGlyph(QPainter& p, Glyph glyph, const QRectF& box);

} // namespace art
