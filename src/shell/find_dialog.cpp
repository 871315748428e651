#include "shell/find_dialog.h"

#include "browse/name_decoder.h"
#include "browse/name_match.h"
#include "shell/catalog_models.h"
#include "shell/list_pane.h"
#include "shell/messages.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include <chrono>

namespace dorvak {

FindResultsModel::FindResultsModel(const Catalog& catalog, const FolderTreeModel& tree,
                                   QObject* parent)
    : QAbstractTableModel(parent), catalog_(catalog), tree_(tree), names_(new FileListModel(this)) {
    names_->setCatalog(&catalog);
}

void FindResultsModel::clear() {
    beginResetModel();
    files_.clear();
    found_.clear();
    endResetModel();
}

void FindResultsModel::append(const std::vector<std::uint32_t>& files) {
    if (files.empty()) return;
    found_.insert(found_.end(), files.begin(), files.end());
    if (sortColumn_ >= 0) {
        sort(sortColumn_, sortOrder_); // new finds take their sorted places
        return;
    }
    const int first = int(files_.size());
    beginInsertRows({}, first, first + int(files.size()) - 1);
    files_.insert(files_.end(), files.begin(), files.end());
    endInsertRows();
}

void FindResultsModel::sort(int column, Qt::SortOrder order) {
    sortColumn_ = column >= 0 && column < 4 ? column : -1;
    sortOrder_ = order;
    beginResetModel();
    files_ = found_;
    if (sortColumn_ >= 0) {
        std::stable_sort(files_.begin(), files_.end(), [this](std::uint32_t a, std::uint32_t b) {
            int c = 0;
            if (sortColumn_ == 2) {
                const auto x = catalog_.FileList()[a].size, y = catalog_.FileList()[b].size;
                c = x < y ? -1 : x > y ? 1 : 0;
            } else {
                c = QString::compare(textOf(a, sortColumn_), textOf(b, sortColumn_),
                                     Qt::CaseInsensitive);
            }
            return sortOrder_ == Qt::AscendingOrder ? c < 0 : c > 0;
        });
    }
    endResetModel();
}

QString FindResultsModel::pathOf(std::uint32_t file) const {
    const long folder = catalog_.folderIndex(catalog_.FileList()[file].parentId);
    if (folder < 0) return QStringLiteral("/");
    // Up the tree from the folder's item to the one below the root, so that
    // renamed folders show their new names.
    QString path;
    QModelIndex item = tree_.indexForTreeItem(catalog_.FolderList()[std::size_t(folder)].treeItem);
    if (!item.isValid() || !item.parent().isValid()) return QStringLiteral("/");
    for (; item.isValid() && item.parent().isValid(); item = item.parent())
        path = QLatin1Char('/') + item.data().toString() + path;
    return path;
}

QString FindResultsModel::textOf(std::uint32_t file, int column) const {
    switch (column) {
    case 0:
        return names_->text({false, file}, FileListModel::Name);
    case 1:
        return pathOf(file);
    case 2:
        return QString::number(catalog_.FileList()[file].size);
    case 3:
        return names_->text({false, file}, FileListModel::Type);
    }
    return {};
}

int FindResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(files_.size());
}

int FindResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant FindResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const std::uint32_t file = files_[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return textOf(file, index.column());
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(names_->icon({false, file})) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == 2 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::ForegroundRole: {
        // Grey as the list shows deleted and carved files.
        const QString type = textOf(file, 3);
        const bool grey =
            type.startsWith(QLatin1String("Deleted ")) || type.startsWith(QLatin1String("Carved "));
        return grey ? QColor(150, 150, 150) : QColor(Qt::black);
    }
    }
    return {};
}

QVariant FindResultsModel::headerData(int section, Qt::Orientation o, int role) const {
    static const char* const kTitles[] = {"File Name", "Path", "Size", "Type"};
    if (o != Qt::Horizontal || section < 0 || section > 3) return {};
    if (role == Qt::TextAlignmentRole)
        return section == 2 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (role != Qt::DisplayRole) return {};
    return QString::fromLatin1(kTitles[section]);
}

FindDialog::FindDialog(const Catalog& catalog, const FolderTreeModel& tree, QWidget* parent)
    : SkinnedDialog(238, parent), catalog_(catalog) {
    setWindowTitle(QStringLiteral("Find File(s)"));
    edit_ = new QLineEdit(this);
    start_ = new QPushButton(QStringLiteral("&Start Search"), this);
    stop_ = new QPushButton(QStringLiteral("S&top Search"), this);
    start_->setDefault(true);
    stop_->setEnabled(false);
    results_ = new FindResultsModel(catalog, tree, this);
    view_ = new QTreeView(this);
    view_->setModel(results_);
    view_->setRootIsDecorated(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setColumnWidth(0, 150);
    view_->setColumnWidth(1, 210);
    view_->setColumnWidth(2, 80);
    view_->setColumnWidth(3, 110);
    view_->setIconSize(QSize(16, 16));
    showGridLines(view_);
    sortOnHeaderClicks(view_);
    connect(view_, &QAbstractItemView::doubleClicked, this, &FindDialog::choose);
    view_->installEventFilter(this);
    lastFile_ = new QLabel(this);
    found_ = new QLabel(this);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(14, 14, 14, 12);
    grid->addWidget(new QLabel(QStringLiteral("Enter string to search"), this), 0, 0);
    grid->addWidget(edit_, 0, 1, 1, 2);
    grid->addWidget(start_, 0, 3);
    grid->addWidget(stop_, 0, 4);
    grid->addWidget(view_, 1, 0, 1, 5);
    grid->addWidget(new QLabel(QStringLiteral("Last File"), this), 2, 0);
    grid->addWidget(lastFile_, 2, 1, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("Files Found"), this), 3, 0);
    grid->addWidget(found_, 3, 1, 1, 4);
    connect(start_, &QPushButton::clicked, this, &FindDialog::startSearch);
    connect(stop_, &QPushButton::clicked, this, &FindDialog::stopSearch);
    connect(edit_, &QLineEdit::returnPressed, this, &FindDialog::startSearch);
    resize(640, 420);
    edit_->setFocus();
}

FindDialog::~FindDialog() {
    if (thread_) {
        stopRequested_ = true;
        {
            std::lock_guard lock(mutex_);
            paused_ = false;
        }
        resume_.notify_all();
        thread_->wait();
    }
}

QString FindDialog::lastFile() const {
    return lastFile_->text();
}

QString FindDialog::filesFound() const {
    return found_->text();
}

void FindDialog::startSearch() {
    if (thread_) return;
    start_->setEnabled(false);
    stop_->setEnabled(true);
    results_->clear();
    stopRequested_ = false;
    paused_ = false;
    batch_.clear();
    // The pattern is read once: later edits do not change a running search.
    const std::string pattern = upperCase(edit_->text().toStdString());
    thread_.reset(QThread::create([this, pattern] { search(pattern); }));
    connect(thread_.get(), &QThread::finished, this, [this] {
        takeBatch(true);
        thread_.reset();
        stop_->setEnabled(false);
        start_->setEnabled(true);
        Q_EMIT searchEnded();
    });
    thread_->start();
}

void FindDialog::search(std::string pattern) {
    using Clock = std::chrono::steady_clock;
    auto last = Clock::now();
    const auto& files = catalog_.FileList();
    for (std::uint32_t i = 0; i < files.size(); ++i) {
        {
            // Paused while the stop question is open.
            std::unique_lock lock(mutex_);
            resume_.wait(lock, [this] { return !paused_; });
        }
        if (stopRequested_) break;
        const std::string_view raw = files[i].name;
        const bool decoded = names_ && names_->chosen();
        if (!NameMatches(decoded ? upperCase(names_->converted(raw)) : upperCase(raw), pattern))
            continue;
        {
            std::lock_guard lock(mutex_);
            batch_.push_back(i);
        }
        // Finds are handed over a few times a second, not one by one.
        if (Clock::now() - last > std::chrono::milliseconds(100) && !batchPosted_.exchange(true)) {
            last = Clock::now();
            QMetaObject::invokeMethod(
                this, [this] { takeBatch(false); }, Qt::QueuedConnection);
        }
    }
}

void FindDialog::takeBatch(bool finished) {
    (void)finished;
    std::vector<std::uint32_t> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(batch_);
        batchPosted_ = false;
    }
    if (batch.empty()) return;
    results_->append(batch);
    found_->setText(QString::number(results_->rowCount()));
    lastFile_->setText(results_->textOf(batch.back(), 0));
}

void FindDialog::choose(const QModelIndex& index) {
    if (!index.isValid() || thread_) return;
    const std::uint32_t file = results_->fileAt(index.row());
    SkinnedDialog::reject(); // closed before the window shows the entry
    Q_EMIT fileChosen(file);
}

bool FindDialog::eventFilter(QObject* watched, QEvent* e) {
    if (watched == view_ && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            choose(view_->currentIndex());
            return true;
        }
    }
    return SkinnedDialog::eventFilter(watched, e);
}

void FindDialog::stopSearch() {
    if (!thread_) return; // the search has just ended: nothing to stop
    stop_->setEnabled(false);
    {
        std::lock_guard lock(mutex_);
        paused_ = true;
    }
    const bool yes = AskYesNo(QString::fromLatin1(kStopQuestion), MessageKind::Question) == 1;
    if (yes) stopRequested_ = true;
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
    }
    resume_.notify_all();
    if (!yes && thread_) stop_->setEnabled(true);
}

void FindDialog::reject() {
    if (thread_) return;
    SkinnedDialog::reject();
}

} // namespace dorvak
