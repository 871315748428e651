// Times the markup renderer: Prepare + Draw of the main window's two help
// texts (as their tooltips do on every show), and Prepare of long texts of
// growing size to show that measuring grows linearly.
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "ui/markup/markup_renderer.h"

namespace {

const char kOptionsHelp[] =
    "<table>\r\n<tr><td><ilst idres=159 cx=32 cy=32 mask width=200% height=200% "
    "speed=1></td><td><h3>\r\n<h3>Volume "
    "Identify Options</h3><br><hr color=green><br><h3>Use Partition Table</h3>\t<font color=black "
    "size=10pt >This "
    "is fast mode for recovering data.<br><t><t><t></font><font color=black size=10pt >          "
    "Select this if your "
    "volume table is intact.<br><t><t><t></font><br><h3>Search Partition</h3>\t<font color=black "
    "size=10pt >This is "
    "deep and more efficient method  <br><t><t><t>            for recovering data , select this if "
    " <br><t><t><t>    "
    "       Partition Table is deleted or volume is missing.  <br></td></tr></table>";

const char kScanHelp[] =
    "<table>\r\n<tr><td><ilst idres=159 cx=32 cy=32 mask width=200% height=200% "
    "speed=1></td><td><h3>\r\n<h3>Scan "
    "Control</h3><br><hr color=green><br><font color=black size=10pt >Here select the disk area to "
    "scan. Don't change "
    "<br></font><font color=black size=10pt >if you want to scan the whole disk.</td></tr></table>";

// A 4-frame 32x32 strip standing in for bitmap 159 when the resource is absent.
QImage MakeStrip() {
    QImage strip(128, 32, QImage::Format_RGB32);
    strip.fill(qRgb(255, 0, 255));
    QPainter p(&strip);
    for (int f = 0; f < 4; ++f)
        p.fillRect(f * 32 + 6, 6, 20, 20, QColor::fromHsv(f * 90, 255, 220));
    return strip;
}

// Median of `runs` timings of `body`, in microseconds.
template <typename F> double MedianMicros(int runs, F body) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        body();
        t.push_back(timer.nsecsElapsed() / 1000.0);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

void HelpText(const char* name, QByteArray text, int handle) {
    if (!QFile::exists(QStringLiteral(":/bitmaps/159.png")))
        text.replace("idres=159", "handle=" + QByteArray::number(handle));
    dorvak::MarkupRenderer r;
    QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    QSize size = r.Prepare(&probe, text);
    QImage target(size, QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < 20; ++i) { // warm font and glyph caches
        r.Prepare(&target, text);
        QPainter p(&target);
        r.Draw(p, target.rect());
    }
    const double measure = MedianMicros(400, [&] { r.Prepare(&target, text); });
    const double draw = MedianMicros(400, [&] {
        target.fill(Qt::white);
        QPainter p(&target);
        r.Draw(p, target.rect());
    });
    std::printf("%-28s %4dx%-4d measure %7.1f us  draw %7.1f us  total %7.1f us\n", name,
                size.width(), size.height(), measure, draw, measure + draw);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int handle = dorvak::MarkupRenderer::registerImageHandle(MakeStrip());
    std::printf("Help texts (median of 400 runs):\n");
    HelpText("options help (1097)", kOptionsHelp, handle);
    HelpText("range help (1098)", kScanHelp, handle);

    std::printf("\nLong texts, Prepare only (wrap width 400, median of 5 runs):\n");
    const QByteArray unit = "Some <b>bold</b> and <i>italic</i> words, a <font "
                            "color=red>red</font> one, <a href=x>a link</a>; "
                            "<hr width=50%>more plain text to wrap around the line.<br>";
    dorvak::MarkupRenderer r;
    r.SetWrapWidth(400);
    QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    double base = 0;
    for (int kb : {25, 50, 100, 200}) {
        QByteArray text;
        while (text.size() < kb * 1024)
            text += unit;
        r.Prepare(&probe, text);
        const double us = MedianMicros(5, [&] { r.Prepare(&probe, text); });
        if (kb == 25) base = us;
        std::printf("  %4d KB  %9.1f ms  %5.2f x the 25 KB time  (%zu lines)\n", kb, us / 1000.0,
                    us / base, r.Lines().size());
    }
    dorvak::MarkupRenderer::releaseImageHandle(handle);
    return 0;
}
