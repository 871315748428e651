// The main window's layout table: every control's id, place in dialog units
// and visibility at start, in the order the controls are created.
#include "shell/window_layout.h"

#include "ui/controls/hover_button.h"
#include "ui/controls/text_progress_bar.h"
#include "ui/controls/transparent_static.h"
#include "ui/controls/xp_group_box.h"

#include <QLineEdit>
#include <QListView>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTreeView>

namespace dorvak {
namespace {

// The ids of the window's dialog template; the layout table below is their
// only user (they name the widgets, so a widget tree dump shows them).
namespace id {
constexpr int List = 1000, SearchOption = 1001, UseTable = 1002, Next = 1003, Back = 1004;
constexpr int OptionsGroup = 1007, Progress = 1008, StartField = 1011, EndField = 1012;
constexpr int StartCaption = 1014, EndCaption = 1015, Stop = 1017, Status = 1020;
constexpr int FirstTool = 1049, ListFrame = 1056, HomePage = 1072, OptionsHelp = 1097;
constexpr int RangeHelp = 1098, QuickHelp = 1100, OptionsTitle = 1101, BuyOnline = 1102;
constexpr int RangeGroup = 1106, RangeTitle = 1107;
// The left pane's trees share one id and place.
constexpr int Tree = 100;
// Caption ids of the information panel's pairs; each value's id is its caption's + 1.
constexpr int PairCaptions[kInfoPairCount] = {1018, 1058, 1060, 1062, 1064};
} // namespace id

struct Place {
    int id;
    int x, y, w, h; // dialog units
    bool visible;
};

// The toolbar buttons come first, at ids FirstTool + their index.
constexpr Place kToolbar[] = {
    {id::FirstTool + 0, 13, 13, 45, 42, true},   {id::FirstTool + 1, 71, 13, 45, 42, true},
    {id::FirstTool + 2, 133, 13, 45, 42, false}, {id::FirstTool + 3, 195, 13, 45, 42, false},
    {id::FirstTool + 4, 134, 13, 45, 42, true},  {id::FirstTool + 5, 194, 13, 45, 42, true},
    {id::FirstTool + 6, 255, 13, 45, 42, true}};

// The information panel: caption and value of each pair.
constexpr Place kPairCaptions[kInfoPairCount] = {{id::PairCaptions[0], 176, 70, 98, 10, true},
                                                 {id::PairCaptions[1], 176, 89, 100, 11, true},
                                                 {id::PairCaptions[2], 176, 110, 97, 12, true},
                                                 {id::PairCaptions[3], 176, 130, 97, 13, true},
                                                 {id::PairCaptions[4], 176, 149, 97, 13, true}};
constexpr Place kPairValues[kInfoPairCount] = {{id::PairCaptions[0] + 1, 302, 70, 196, 12, true},
                                               {id::PairCaptions[1] + 1, 302, 88, 197, 11, true},
                                               {id::PairCaptions[2] + 1, 302, 109, 198, 14, true},
                                               {id::PairCaptions[3] + 1, 302, 130, 198, 11, true},
                                               {id::PairCaptions[4] + 1, 302, 149, 196, 13, true}};
// The captions the template gives the pairs (start-up replaces them).
const char* const kPairTemplateCaptions[kInfoPairCount] = {
    "Model                      :", "Capacity                  :", "Cylinders                 :",
    "Head                      :", "Sectors Per Track  :"};

constexpr Place kLayout[] = {
    {id::HomePage, 422, 1, 91, 35, true},       {id::BuyOnline, 435, 44, 77, 14, true},
    {id::ListFrame, 153, 57, 371, 200, true},   {id::List, 155, 62, 368, 196, false},
    {id::Status, 160, 214, 258, 10, true},      {id::OptionsGroup, 176, 206, 123, 47, true},
    {id::OptionsTitle, 186, 202, 91, 10, true}, {id::UseTable, 186, 215, 86, 14, true},
    {id::SearchOption, 185, 233, 83, 13, true}, {id::OptionsHelp, 271, 225, 11, 12, true},
    {id::RangeGroup, 329, 206, 167, 47, false}, {id::RangeTitle, 339, 202, 52, 10, false},
    {id::StartCaption, 336, 215, 57, 9, false}, {id::StartField, 397, 215, 72, 12, false},
    {id::EndCaption, 336, 235, 57, 9, false},   {id::EndField, 397, 235, 72, 12, false},
    {id::RangeHelp, 478, 225, 11, 12, false},   {id::Progress, 156, 226, 294, 12, false},
    {id::Stop, 474, 217, 33, 30, false},        {id::QuickHelp, 13, 260, 384, 38, true},
    {id::Back, 404, 260, 33, 30, false},        {id::Next, 459, 260, 33, 30, false},
};

// Puts the widgets on the client area at the places of their table rows.
class Placer {
public:
    Placer(QWidget* client, const DialogUnits& units) : client_(client), units_(units) {}

    template <class T> T* put(T* widget, const Place& p) const {
        widget->setParent(client_);
        widget->setGeometry(units_.rect(p.x, p.y, p.w, p.h));
        widget->setObjectName(QString::number(p.id));
        widget->setVisible(p.visible);
        return widget;
    }
    template <class T> T* put(T* widget, int controlId) const {
        for (const Place& p : kLayout)
            if (p.id == controlId) return put(widget, p);
        Q_UNREACHABLE();
        return widget;
    }

private:
    QWidget* client_;
    DialogUnits units_;
};

TransparentStatic* caption(const char* text) {
    return new TransparentStatic(QString::fromLatin1(text));
}

void buildToolbarAndPanel(const Placer& at, WindowControls& c) {
    for (std::size_t i = 0; i < c.tools.size(); ++i)
        c.tools[i] = at.put(new HoverButton, kToolbar[i]);
    c.homePage = at.put(new HoverButton, id::HomePage);
    c.buyOnline = at.put(new HoverButton, id::BuyOnline);
    c.listFrame = at.put(new XPGroupBox, id::ListFrame);
    c.list = at.put(new QTreeView, id::List);
    // The icon and list view shares the details view's place and id.
    c.iconView = new QListView;
    at.put(c.iconView, id::List)->hide();
    for (int i = 0; i < kInfoPairCount; ++i) {
        c.captions[i] = at.put(caption(kPairTemplateCaptions[i]), kPairCaptions[i]);
        c.values[i] = at.put(new TransparentStatic, kPairValues[i]);
    }
    c.status = at.put(new TransparentStatic, id::Status);
}

void buildOptionsAndRange(const Placer& at, WindowControls& c) {
    c.optionsGroup = at.put(new XPGroupBox, id::OptionsGroup);
    c.optionsTitle = at.put(caption("Volume Identify Options"), id::OptionsTitle);
    c.useTable = at.put(new QRadioButton(QStringLiteral("Use Partition Table")), id::UseTable);
    c.searchOption = at.put(new QRadioButton(QStringLiteral("Search Partition")), id::SearchOption);
    c.optionsHelp = at.put(new HoverButton, id::OptionsHelp);
    c.rangeGroup = at.put(new XPGroupBox, id::RangeGroup);
    c.rangeTitle = at.put(caption("Select Range"), id::RangeTitle);
    c.startCaption = at.put(caption("Start Sector"), id::StartCaption);
    c.startField = at.put(new QLineEdit, id::StartField);
    c.endCaption = at.put(caption("End Sector"), id::EndCaption);
    c.endField = at.put(new QLineEdit, id::EndField);
    c.rangeHelp = at.put(new HoverButton, id::RangeHelp);
    // The sector fields take digits only.
    for (QLineEdit* f : {c.startField, c.endField})
        f->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), f));
}

} // namespace

WindowControls buildWindowControls(QWidget* client, const DialogUnits& units) {
    const Placer at(client, units);
    WindowControls c;
    buildToolbarAndPanel(at, c);
    buildOptionsAndRange(at, c);
    c.progress = at.put(new TextProgressBar, id::Progress);
    c.stopButton = at.put(new HoverButton, id::Stop);
    c.quickHelp = at.put(caption("Quick Help"), id::QuickHelp);
    c.backButton = at.put(new HoverButton, id::Back);
    c.nextButton = at.put(new HoverButton, id::Next);
    return c;
}

namespace {

QRect treeRect(const DialogUnits& units) {
    // The trees share one place in the left pane: 5,98 to 228,418 in pixels
    // of a font with base units 6 x 13, kept in proportion to this font so
    // the pane meets the list and the Quick Help as it was drawn.
    auto px = [&units](int v) { return (v * units.baseX + 3) / 6; };
    auto py = [&units](int v) { return (v * units.baseY + 6) / 13; };
    return QRect(QPoint(px(5), py(98)), QPoint(px(228), py(418)));
}

const Place* placeOf(int controlId) {
    for (const Place& p : kLayout)
        if (p.id == controlId) return &p;
    for (const Place& p : kToolbar)
        if (p.id == controlId) return &p;
    for (int i = 0; i < kInfoPairCount; ++i) {
        if (kPairCaptions[i].id == controlId) return &kPairCaptions[i];
        if (kPairValues[i].id == controlId) return &kPairValues[i];
    }
    return nullptr;
}

} // namespace

void placeTree(QWidget* tree, QWidget* client, const DialogUnits& units) {
    tree->setParent(client);
    tree->setObjectName(QString::number(id::Tree));
    tree->setGeometry(treeRect(units));
    fitToClient(client, units);
    tree->show();
}

void fitToClient(QWidget* client, const DialogUnits& units) {
    // At the default size every control is where the table puts it. A
    // larger window gives the growth to the list and the trees; the row of
    // the wizard's controls below them moves down, and what sits at the
    // right (the home page buttons, the range, Stop, Back, Next) moves right.
    const QSize base = units.rect(0, 0, kDialogWidth, kDialogHeight).size();
    const int dx = qMax(0, client->width() - base.width());
    const int dy = qMax(0, client->height() - base.height());
    for (QWidget* w : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        bool numbered = false;
        const int controlId = w->objectName().toInt(&numbered);
        if (!numbered) continue;
        if (controlId == id::Tree) {
            w->setGeometry(treeRect(units).adjusted(0, 0, 0, dy));
            continue;
        }
        const Place* p = placeOf(controlId);
        if (!p) continue;
        QRect r = units.rect(p->x, p->y, p->w, p->h);
        const bool bottomRow = p->y >= 200;
        if (controlId == id::List || controlId == id::ListFrame)
            r.adjust(0, 0, dx, dy);
        else if (controlId == id::Progress || controlId == id::QuickHelp)
            r.adjust(0, 0, dx, 0);
        else if ((bottomRow && p->x >= 300) || (!bottomRow && p->x >= 400))
            r.translate(dx, 0);
        if (bottomRow) r.translate(0, dy);
        w->setGeometry(r);
    }
}

} // namespace dorvak
