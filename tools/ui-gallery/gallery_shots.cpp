// The off-screen pictures: controls, artwork, menus, message boxes, tips.
#include "gallery.h"

#include "ui/controls/resource_images.h"
#include "ui/menu/icon_menu.h"
#include "ui/menu/qm_menu.h"
#include "ui/msgbox/markup_message_box.h"
#include "ui/tooltip/markup_tool_tip.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>

#include <memory>

namespace gallery {

using namespace dorvak;

namespace {

struct Shots {
    QDir dir;
    int written = 0;
    void save(const QString& name, const QImage& img) {
        if (img.save(dir.filePath(name + ".png"))) ++written;
    }
};

// Pictures laid out in a row on a light card, each at `scale`.
QImage sheet(const std::vector<int>& numbers, bool icons, int scale, int width) {
    int x = 12, y = 12, rowH = 0, maxX = 0;
    std::vector<std::pair<QPoint, QImage>> placed;
    for (int n : numbers) {
        QImage img = icons ? loadIconResource(n) : loadBitmapResource(n);
        if (img.isNull()) continue;
        img = img.scaled(img.size() * scale);
        if (x + img.width() > width - 12 && x > 12) {
            x = 12;
            y += rowH + 12;
            rowH = 0;
        }
        placed.push_back({QPoint(x, y), img});
        x += img.width() + 12;
        maxX = qMax(maxX, x);
        rowH = qMax(rowH, img.height());
    }
    QImage out(maxX, y + rowH + 12, QImage::Format_RGB32);
    out.fill(QColor(0xEE, 0xF2, 0xF8));
    QPainter p(&out);
    for (const auto& [at, img] : placed)
        p.drawImage(at, img);
    return out;
}

QImage grabMenu(QMenu* menu, int activeIndex) {
    menu->popup(QPoint(0, 0));
    QApplication::processEvents();
    const QList<QAction*> actions = menu->actions();
    if (activeIndex >= 0 && activeIndex < actions.size())
        menu->setActiveAction(actions[activeIndex]);
    QApplication::processEvents();
    QImage img = menu->grab().toImage();
    menu->hide();
    return img;
}

void menuShots(Shots& shots) {
    const std::pair<int, int> images[] = {{32819, 198}, {32820, 199}, {32837, 201}, {32825, 200},
                                          {32826, 195}, {32827, 196}, {32829, 191}, {32828, 194},
                                          {32830, 202}, {32836, 203}, {32839, 199}};
    for (MenuLook look : {MenuLook::Flat, MenuLook::Classic}) {
        QmMenu bar;
        bar.setLook(look);
        if (!bar.load(140) || bar.itemCount() == 0 || !bar.item(0).submenu) continue;
        QmMenu& popup = *bar.item(0).submenu;
        for (const auto& [command, bitmap] : images)
            if (QmMenu* holder = bar.findSubmenuHolding(command))
                holder->setItemImage(command, bar.addImageResource(bitmap));
        popup.modifyItem(32820, QmMenu::Grayed, "Open &With...", popup.item(1).image);
        shots.save(look == MenuLook::Flat ? "menu-qmmenu-flat" : "menu-qmmenu-classic",
                   grabMenu(popup.menu(), 3));
    }
    IconMenu tools;
    tools.setItemWidth(150);
    tools.setItemHeight(20);
    tools.setDrawStyle(IconMenu::BitmapAndText);
    tools.appendItem(0, 32813, "&Find Files...\tCtrl+F", 194);
    tools.appendItem(0x1, 32814, "File Fi&lters...", 193);
    tools.appendItem(0, 32815, "Se&ttings...", 203);
    tools.appendItem(0x800, 0, QString());
    tools.appendItem(0x8, 32840, "&Drive Information", 192);
    tools.appendItem(0x800, 0, QString());
    tools.appendItem(0, 32842, "Live &Update", 197);
    shots.save("menu-iconmenu", grabMenu(tools.menu(), 2));
}

void boxShots(Shots& shots) {
    MarkupMessageBox::setSoundPlayer([](quint32) {});
    for (const BoxSample& s : boxSamples()) {
        MessageBoxParams p = s.params;
        p.caption = s.caption.isEmpty() ? TextRef("Error") : TextRef(s.caption);
        p.messageText = s.text;
        p.style = s.style;
        MarkupMessageBox box(p);
        if (s.expand) box.press(mb::IdMoreCollapsed);
        box.show();
        QApplication::processEvents();
        shots.save(s.name, box.grab().toImage());
        box.hide();
    }
}

const char* kHelpTip =
    "<table>\r\n<tr><td><ilst idres=159 cx=32 cy=32 mask width=200% height=200% speed=1></td>"
    "<td><h3>\r\n<h3>Scan Control</h3><br><hr color=green><br><font color=black size=10pt >Here "
    "select the disk area to scan. Don't change <br></font><font color=black size=10pt >if you "
    "want to scan the whole disk.</td></tr></table>";

struct TipShot {
    const char* name;
    bool balloon;
    int direction;
    const char* text;
    int effect;
    QColor colors[3];
    int transparency;
    bool mainWindowLook;
};

void tipShots(Shots& shots) {
    const QSize canvas(560, 300);
    QImage screen(canvas, QImage::Format_RGB32);
    {
        QPainter p(&screen);
        p.drawImage(0, 0, loadBitmapResource(162).copy(QRect(QPoint(120, 80), canvas)));
    }
    const QColor info(0xFF, 0xFF, 0xE1), yellow(0xFC, 0xFF, 0x7D), white(Qt::white);
    const TipShot samples[] = {
        {"tip-main-window-help", true, 2, kHelpTip, 13, {yellow, white, yellow}, 0, true},
        {"tip-balloon-top-left",
         true,
         0,
         "<b>Direction 0</b><br>pointer on the top edge",
         0,
         {info, info, info},
         0,
         false},
        {"tip-balloon-bottom-left",
         true,
         16,
         "<b>Direction 16</b> (the default)<br>pointer on the bottom edge",
         2,
         {white, info, info},
         0,
         false},
        {"tip-balloon-bottom-right",
         true,
         17,
         "<b>Direction 17</b><br>body to the left",
         0,
         {info, info, info},
         0,
         false},
        {"tip-balloon-left",
         true,
         34,
         "<b>Direction 34</b><br>pointer on the left edge, centred",
         1,
         {white, info, QColor(0xDC, 0xE8, 0xF8)},
         0,
         false},
        {"tip-balloon-right",
         true,
         48,
         "<b>Direction 48</b><br>pointer on the right edge",
         7,
         {QColor(0xDC, 0xE8, 0xF8), white, QColor(0xF4, 0xF8, 0xFD)},
         0,
         false},
        {"tip-balloon-transparent",
         true,
         18,
         "<b>30 % transparent</b><br>the skin shows through",
         15,
         {QColor(0xE0, 0xE6, 0xEE), white, QColor(0xC8, 0xD2, 0xDE)},
         30,
         false},
        {"tip-rectangle",
         false,
         16,
         "A plain rectangular tip with <font color=blue>markup</font>",
         0,
         {info, info, info},
         0,
         false},
    };
    for (const TipShot& s : samples) {
        QWidget host;
        MarkupToolTip tip(&host, s.balloon ? MarkupToolTip::Shape::Balloon
                                           : MarkupToolTip::Shape::Rectangle);
        tip.setManualTimers(true);
        tip.setScreenRect(QRect(QPoint(0, 0), canvas));
        tip.setBackgroundEffect(s.effect, s.mainWindowLook ? 5 : 0);
        tip.setColors(s.colors[0], s.colors[1], s.colors[2]);
        tip.setDirection(s.direction);
        tip.setTransparency(s.transparency);
        if (s.mainWindowLook)
            tip.setBorder(white, 1, 1);
        else
            tip.setBorder(QColor(0x8A, 0x94, 0xA6), 1, 1);
        tip.window()->setBackdropOverride(screen);
        const QPoint point(canvas.width() / 2, canvas.height() / 2);
        if (!tip.showAt(point, tip.makeTool(&host, QString::fromLatin1(s.text)))) continue;
        QImage out = screen;
        QPainter p(&out);
        p.drawImage(tip.window()->geometryInfo().windowPos, tip.window()->composed());
        p.setPen(QPen(QColor(0xD9, 0x47, 0x3F), 1));
        p.drawLine(point - QPoint(4, 0), point + QPoint(4, 0));
        p.drawLine(point - QPoint(0, 4), point + QPoint(0, 4));
        p.end();
        shots.save(s.name, out);
        tip.hideNow();
    }
    // Inspection mode over a button of the controls page.
    std::unique_ptr<QWidget> page(makeControlsPage());
    page->show();
    QApplication::processEvents();
    MarkupToolTip tip(page.get(), MarkupToolTip::Shape::Rectangle);
    tip.setManualTimers(true);
    tip.setScreenRect(QRect(QPoint(0, 0), page->size()));
    tip.setInspectionMode(true);
    QImage pageImage = page->grab().toImage();
    tip.window()->setBackdropOverride(pageImage);
    QWidget* target = page->childAt(40, 40);
    if (target) {
        QMouseEvent move(QEvent::MouseMove, QPointF(10, 10),
                         QPointF(page->mapToGlobal(QPoint(40, 40))), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        tip.relay(target, &move);
        tip.fireTimer(MarkupToolTip::ShowTimer);
        QPainter p(&pageImage);
        p.drawImage(tip.window()->geometryInfo().windowPos - page->mapToGlobal(QPoint(0, 0)) +
                        QPoint(0, 0),
                    tip.window()->composed());
        p.end();
        shots.save("tip-inspection", pageImage);
    }
}

} // namespace

int writeShots(const QString& dirPath) {
    Shots shots{QDir(dirPath)};
    QDir().mkpath(dirPath);
    std::unique_ptr<QWidget> page(makeControlsPage());
    page->show();
    QApplication::processEvents();
    shots.save("controls", page->grab().toImage());
    page->hide();

    shots.save("artwork-toolbar",
               sheet({163, 171, 164, 172, 165, 166, 173, 167, 174, 168, 175, 169, 176, 170, 177},
                     false, 1, 900));
    shots.save("artwork-buttons",
               sheet({222, 223, 226, 225, 224, 227, 133, 249, 211, 251}, false, 2, 1000));
    shots.save("artwork-menu-images", sheet({181, 188, 189, 190, 191, 192, 193, 194, 195, 196, 197,
                                             198, 199, 200, 201, 202, 203},
                                            false, 3, 1000));
    shots.save("artwork-icons", sheet({178, 179, 180, 233, 128}, true, 2, 800));
    shots.save("artwork-strip-159", sheet({159}, false, 3, 900));
    for (int n : {162, 229, 230, 231, 232, 237, 238, 247})
        shots.save(QStringLiteral("skin-%1").arg(n), loadBitmapResource(n));
    menuShots(shots);
    boxShots(shots);
    tipShots(shots);
    return shots.written;
}

} // namespace gallery
