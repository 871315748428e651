// dorvak_artgen OUTDIR: draws the program's bitmaps and icons and writes
//   OUTDIR/bitmaps/<number>.png, OUTDIR/icons/<number>.png (32 x 32),
//   OUTDIR/icons/16/<number>.png (16 x 16 renderings of the same icons)
// and OUTDIR/art.qrc listing them under the resource paths the toolkit uses.
// dorvak_artgen --app-icons OUTDIR: the application icon for the desktop's
//   icon theme, OUTDIR/<size>x<size>/apps/dorvak-reiserfs.png at the usual
//   sizes of the hicolor theme.
#include "palette.h"
#include "pictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

using art::Glyph;

struct Picture {
    QString path; // relative to the output directory and to ":/"
    std::function<QImage()> draw;
};

std::vector<Picture> catalogue() {
    const art::Palette& c = art::palette();
    std::vector<Picture> list;
    auto bitmap = [&](int n, std::function<QImage()> f) {
        list.push_back({QString("bitmaps/%1.png").arg(n), std::move(f)});
    };
    // Skins: main window, drive information, settings, filters, recovery
    // mode, message dialogs, find files, About.
    bitmap(162, [] { return art::skin(QSize(800, 520), 0); });
    for (int n : {229, 230, 231, 232})
        bitmap(n, [] { return art::skin(QSize(520, 400), 1); });
    bitmap(237, [] { return art::skin(QSize(380, 150), 1); });
    bitmap(238, [] { return art::skin(QSize(640, 480), 1); });
    bitmap(247, [] { return art::skin(QSize(440, 300), 2); });

    // Toolbar: normal strips 163-170, hot strips 171-177 (165 is the spare
    // Properties button, which has no hot partner).
    struct Tool {
        int normal, hot;
        Glyph glyph;
        const char* label;
    };
    const Tool tools[] = {
        {163, 171, Glyph::Recover, "Recover"},     {164, 172, Glyph::RecoverAll, "Recover All"},
        {165, 0, Glyph::Properties, "Properties"}, {166, 173, Glyph::SaveScan, "Save Scan"},
        {167, 174, Glyph::LoadScan, "Load Scan"},  {168, 175, Glyph::Find, "Find"},
        {169, 176, Glyph::Settings, "Settings"},   {170, 177, Glyph::Update, "Update"},
    };
    for (const Tool& t : tools) {
        bitmap(t.normal, [t] { return art::toolbarStrip(t.glyph, t.label, false); });
        if (t.hot) bitmap(t.hot, [t] { return art::toolbarStrip(t.glyph, t.label, true); });
    }

    // Wizard buttons: Back 222/223, Next 226/225 (224 the greyed Next), Stop 227/133.
    bitmap(222, [c] { return art::roundButtonStrip(Glyph::Back, "Back", c.blue, false); });
    bitmap(223, [c] { return art::roundButtonStrip(Glyph::Back, "Back", c.blue, true); });
    bitmap(226, [c] { return art::roundButtonStrip(Glyph::Next, "Next", c.green, false); });
    bitmap(225, [c] { return art::roundButtonStrip(Glyph::Next, "Next", c.green, true); });
    bitmap(224, [c] { return art::roundButtonStrip(Glyph::Next, "Next", c.grey, false); });
    bitmap(227, [c] { return art::roundButtonStrip(Glyph::Stop, "Stop", c.red, false); });
    bitmap(133, [c] { return art::roundButtonStrip(Glyph::Stop, "Stop", c.red, true); });
    bitmap(211, [] { return art::homeStrip(); });
    bitmap(249, [] { return art::helpStrip(); });
    bitmap(251, [] { return art::buyStrip(); });
    bitmap(159, [] { return art::scanStrip(); });

    // Menu images, 16 x 16.
    struct MenuImage {
        int n;
        Glyph glyph;
    };
    const MenuImage menu[] = {
        {181, Glyph::Exit},       {188, Glyph::About},       {189, Glyph::Buy},
        {190, Glyph::Contents},   {191, Glyph::ViewDetails}, {192, Glyph::DriveInfo},
        {193, Glyph::Filter},     {194, Glyph::Find},        {195, Glyph::ViewIcons},
        {196, Glyph::ViewList},   {197, Glyph::Update},      {198, Glyph::Open},
        {199, Glyph::Properties}, {200, Glyph::RecoverAll},  {201, Glyph::Recover},
        {202, Glyph::Rename},     {203, Glyph::Settings},
    };
    for (const MenuImage& m : menu)
        bitmap(m.n, [m] { return art::glyphImage(m.glyph, 16); });

    // Icons: tree images (disk, open folder, folder, computer) and the program.
    struct Icon {
        int n;
        Glyph glyph;
    };
    const Icon icons[] = {
        {178, Glyph::Folder}, {179, Glyph::FolderOpen}, {180, Glyph::Disk}, {233, Glyph::Computer}};
    for (const Icon& i : icons) {
        list.push_back(
            {QString("icons/%1.png").arg(i.n), [i] { return art::glyphImage(i.glyph, 32); }});
        list.push_back(
            {QString("icons/16/%1.png").arg(i.n), [i] { return art::glyphImage(i.glyph, 16); }});
    }
    list.push_back({"icons/128.png", [] { return art::appIcon(32); }});
    list.push_back({"icons/16/128.png", [] { return art::appIcon(16); }});
    list.push_back({"icons/256/128.png", [] { return art::appIcon(256); }});
    return list;
}

bool writeQrc(const QDir& out, const std::vector<Picture>& list) {
    QFile qrc(out.filePath("art.qrc"));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QTextStream s(&qrc);
    s << "<RCC>\n  <qresource prefix=\"/\">\n";
    for (const Picture& pic : list)
        s << "    <file>" << pic.path << "</file>\n";
    s << "  </qresource>\n</RCC>\n";
    return s.status() == QTextStream::Ok;
}

// The hicolor theme's usual sizes: menus, panels, launchers, software centres.
int writeAppIcons(const QDir& out) {
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString file = out.filePath(QString("%1x%1/apps/dorvak-reiserfs.png").arg(size));
        if (!QDir().mkpath(QFileInfo(file).path()) || !art::appIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "dorvak_artgen: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Text in the pictures needs a font database, which needs a GUI
    // application; the offscreen platform keeps the build display-free.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--app-icons")
        return writeAppIcons(QDir(QString::fromLocal8Bit(argv[2])));
    if (argc != 2) {
        std::fprintf(stderr, "usage: dorvak_artgen OUTDIR | --app-icons OUTDIR\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    const std::vector<Picture> list = catalogue();
    for (const Picture& pic : list) {
        const QString file = out.filePath(pic.path);
        if (!QDir().mkpath(QFileInfo(file).path()) || !pic.draw().save(file, "PNG")) {
            std::fprintf(stderr, "dorvak_artgen: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    if (!writeQrc(out, list)) {
        std::fprintf(stderr, "dorvak_artgen: cannot write art.qrc\n");
        return 1;
    }
    return 0;
}
