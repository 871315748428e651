// ui-gallery: shows the toolkit's controls, menus, message boxes and tips.
//   ui-gallery                    the interactive gallery
//   ui-gallery --screenshot DIR   writes a PNG of each, off-screen
#include "gallery.h"

#include "ui/controls/resource_images.h"
#include "ui/msgbox/markup_message_box.h"
#include "ui/tooltip/markup_tool_tip.h"

#include <QApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>

namespace {

QWidget* boxesPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    for (const gallery::BoxSample& s : gallery::boxSamples()) {
        auto* b = new QPushButton(s.name, page);
        QObject::connect(b, &QPushButton::clicked, page, [s, page] {
            dorvak::ShowMarkupMessageBox(page, s.text, s.caption, s.style, &s.params);
        });
        layout->addWidget(b);
    }
    layout->addStretch();
    return page;
}

QWidget* tipsPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* scan = new QPushButton("Hover me: the main window's help tip", page);
    auto* plain = new QPushButton("Hover me: a rectangle tip", page);
    layout->addWidget(scan);
    layout->addWidget(plain);
    layout->addStretch();
    auto* balloon = new dorvak::MarkupToolTip(page);
    balloon->setBackgroundEffect(13, 5);
    balloon->setColors(QColor(0xFC, 0xFF, 0x7D), Qt::white, QColor(0xFC, 0xFF, 0x7D));
    balloon->setBorder(Qt::white, 1, 1);
    balloon->setDirection(2);
    balloon->addTool(scan, "<table><tr><td><ilst idres=159 cx=32 cy=32 mask width=200% "
                           "height=200% speed=1></td><td><h3>Scan Control</h3><br><hr color=green>"
                           "<br>Here select the disk area to scan.</td></tr></table>");
    auto* rect = new dorvak::MarkupToolTip(page, dorvak::MarkupToolTip::Shape::Rectangle);
    rect->addTool(plain, "A <b>rectangle</b> tip.");
    return page;
}

} // namespace

int main(int argc, char** argv) {
    const bool shots = argc == 3 && std::strcmp(argv[1], "--screenshot") == 0;
    if (shots) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (shots) {
        const int n = gallery::writeShots(QString::fromLocal8Bit(argv[2]));
        std::printf("%d pictures written to %s\n", n, argv[2]);
        return n > 0 ? 0 : 1;
    }
    if (argc != 1) {
        std::fprintf(stderr, "usage: ui-gallery [--screenshot DIR]\n");
        return 2;
    }
    QTabWidget tabs;
    tabs.setWindowTitle("Dorvak UI gallery");
    tabs.setWindowIcon(QIcon(QPixmap::fromImage(dorvak::loadIconResource(128))));
    tabs.addTab(gallery::makeControlsPage(), "Controls");
    tabs.addTab(boxesPage(), "Message boxes");
    tabs.addTab(tipsPage(), "Tooltips");
    tabs.show();
    return app.exec();
}
