#include "gallery.h"

#include "ui/controls/color_widgets.h"
#include "ui/controls/flat_combo_box.h"
#include "ui/controls/hover_button.h"
#include "ui/controls/image_button.h"
#include "ui/controls/resource_images.h"
#include "ui/controls/text_progress_bar.h"
#include "ui/controls/transparent_static.h"
#include "ui/controls/xp_group_box.h"

#include <QPainter>

namespace gallery {

using namespace dorvak;

namespace {

class SkinPage : public QWidget {
public:
    SkinPage() : skin_(loadBitmapResource(162)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(0xE6, 0xEC, 0xF4));
        p.drawImage(0, 0, skin_);
    }

private:
    QImage skin_;
};

} // namespace

QWidget* makeControlsPage() {
    auto* page = new SkinPage;
    page->resize(800, 520);
    // Toolbar of hover buttons, as the main window lays it out.
    const int bitmaps[][2] = {{163, 171}, {164, 172}, {168, 175}, {169, 176}, {170, 177}};
    int x = 20;
    for (const auto& b : bitmaps) {
        auto* button = new HoverButton(page);
        button->setBitmapResource(b[0], b[1]);
        button->move(x, 16);
        x += 76;
    }
    auto* hot = new HoverButton(page); // shown hot, as if hovered
    hot->setBitmap(loadBitmapResource(171), loadBitmapResource(171));
    hot->move(x + 10, 16);
    auto* home = new HoverButton(page);
    home->setBitmapResource(211);
    home->move(640, 2);
    auto* buy = new HoverButton(page);
    buy->setBitmapResource(251);
    buy->move(660, 64);

    auto* group = new XPGroupBox("Volume Identify Options", page);
    group->setGeometry(20, 110, 250, 120);
    group->setBoxStyle(XPGroupBox::Style::Band);
    group->setCaptionBandColor(QColor(0x2F, 0x6F, 0xD0));
    group->setBodyColor(QColor(0xF7, 0xFA, 0xFE));
    group->setBorderColor(QColor(0x1D, 0x4E, 0x9E));
    auto* check = new ColorCheckBox("Use Partition Table", group);
    check->setChecked(true);
    check->move(16, 40);
    auto* check2 = new ColorCheckBox("Search Partition", group);
    check2->setTextColor(QColor(0x1D, 0x4E, 0x9E));
    check2->move(16, 70);
    auto* help = new HoverButton(group);
    help->setBitmapResource(249);
    help->move(210, 70);

    auto* framed = new XPGroupBox("Select Range", page);
    framed->setGeometry(290, 110, 250, 120);
    framed->setCaptionAlignment(XPGroupBox::Centre);
    auto* combo = new FlatComboBox(framed);
    combo->addItems({"Whole disk", "First partition", "Custom range"});
    combo->setGeometry(16, 40, 180, 24);
    auto* label = new ColorLabel("Start Sector: 0", framed);
    label->setTextColor(QColor(0x24, 0x32, 0x4A));
    label->setBold(true);
    label->move(16, 80);

    auto* model = new TransparentStatic("Model                  :  VIRTUAL DISK 1.0", page);
    model->setGeometry(20, 250, 400, 20);
    auto* opaque = new ColorLabel("  Opaque colored label  ", page);
    opaque->setTransparent(false);
    opaque->setBackgroundColor(QColor(0xFF, 0xF4, 0xD6));
    opaque->setTextColor(QColor(0x9A, 0x56, 0x0E));
    opaque->move(20, 280);

    int y = 320;
    for (int pos : {0, 35, 50, 100}) {
        auto* bar = new TextProgressBar(page);
        bar->setGeometry(20, y, 440, 20);
        bar->setRange32(0, 100);
        bar->setPos(pos);
        y += 30;
    }
    auto* texted = new TextProgressBar(page);
    texted->setGeometry(20, y, 440, 20);
    texted->setRange32(0, 10);
    texted->setPos(7);
    texted->setText("Saving the data please wait");

    auto* image = new ImageButton(page);
    image->setImageResources(194);
    image->setText("Find Files...");
    image->setGeometry(500, 320, 140, 30);
    auto* checkButton = new ImageButton(page);
    checkButton->setImageResources(203);
    checkButton->setText("Settings");
    checkButton->setCheckBoxMode(true);
    checkButton->setChecked(true);
    checkButton->setGeometry(500, 360, 140, 30);

    int bx = 560;
    for (const auto& b : {std::pair{222, 223}, std::pair{226, 225}, std::pair{227, 133}}) {
        auto* button = new HoverButton(page);
        button->setBitmapResource(b.first, b.second);
        button->move(bx, 420);
        bx += 60;
    }
    return page;
}

std::vector<BoxSample> boxSamples() {
    std::vector<BoxSample> out;
    // The program's own messages: window effect 12 in light yellow and white.
    dorvak::MessageBoxParams program;
    program.windowStyle.separator = 0;
    program.windowStyle.captionAlign = 2;
    program.windowStyle.effect = 12;
    program.windowStyle.start = QColor(0xF7, 0xFD, 0x86);
    program.windowStyle.middle = QColor(0xFF, 0xFF, 0xFF);
    program.windowStyle.end = QColor(0xF7, 0xFD, 0x86);
    out.push_back({"msgbox-ok-information",
                   "Live Update file not found. Please re-install the software.",
                   "Tervolk Dorvak ReiserFS", 0x40, program});
    out.push_back({"msgbox-yesno-question", "Do you really want to exit ?",
                   "Tervolk Dorvak ReiserFS", 0x24, program});
    out.push_back({"msgbox-error", " Tervolk Dorvak ReiserFS.chm not found",
                   "Tervolk Dorvak ReiserFS", 0x10, program});
    out.push_back({"msgbox-plain-exclamation", "Style 0x30 without a record.", "", 0x30, {}});

    dorvak::MessageBoxParams rich;
    rich.headerHeight = 40;
    rich.headerText = "<h3>Recovery finished</h3>";
    rich.headerStyle.effect = 2;
    rich.headerStyle.start = QColor(0xFF, 0xFF, 0xFF);
    rich.headerStyle.end = QColor(0xDC, 0xE8, 0xF8);
    rich.headerStyle.separator = 1;
    rich.controlsStyle.separator = 1;
    rich.controlsStyle.caption = "Details";
    rich.controlsStyle.captionAlign = 2;
    rich.moreText =
        "<font color=gray>12 files were skipped because<br>their sectors could not be read.</font>";
    rich.moreStyle.effect = 0;
    rich.moreStyle.start = QColor(0xFB, 0xFB, 0xF4);
    rich.moreStyle.separator = 1;
    rich.rememberName = "GallerySample";
    rich.style = 0;
    out.push_back(
        {"msgbox-header-more-remember",
         "1,204 files were copied to <b>/home/user/recovered</b>.<br>Open the folder now?",
         "Recover All", 0x01000024 | 0x4000, rich, true});

    dorvak::MessageBoxParams timed;
    timed.timeoutSeconds = 5;
    timed.controlsStyle.effect = 0;
    timed.controlsStyle.start = QColor(0xEE, 0xF2, 0xF8);
    timed.controlsStyle.separator = 1;
    out.push_back({"msgbox-timeout", "The search will continue on its own.", "Search Partition",
                   0x41, timed});

    dorvak::MessageBoxParams custom;
    custom.customButtons = "Keep both\nReplace\nSkip";
    custom.buttonAlignment = 1;
    out.push_back({"msgbox-custom-buttons", "A file named <b>notes.txt</b> already exists.",
                   "Recover Selected", 0x20, custom});
    return out;
}

} // namespace gallery
