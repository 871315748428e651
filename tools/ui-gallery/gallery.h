// Pieces of the gallery shared by the interactive window and the shots.
#pragma once

#include "ui/msgbox/message_box_params.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <vector>

namespace gallery {

// The controls page, on the main window's skin.
QWidget* makeControlsPage();

// Message box samples: name, message, caption, style, parameters.
struct BoxSample {
    QString name;
    QString text;
    QString caption;
    quint32 style;
    dorvak::MessageBoxParams params;
    bool expand = false;
};
std::vector<BoxSample> boxSamples();

// Writes every shot into `dir`; returns the number of files written.
int writeShots(const QString& dir);

} // namespace gallery
