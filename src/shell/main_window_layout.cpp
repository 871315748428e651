// The main window's controls, placed by dialog units of the dialog font.
#include "shell/catalog_models.h"
#include "shell/main_window.h"
#include "shell/step_tree.h"
#include "ui/controls/hover_button.h"
#include "ui/controls/resource_images.h"
#include "ui/controls/text_progress_bar.h"
#include "ui/controls/transparent_static.h"
#include "ui/controls/xp_group_box.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTreeView>
#include <QVBoxLayout>

namespace dorvak {
namespace {

// The client area: the main window's skin, drawn unscaled from the corner.
class SkinArea : public QWidget {
public:
    explicit SkinArea(QWidget* parent) : QWidget(parent), skin_(loadBitmapResource(162)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(0xE6, 0xEC, 0xF4));
        p.drawImage(0, 0, skin_);
    }

private:
    QImage skin_;
};

constexpr int kDialogWidth = 528, kDialogHeight = 311;

} // namespace

QRect MainWindow::du(int x, int y, int w, int h) const {
    // Dialog units: a quarter of the font's average character width across,
    // an eighth of its height down.
    auto cx = [this](int v) { return (v * baseX_ + 2) / 4; };
    auto cy = [this](int v) { return (v * baseY_ + 4) / 8; };
    return QRect(cx(x), cy(y), cx(w), cy(h));
}

template <class T> T* MainWindow::add(int id, T* widget, QRect rect, bool visible) {
    widget->setParent(client_);
    widget->setGeometry(rect);
    widget->setObjectName(QString::number(id));
    widget->setVisible(visible);
    controls_[id] = widget;
    return widget;
}

void MainWindow::createControls() {
    dialogFont_ = QFont(QStringLiteral("Liberation Sans"));
    dialogFont_.setPointSizeF(8.25);
    // The dialog font is the application's: the dialogs and messages use it too.
    QApplication::setFont(dialogFont_);
    setFont(dialogFont_);
    const QFontMetrics fm(dialogFont_);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = (fm.horizontalAdvance(alphabet) / 26 + 1) / 2;
    baseY_ = fm.height();

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    menuBar_ = new QMenuBar(this);
    outer->setMenuBar(menuBar_);
    client_ = new SkinArea(this);
    const QRect all = du(0, 0, kDialogWidth, kDialogHeight);
    client_->setFixedSize(all.size());
    outer->addWidget(client_);

    // Toolbar buttons (their bitmaps come with the menus, createToolbar).
    const int toolX[] = {13, 71, 133, 195, 134, 194, 255};
    for (int i = 0; i < 7; ++i) {
        const int id = 1049 + i;
        add(id, new CHoverButton, du(toolX[i], 13, 45, 42), id != 1051 && id != 1052);
    }
    auto* home = add(1072, new CHoverButton, du(422, 1, 91, 35));
    home->setBitmapResource(211);
    home->setToolTipText(QStringLiteral("Click here to visit software home page"));
    auto* buy = add(1102, new CHoverButton, du(435, 44, 77, 14));
    buy->setBitmapResource(251);
    buy->setToolTipText(QStringLiteral("Click here to buy the software"));
    for (auto* b : {home, buy}) {
        b->resize(b->sizeHint());
        connect(b, &QAbstractButton::clicked, this, [this] { runCommand(1072); });
    }

    add(1056, new CXPGroupBox, du(153, 57, 371, 200));

    // The list pane: a details view over the folder list model.
    listModel_ = new FileListModel(this);
    listModel_->setCatalog(&state_.catalog);
    list_ = add(1000, new QTreeView, du(155, 62, 368, 196), false);
    list_->setModel(listModel_);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    list_->setIconSize(QSize(16, 16));
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionsMovable(false);
    list_->setStyleSheet(QStringLiteral("QTreeView { background: white; }"));
    createListViews();

    // Information panel: five caption/value pairs and the status line.
    const int rows[5][8] = {{1018, 176, 70, 98, 8, 302, 70, 96},
                            {1058, 176, 89, 100, 9, 302, 88, 97},
                            {1060, 176, 110, 97, 10, 302, 109, 98},
                            {1062, 176, 130, 97, 11, 302, 130, 98},
                            {1064, 176, 149, 97, 11, 302, 149, 96}};
    const int valueHeights[] = {11, 10, 13, 10, 12};
    const char* const captions[] = {
        "Model                      :", "Capacity                  :",
        "Cylinders                 :", "Head                      :", "Sectors Per Track  :"};
    for (int i = 0; i < 5; ++i) {
        const int* r = rows[i];
        add(r[0], new CTransparentStatic(QString::fromLatin1(captions[i])),
            du(r[1], r[2], r[3], r[4] + 2));
        add(r[0] + 1, new CTransparentStatic, du(r[5], r[6], r[7] + 100, valueHeights[i] + 1));
    }
    status_ = add(1020, new CTransparentStatic, du(160, 214, 258, 10));

    // Volume identify options.
    add(1007, new CXPGroupBox, du(176, 206, 123, 47));
    add(1101, new CTransparentStatic(QStringLiteral("Volume Identify Options")),
        du(186, 202, 91, 10));
    useTable_ =
        add(1002, new QRadioButton(QStringLiteral("Use Partition Table")), du(186, 215, 86, 14));
    searchOption_ =
        add(1001, new QRadioButton(QStringLiteral("Search Partition")), du(185, 233, 83, 13));
    for (auto* r : {useTable_, searchOption_})
        r->setAttribute(Qt::WA_TranslucentBackground);
    connect(useTable_, &QRadioButton::clicked, this, &MainWindow::OnUsePartitionTableOption);
    connect(searchOption_, &QRadioButton::clicked, this, &MainWindow::OnSearchPartitionOption);
    auto* optionsHelp = add(1097, new CHoverButton, du(271, 225, 11, 12));

    // The search range.
    add(1106, new CXPGroupBox, du(329, 206, 167, 47), false);
    add(1107, new CTransparentStatic(QStringLiteral("Select Range")), du(339, 202, 52, 10), false);
    add(1014, new CTransparentStatic(QStringLiteral("Start Sector")), du(336, 215, 57, 9), false);
    startField_ = add(1011, new QLineEdit, du(397, 215, 72, 12), false);
    add(1015, new CTransparentStatic(QStringLiteral("End Sector")), du(336, 235, 57, 9), false);
    endField_ = add(1012, new QLineEdit, du(397, 235, 72, 12), false);
    for (auto* f : {startField_, endField_})
        f->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), f));
    auto* rangeHelp = add(1098, new CHoverButton, du(478, 225, 11, 12), false);
    for (auto* h : {optionsHelp, rangeHelp}) {
        h->setBitmapResource(249);
        h->resize(h->sizeHint());
    }

    progress_ = add(1008, new TextProgressBar, du(156, 226, 294, 12), false);
    progress_->setRange32(0, 100);

    auto* stop = add(1017, new CHoverButton, du(474, 217, 33, 30), false);
    stop->setBitmapResource(227, 133);
    stop->setToolTipText(QStringLiteral("Stops the current process"));
    connect(stop, &QAbstractButton::clicked, this, &MainWindow::OnStop);

    quickHelp_ =
        add(1100, new CTransparentStatic(QStringLiteral("Quick Help")), du(13, 260, 384, 38));
    quickHelp_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    quickHelp_->setWordWrap(true);

    auto* back = add(1004, new CHoverButton, du(404, 260, 33, 30), false);
    back->setBitmapResource(222, 223);
    back->setToolTipText(QStringLiteral("Go to previous step"));
    connect(back, &QAbstractButton::clicked, this, &MainWindow::OnBack);
    auto* next = add(1003, new CHoverButton, du(459, 260, 33, 30), false);
    next->setBitmapResource(226, 225);
    next->setToolTipText(QStringLiteral("Go to next step"));
    connect(next, &QAbstractButton::clicked, this, &MainWindow::OnNext);
    for (auto* b : {stop, back, next})
        b->resize(b->sizeHint());
}

void MainWindow::placeTree(StepTree* tree) {
    // The trees share one place in the left pane: 5,98 to 228,418 in pixels
    // of a font with base units 6 x 13, kept in proportion to this font so
    // the pane meets the list and the Quick Help as it was drawn.
    tree->setParent(client_);
    auto px = [this](int v) { return (v * baseX_ + 3) / 6; };
    auto py = [this](int v) { return (v * baseY_ + 6) / 13; };
    tree->setGeometry(QRect(QPoint(px(5), py(98)), QPoint(px(228), py(418))));
    tree->show();
}

} // namespace dorvak
