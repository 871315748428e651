#include "ui/tooltip/inspection_text.h"

#include <QVariant>
#include <QWidget>

namespace dorvak {

QString inspectionValue(const QString& value) {
    QString v = value;
    v.replace(QLatin1Char('<'), QLatin1Char('?'));
    if (v.size() > 25) v = v.left(21) + QStringLiteral(" ...");
    return v;
}

namespace {

QString row(const char* name, const QString& value) {
    return QStringLiteral("<tr><td width=70 bgcolor=buttonface>%1</td>"
                          "<td width=130 bgcolor=window>%2</td></tr>")
        .arg(QLatin1String(name), inspectionValue(value));
}

QString hex8(quint32 v) {
    return QStringLiteral("0x") + QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

// A stable 32-bit number for a widget, shown where the window handle is.
quint32 handleOf(const QWidget* w) {
    const quintptr p = reinterpret_cast<quintptr>(w);
    return quint32(p ^ (quint64(p) >> 32));
}

// The class name without our namespace, as the window system would name it.
QString classOf(const QWidget* w) {
    const QString name = QString::fromLatin1(w->metaObject()->className());
    return name.section(QStringLiteral("::"), -1);
}

QString titleOf(const QWidget* w) {
    if (!w->windowTitle().isEmpty()) return w->windowTitle();
    const QVariant text = w->property("text");
    return text.canConvert<QString>() ? text.toString() : QString();
}

} // namespace

QString inspectionText(const InspectedWindow& w, const std::optional<InspectedOwner>& owner,
                       QPoint clientPoint) {
    const QRect r = w.screenRect;
    QString s = QStringLiteral("<table>");
    s += QStringLiteral("<tr><td><font color=darkblue>Window</font><table border=1>");
    s += row("Class name", w.className);
    s += row("Title", w.title);
    s += row("Handle", hex8(w.handle));
    s += row("Control ID", QString::number(w.controlId));
    s += row("Styles", hex8(w.styles));
    s += row("RECT", QStringLiteral("(%1, %2)-(%3, %4)")
                         .arg(r.left())
                         .arg(r.top())
                         .arg(r.right() + 1)
                         .arg(r.bottom() + 1));
    s += row("Width", QString::number(r.width()));
    s += row("Height", QString::number(r.height()));
    s += row("Has Tooltip", w.hasTooltip ? QStringLiteral("Yes") : QStringLiteral("No"));
    s += QStringLiteral("</table></td>");
    s += QStringLiteral("<td><font color=darkblue>Window Owner</font><table border=1>");
    s += row("Class name", owner ? owner->className : QStringLiteral("N/A"));
    s += row("Title", owner ? owner->title : QStringLiteral("N/A"));
    s += row("Handle", hex8(owner ? owner->handle : 0));
    s += QStringLiteral("</table>");
    s += QStringLiteral("<br><font color=darkblue>Mouse Cursor</font><table border=1>");
    s += row("X", QString::number(clientPoint.x()));
    s += row("Y", QString::number(clientPoint.y()));
    s += QStringLiteral("</table></td></tr></table>");
    return s;
}

InspectedWindow inspectWidget(const QWidget* w, bool hasTooltip) {
    InspectedWindow info;
    info.className = classOf(w);
    info.title = titleOf(w);
    info.handle = handleOf(w);
    info.controlId = w->property("controlId").toInt();
    info.styles = quint32(w->windowFlags());
    info.screenRect = QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
    info.hasTooltip = hasTooltip;
    return info;
}

std::optional<InspectedOwner> inspectOwner(const QWidget* w) {
    const QWidget* parent = w ? w->parentWidget() : nullptr;
    if (!parent) return std::nullopt;
    return InspectedOwner{classOf(parent), titleOf(parent), handleOf(parent)};
}

} // namespace dorvak
