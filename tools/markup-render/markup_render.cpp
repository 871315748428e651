// markup-render [--wrap W] [--width W --height H] [--disabled] [--lines]
//               [--effect E --colors C1,C2,C3] --out FILE.png 'MARKUP'
// Prints the measured size as WxH and writes the drawing to FILE.png. Runs
// on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise. With
// --effect the markup is drawn over that background effect (as the tooltip
// and the message box do).
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/markup/markup_renderer.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: markup-render [--wrap W] [--width W --height H] [--disabled] [--lines] "
                 "[--effect E [--colors START,MIDDLE,END]] --out FILE.png 'MARKUP'\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int wrap = 0, width = 0, height = 0, effect = -1;
    bool disabled = false, listLines = false;
    QString out;
    QByteArray markup;
    bool haveMarkup = false;
    QColor colors[3] = {Qt::white, Qt::white, Qt::white};
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto next = [&]() -> QString { return i + 1 < args.size() ? args[++i] : QString(); };
        if (a == "--wrap")
            wrap = next().toInt();
        else if (a == "--width")
            width = next().toInt();
        else if (a == "--height")
            height = next().toInt();
        else if (a == "--disabled")
            disabled = true;
        else if (a == "--lines")
            listLines = true;
        else if (a == "--out")
            out = next();
        else if (a == "--effect")
            effect = next().toInt();
        else if (a == "--colors") {
            const QStringList parts = next().split(',');
            for (int k = 0; k < 3 && k < parts.size(); ++k)
                colors[k] = QColor::fromString(parts[k]);
        } else if (!a.startsWith("--") && !haveMarkup) {
            markup = QByteArray(argv[i]); // the raw bytes: markup is 8-bit text
            haveMarkup = true;
        } else
            return usage();
    }
    if (out.isEmpty() || !haveMarkup) return usage();

    dorvak::MarkupRenderer renderer;
    renderer.SetWrapWidth(wrap);
    renderer.SetEnabled(!disabled);
    QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    const QSize size = renderer.Prepare(&probe, markup);
    std::printf("%dx%d\n", size.width(), size.height());
    if (listLines)
        for (const dorvak::LineRecord& l : renderer.Lines())
            std::printf("line width %d height %d descent %d percent %d align %d%s\n", l.width,
                        l.height, l.maxDescent, l.percent, int(l.align),
                        l.wrapped ? " wrapped" : "");
    const int w = std::max(1, width > 0 ? width : size.width());
    const int h = std::max(1, height > 0 ? height : size.height());
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        dorvak::drawBackgroundEffect(painter, image.rect(), dorvak::Effect(effect), colors[0],
                                     colors[1], colors[2], 5);
        renderer.Draw(painter, QRect(0, 0, w, h));
    }
    if (!image.save(out, "PNG")) {
        std::fprintf(stderr, "markup-render: cannot write %s\n", qPrintable(out));
        return 1;
    }
    return 0;
}
