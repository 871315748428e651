#include "shell/tool_dialogs.h"

#include "browse/display_text.h"
#include "browse/name_decoder.h"
#include "disk/volume_info.h"
#include "reiserfs/catalog.h"
#include "shell/catalog_models.h"
#include "shell/messages.h"
#include "ui/controls/xp_group_box.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace dorvak {
namespace {

QLabel* valueLabel(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QFrame* rule(QWidget* parent) {
    auto* f = new QFrame(parent);
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

QDialogButtonBox* okButton(QDialog* d) {
    auto* b = new QDialogButtonBox(QDialogButtonBox::Ok, d);
    QObject::connect(b, &QDialogButtonBox::accepted, d, &QDialog::accept);
    return b;
}

} // namespace

// ---- File Filters ------------------------------------------------------------

FiltersDialog::FiltersDialog(const std::vector<std::string>& filters, QWidget* parent)
    : SkinnedDialog(232, parent) {
    setWindowTitle(QStringLiteral("File Filters"));
    edit_ = new QLineEdit(this);
    list_ = new QListWidget(this);
    for (const auto& f : filters)
        list_->addItem(QString::fromStdString(f));
    add_ = new QPushButton(QStringLiteral("&Add"), this);
    remove_ = new QPushButton(QStringLiteral("&Remove"), this);
    close_ = new QPushButton(QStringLiteral("&Close"), this);
    add_->setDefault(true);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 14);
    grid->addWidget(new QLabel(QStringLiteral("Enter Filter"), this), 0, 0);
    grid->addWidget(edit_, 1, 0);
    grid->addWidget(add_, 1, 1);
    grid->addWidget(list_, 2, 0, 3, 1);
    grid->addWidget(remove_, 2, 1);
    grid->addWidget(close_, 3, 1);
    connect(add_, &QPushButton::clicked, this, &FiltersDialog::addFilter);
    connect(remove_, &QPushButton::clicked, this, &FiltersDialog::removeFilter);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(330, 260);
    edit_->setFocus();
}

void FiltersDialog::addFilter() {
    if (list_->count() >= kMaxFilters) {
        ShowMessage(QString::fromLatin1(kFull), MessageKind::Information);
        return;
    }
    const QString text = edit_->text().left(299);
    if (text.size() > kMaxLength) {
        ShowMessage(QString::fromLatin1(kTooLong), MessageKind::Information);
        edit_->setSelection(0, kMaxLength);
        edit_->setFocus();
        return;
    }
    if (text.isEmpty()) {
        ShowMessage(QString::fromLatin1(kBlank), MessageKind::Information);
        edit_->setFocus();
        return;
    }
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->text() == text) {
            ShowMessage(QString::fromLatin1(kExists), MessageKind::Information);
            edit_->setFocus();
            edit_->selectAll();
            return;
        }
    list_->insertItem(0, text); // the newest filter first
    edit_->clear();
    edit_->setFocus();
}

void FiltersDialog::removeFilter() {
    const int row = list_->currentRow();
    if (row >= 0 && list_->item(row)->isSelected()) delete list_->takeItem(row);
}

std::vector<std::string> FiltersDialog::filters() const {
    std::vector<std::string> out;
    for (int i = 0; i < list_->count(); ++i)
        out.push_back(list_->item(i)->text().toStdString());
    return out;
}

// ---- Properties --------------------------------------------------------------

QString fileSizeText(const QString& sizeColumn) {
    bool ok = false;
    const qulonglong bytes = sizeColumn.toULongLong(&ok);
    return QString::fromStdString(kibibytesText(ok ? bytes : 0));
}

PropertiesText folderProperties(const Catalog& catalog, const FolderTreeModel& tree,
                                std::uint32_t treeItem) {
    PropertiesText t;
    std::uint64_t files = 0, folders = 0, bytes = 0;
    const QModelIndex start = tree.indexForTreeItem(treeItem);
    if (start.isValid()) {
        std::vector<QModelIndex> stack{start};
        while (!stack.empty()) {
            const QModelIndex item = stack.back();
            stack.pop_back();
            ++folders;
            const std::uint32_t key = tree.folderKeyOf(item);
            if (tree.treeItemOf(item) != 0)
                for (std::uint32_t f : catalog.childFiles(key)) {
                    ++files;
                    bytes += catalog.FileList()[f].size;
                }
            for (int r = tree.rowCount(item) - 1; r >= 0; --r)
                stack.push_back(tree.index(r, 0, item));
        }
    }
    const std::uint64_t mb = bytes / 1024 / 1024;
    t.size =
        (mb == 0 ? QStringLiteral("Less than 1") : QString::number(mb)) + QStringLiteral(" MB");
    t.contains = QStringLiteral("%1 File(s) and %2 Folder(s)")
                     .arg(files)
                     .arg(folders == 0 ? 0 : folders - 1);
    return t;
}

PropertiesDialog::PropertiesDialog(const PropertiesText& text, QWidget* parent)
    : SkinnedDialog(231, parent) {
    setWindowTitle(QStringLiteral("File/Folder Properties"));
    const char* const labels[] = {
        "Name :", "Size                            :", "Contains                     :",
        "Creation Date              :", "Creation Time              :"};
    const QString values[] = {text.name.left(99), text.size, text.contains, text.date, text.time};
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(18, 16, 18, 12);
    int row = 0;
    for (int i = 0; i < 5; ++i) {
        if (i == 1 || i == 3) grid->addWidget(rule(this), row++, 0, 1, 2);
        grid->addWidget(new QLabel(QString::fromLatin1(labels[i]), this), row, 0, Qt::AlignTop);
        QLabel* v = valueLabel(this);
        v->setText(values[i]);
        if (i == 0) {
            v->setWordWrap(true);
            v->setMinimumHeight(3 * v->fontMetrics().height());
            v->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        }
        values_.push_back(v);
        grid->addWidget(v, row++, 1);
    }
    grid->addWidget(rule(this), row++, 0, 1, 2);
    grid->addWidget(okButton(this), row, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    setFixedWidth(380);
}

QString PropertiesDialog::valueText(int row) const {
    return values_.at(std::size_t(row))->text();
}

// ---- Drive Information ---------------------------------------------------------

DriveInfoDialog::DriveInfoDialog(const VolumeInfo& volume, const Catalog& catalog, bool extensive,
                                 QWidget* parent)
    : SkinnedDialog(229, parent) {
    setWindowTitle(QStringLiteral("Drive Information"));
    const char* const labels[] = {
        "Volume Name",       "Volume Start",           "Volume Size",        "Block Size",
        "Super Block Start", "Total Files           ", "Total Folders     ", "Recovery Type"};
    const QString values[] = {QString::fromStdString(volume.name),
                              QString::number(volume.startSector),
                              QString::fromStdString(volumeSizeText(volume.sectorCount)),
                              QString::fromStdString(blockSizeText(volume.sectorsPerBlock)),
                              QString::number(volume.startSector + 128),
                              QString::number(catalog.fileCount()),
                              QString::number(catalog.folderCount()),
                              extensive ? QStringLiteral("Extensive") : QStringLiteral("Normal")};
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(18, 16, 18, 12);
    auto* title = new QLabel(QStringLiteral("<b>Drive Information</b>"), this);
    grid->addWidget(title, 0, 0, 1, 2);
    grid->addWidget(rule(this), 1, 0, 1, 2);
    for (int i = 0; i < 8; ++i) {
        grid->addWidget(new QLabel(QString::fromLatin1(labels[i]), this), i + 2, 0);
        QLabel* v = valueLabel(this);
        v->setText(values[i]);
        values_.push_back(v);
        grid->addWidget(v, i + 2, 1);
    }
    grid->addWidget(okButton(this), 10, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    setFixedWidth(340);
}

void DriveInfoDialog::notePartial() {
    values_.back()->setText(values_.back()->text() + QStringLiteral(" (stopped: partial)"));
}

QString DriveInfoDialog::valueText(int row) const {
    return values_.at(std::size_t(row))->text();
}

// ---- Recovery Settings -----------------------------------------------------------

namespace {

// A group box of the settings dialog, its caption bold.
XPGroupBox* settingsGroup(QWidget* dialog, const char* caption) {
    auto* g = new XPGroupBox(QString::fromLatin1(caption), dialog);
    QFont bold = dialog->font();
    bold.setBold(true);
    g->setCaptionFont(bold);
    return g;
}

// A list of the numbers 1 to `count` beside its label, filling `group`.
QComboBox* numberList(XPGroupBox* group, int count, const char* label) {
    auto* list = new QComboBox(group);
    for (int i = 1; i <= count; ++i)
        list->addItem(QString::number(i));
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QString::fromLatin1(label), group), 0, 0);
    grid->addWidget(list, 0, 1);
    return list;
}

// Three radio buttons one under the other, filling `group`.
void radioColumn(XPGroupBox* group, const char* const (&labels)[3], QRadioButton* (&out)[3]) {
    auto* column = new QVBoxLayout(group);
    for (int i = 0; i < 3; ++i) {
        out[i] = new QRadioButton(QString::fromLatin1(labels[i]), group);
        column->addWidget(out[i]);
    }
}

} // namespace

SettingsDialog::SettingsDialog(const RecoverySettings& settings, const std::string& nameEncoding,
                               QWidget* parent)
    : SkinnedDialog(230, parent), start_(settings) {
    setWindowTitle(QStringLiteral("Recovery Settings"));
    auto* sectorsGroup = settingsGroup(this, "Sectors to read in single attempt");
    sectors_ = numberList(sectorsGroup, 100, "Sectors to read in single attempt");
    auto* dupGroup = settingsGroup(this, "Setting of duplicate file(s)");
    radioColumn(
        dupGroup,
        {"Rename duplicate file(s)", "Overwrite duplicate file(s)", "Skip duplicate file(s)"},
        duplicate_);
    // The deleted-files choice exists but stays hidden: deletedPolicy keeps
    // its start value.
    deletedGroup_ = settingsGroup(this, "Setting for deleted file(s)");
    radioColumn(
        deletedGroup_,
        {"Include deleted file(s)", "Recover only deleted file(s)", "Exclude deleted file(s)"},
        deleted_);
    deletedGroup_->hide();
    auto* badGroup = settingsGroup(this, "Setting for bad sectors");
    retries_ = numberList(badGroup, 10, "Number of retries on bad sector(s)");
    // Names that are not UTF-8 (old volumes) read in one of these encodings.
    auto* namesGroup = settingsGroup(this, "Name encoding");
    encoding_ = new QComboBox(namesGroup);
    encoding_->addItem(QString::fromLatin1(kDefaultEncoding), QString());
    for (const std::string& e : candidateNameEncodings())
        encoding_->addItem(QString::fromStdString(e), QString::fromStdString(e));
    // An encoding chosen elsewhere (the command line's names) is kept.
    if (!nameEncoding.empty() && encoding_->findData(QString::fromStdString(nameEncoding)) < 0)
        encoding_->addItem(QString::fromStdString(nameEncoding),
                           QString::fromStdString(nameEncoding));
    encoding_->setCurrentIndex(
        std::max(0, encoding_->findData(QString::fromStdString(nameEncoding))));
    auto* namesGrid = new QGridLayout(namesGroup);
    namesGrid->addWidget(new QLabel(QStringLiteral("Names that are not UTF-8 read as"), namesGroup),
                         0, 0);
    namesGrid->addWidget(encoding_, 0, 1);

    sectors_->setCurrentIndex(int(settings.sectorsPerRead) - 1);
    retries_->setCurrentIndex(int(settings.badSectorRetries) - 1);
    if (settings.duplicatePolicy >= 1 && settings.duplicatePolicy <= 3)
        duplicate_[settings.duplicatePolicy - 1]->setChecked(true);
    if (settings.deletedPolicy >= 1 && settings.deletedPolicy <= 3)
        deleted_[settings.deletedPolicy - 1]->setChecked(true);

    QWidget* const groups[] = {sectorsGroup, dupGroup, deletedGroup_, badGroup, namesGroup};
    // Only the captions are bold, not what the groups hold. The weight is
    // set explicitly: a font that sets nothing would inherit the group's bold.
    QFont plain = font();
    plain.setBold(false);
    for (QWidget* g : groups)
        for (QWidget* child : g->findChildren<QWidget*>())
            child->setFont(plain);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    for (QWidget* g : groups)
        layout->addWidget(g);
    layout->addWidget(buttons);
    setFixedWidth(380);
}

std::string SettingsDialog::nameEncoding() const {
    return encoding_->currentData().toString().toStdString();
}

RecoverySettings SettingsDialog::result() const {
    RecoverySettings s = start_;
    // A list without a selection keeps the previous value (0 would stall reads).
    if (sectors_->currentIndex() >= 0)
        s.sectorsPerRead = std::uint32_t(sectors_->currentIndex() + 1);
    if (retries_->currentIndex() >= 0)
        s.badSectorRetries = std::uint16_t(retries_->currentIndex() + 1);
    for (int i = 0; i < 3; ++i)
        if (duplicate_[i]->isChecked()) s.duplicatePolicy = std::uint16_t(i + 1);
    for (int i = 0; i < 3; ++i)
        if (deleted_[i]->isChecked()) s.deletedPolicy = std::uint16_t(i + 1);
    return s;
}

} // namespace dorvak
