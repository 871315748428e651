// Private pieces shared by the message box's source files.
#pragma once

#include "ui/markup/markup_renderer.h"
#include "ui/msgbox/markup_message_box.h"

#include <QRect>

#include <memory>

namespace dorvak {

struct MarkupMessageBox::TextArea {
    std::unique_ptr<MarkupRenderer> renderer;
    QSize textSize; // as measured by the renderer
    QRect rect;     // the whole area in client coordinates
    AreaStyle style;
};

// Formats the C-style "%s ... %d" patterns of the box's labels without
// handing a caller's text to printf: the first %s takes `s`, the first %d
// takes `d`, and %% is a percent sign.
QString formatLabel(const QString& pattern, const QString& s, int d);

// Hands the help file to the opener set with MarkupMessageBox::setHelpOpener.
void openMessageBoxHelp(const QString& file, int context);
// Plays the sound for an icon type through the player set with
// MarkupMessageBox::setSoundPlayer.
void playMessageBoxSound(quint32 iconType);

} // namespace dorvak
