// The inspection table the tooltip shows in inspection mode: facts about the
// window under the mouse, its parent and the mouse position, as markup.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

#include <optional>

class QWidget;

namespace dorvak {

struct InspectedWindow {
    QString className;
    QString title;
    quint32 handle = 0;
    int controlId = 0;
    quint32 styles = 0;
    QRect screenRect;
    bool hasTooltip = false;
};

struct InspectedOwner {
    QString className;
    QString title;
    quint32 handle = 0;
};

// Each "<" of a value becomes "?"; a value longer than 25 characters keeps
// its first 21 followed by " ...".
QString inspectionValue(const QString& value);

QString inspectionText(const InspectedWindow& window, const std::optional<InspectedOwner>& owner,
                       QPoint clientPoint);

// The facts of a live widget.
InspectedWindow inspectWidget(const QWidget* w, bool hasTooltip);
std::optional<InspectedOwner> inspectOwner(const QWidget* w);

} // namespace dorvak
