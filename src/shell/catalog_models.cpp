#include "shell/catalog_models.h"

#include "browse/display_text.h"
#include "browse/name_match.h"
#include "ui/controls/resource_images.h"

#include <QColor>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPixmap>

#include <unordered_set>

#include <algorithm>
#include <map>

namespace dorvak {
namespace {

constexpr std::uint32_t kRootKey = 2;

// Names that are not UTF-8 read through the chosen encoding (as Latin-1
// without one, so every byte still shows as a character).
QString entryName(const CatalogEntry& e, const NameDecoder* names) {
    if (names) return QString::fromStdString(names->display(e.name));
    return QString::fromUtf8(e.name.data(), qsizetype(e.name.size()));
}

QIcon iconResource(int number) {
    return QIcon(QPixmap::fromImage(loadIconResource(number, true)));
}

} // namespace

std::pair<QString, QString> FormatTimestamp(std::uint32_t seconds) {
    const TimestampText text = formatTimestamp(seconds);
    return {QString::fromStdString(text.date), QString::fromStdString(text.time)};
}

// ---- FolderTreeModel ------------------------------------------------------

FolderTreeModel::FolderTreeModel(QObject* parent)
    : QAbstractItemModel(parent), rootIcon_(iconResource(233)), folderIcon_(iconResource(178)) {
    folderIcon_.addPixmap(QPixmap::fromImage(loadIconResource(179, true)), QIcon::Selected);
}

void FolderTreeModel::setCatalog(const Catalog* catalog, const QString& rootName) {
    beginResetModel();
    catalog_ = catalog;
    rootName_ = rootName.isEmpty() ? QStringLiteral("Root") : rootName;
    nodes_.assign(1, Node{0, 0, 0});
    children_.assign(1, {});
    if (catalog_) {
        // The folders that BuildFolderTree placed, by tree item number; each
        // one's parent is the placed folder of its parentId that precedes it
        // on the path, which the depth-first numbering makes the nearest
        // lower-numbered node still open. Walking the same depth-first order
        // again with a stack recovers it without a search.
        const auto& folders = catalog_->FolderList();
        std::vector<std::uint32_t> byItem;
        for (std::uint32_t i = 0; i < folders.size(); ++i) {
            const std::uint32_t item = folders[i].treeItem;
            if (item == 0) continue;
            if (byItem.size() <= item) byItem.resize(item + 1, UINT32_MAX);
            byItem[item] = i;
        }
        nodes_.reserve(byItem.size());
        children_.reserve(byItem.size());
        // Stack of (node, key) along the current path; the root is key 2. A
        // folder whose key is already on the path was placed without being
        // descended into, so it never becomes a parent here either.
        std::vector<std::pair<std::uint32_t, std::uint32_t>> path{{0, kRootKey}};
        std::unordered_set<std::uint32_t> onPath{kRootKey};
        for (std::uint32_t item = 1; item < byItem.size(); ++item) {
            if (byItem[item] == UINT32_MAX) break; // numbering is dense
            const CatalogEntry& f = folders[byItem[item]];
            while (path.size() > 1 && path.back().second != f.parentId) {
                onPath.erase(path.back().second);
                path.pop_back();
            }
            const std::uint32_t parentNode =
                path.back().second == f.parentId ? path.back().first : 0;
            const std::uint32_t node = std::uint32_t(nodes_.size());
            nodes_.push_back(
                Node{byItem[item], parentNode, std::uint32_t(children_[parentNode].size())});
            children_[parentNode].push_back(node);
            children_.emplace_back();
            if (onPath.insert(f.objectId).second) path.emplace_back(node, f.objectId);
        }
    }
    endResetModel();
}

void FolderTreeModel::setNameDecoder(const NameDecoder* names) {
    names_ = names;
    // The items stay; only their texts change.
    Q_EMIT layoutAboutToBeChanged();
    Q_EMIT layoutChanged();
}

QModelIndex FolderTreeModel::rootIndex() const {
    return createIndex(0, 0, quintptr(0));
}

QModelIndex FolderTreeModel::indexForTreeItem(std::uint32_t treeItem) const {
    if (treeItem >= nodes_.size()) return {};
    if (treeItem == 0) return rootIndex();
    return createIndex(int(nodes_[treeItem].row), 0, quintptr(treeItem));
}

std::uint32_t FolderTreeModel::treeItemOf(const QModelIndex& index) const {
    return index.isValid() ? std::uint32_t(index.internalId()) : 0;
}

std::uint32_t FolderTreeModel::folderKeyOf(const QModelIndex& index) const {
    const std::uint32_t node = treeItemOf(index);
    if (node == 0 || !catalog_ || node >= nodes_.size()) return kRootKey;
    return catalog_->FolderList()[nodes_[node].folder].objectId;
}

void FolderTreeModel::refreshItem(const QModelIndex& index) {
    Q_EMIT dataChanged(index, index, {Qt::DisplayRole});
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    if (!parent.isValid()) return row == 0 ? rootIndex() : QModelIndex();
    const auto& kids = children_[parent.internalId()];
    if (std::size_t(row) >= kids.size()) return {};
    return createIndex(row, 0, quintptr(kids[std::size_t(row)]));
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    const std::uint32_t node = treeItemOf(child);
    if (node == 0) return {};
    const std::uint32_t p = nodes_[node].parent;
    return p == 0 ? rootIndex() : createIndex(int(nodes_[p].row), 0, quintptr(p));
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return 1;
    if (parent.column() != 0) return 0;
    return int(children_[parent.internalId()].size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const std::uint32_t node = treeItemOf(index);
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (node == 0) return rootName_;
        return entryName(catalog_->FolderList()[nodes_[node].folder], names_);
    }
    if (role == Qt::DecorationRole) return node == 0 ? rootIcon_ : folderIcon_;
    if (role == Qt::ForegroundRole && node != 0 &&
        catalog_->FolderList()[nodes_[node].folder].deleted)
        return QColor(150, 150, 150);
    return {};
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// ---- FileListModel --------------------------------------------------------

FileListModel::FileListModel(QObject* parent)
    : QAbstractItemModel(parent), folderIcon_(iconResource(178)) {}

void FileListModel::setCatalog(const Catalog* catalog) {
    beginResetModel();
    catalog_ = catalog;
    rows_.clear();
    catalogOrder_.clear();
    endResetModel();
}

void FileListModel::setNameDecoder(const NameDecoder* names) {
    names_ = names;
    if (!rows_.empty()) Q_EMIT dataChanged(index(0, Name), index(int(rows_.size()) - 1, Name));
}

void FileListModel::clear() {
    beginResetModel();
    rows_.clear();
    catalogOrder_.clear();
    endResetModel();
}

void FileListModel::FillFileList(std::uint32_t folderKey) {
    beginResetModel();
    rows_.clear();
    folderKey_ = folderKey;
    if (catalog_) {
        for (std::uint32_t i : catalog_->childFolders(folderKey))
            rows_.push_back(Row{true, i});
        for (std::uint32_t i : catalog_->childFiles(folderKey)) {
            if (!filters_.empty()) {
                const std::string_view name = catalog_->FileList()[i].name;
                bool listed = false;
                for (const auto& f : filters_)
                    if (NameMatches(name, f)) {
                        listed = true;
                        break;
                    }
                if (!listed) continue;
            }
            rows_.push_back(Row{false, i});
        }
    }
    catalogOrder_ = rows_;
    applySort();
    endResetModel();
}

void FileListModel::applySort() {
    if (sortColumn_ < 0 || !catalog_) {
        rows_ = catalogOrder_;
        return;
    }
    // Keys compared as the user reads them: names and types without letter
    // case, sizes and times as numbers.
    auto less = [this](const Row& a, const Row& b) {
        if (a.folder != b.folder) return a.folder;
        const CatalogEntry& x =
            a.folder ? catalog_->FolderList()[a.index] : catalog_->FileList()[a.index];
        const CatalogEntry& y =
            b.folder ? catalog_->FolderList()[b.index] : catalog_->FileList()[b.index];
        int c = 0;
        switch (sortColumn_) {
        case Size:
            c = a.folder ? 0 : (x.size < y.size ? -1 : x.size > y.size ? 1 : 0);
            break;
        case Date:
        case Time:
            c = x.modifiedTime < y.modifiedTime ? -1 : x.modifiedTime > y.modifiedTime ? 1 : 0;
            break;
        case Sector:
            c = text(a, Sector).toULongLong() < text(b, Sector).toULongLong()   ? -1
                : text(a, Sector).toULongLong() > text(b, Sector).toULongLong() ? 1
                                                                                : 0;
            break;
        default:
            c = QString::compare(text(a, sortColumn_), text(b, sortColumn_), Qt::CaseInsensitive);
        }
        return sortOrder_ == Qt::AscendingOrder ? c < 0 : c > 0;
    };
    std::stable_sort(rows_.begin(), rows_.end(), less);
}

void FileListModel::sort(int column, Qt::SortOrder order) {
    sortColumn_ = column >= 0 && column < ColumnCount ? column : -1;
    sortOrder_ = order;
    Q_EMIT layoutAboutToBeChanged();
    const std::vector<Row> before = rows_;
    rows_ = catalogOrder_;
    applySort();
    // Selection and current row follow their entries.
    std::map<std::pair<bool, std::uint32_t>, int> at;
    for (std::size_t r = 0; r < rows_.size(); ++r)
        at[{rows_[r].folder, rows_[r].index}] = int(r);
    const QModelIndexList old = persistentIndexList();
    QModelIndexList moved;
    for (const QModelIndex& i : old) {
        const Row& r = before[std::size_t(i.row())];
        moved << index(at[{r.folder, r.index}], i.column());
    }
    changePersistentIndexList(old, moved);
    Q_EMIT layoutChanged();
}

const CatalogEntry& FileListModel::entry(int r) const {
    const Row& rw = row(r);
    return rw.folder ? catalog_->FolderList()[rw.index] : catalog_->FileList()[rw.index];
}

QString FileListModel::suffixKey(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return QString();
    return QString::fromUtf8(name.data() + dot + 1, qsizetype(name.size() - dot - 1)).toLower();
}

QString FileListModel::typeName(std::string_view name) const {
    const QString key = suffixKey(name);
    auto it = typeCache_.constFind(key);
    if (it != typeCache_.constEnd()) return *it;
    static const QMimeDatabase db;
    QString type;
    if (key.isEmpty()) {
        type = QStringLiteral("File");
    } else {
        const QMimeType mime =
            db.mimeTypeForFile(QStringLiteral("x.") + key, QMimeDatabase::MatchExtension);
        type = mime.isDefault() ? key.toUpper() + QStringLiteral(" File") : mime.comment();
    }
    typeCache_.insert(key, type);
    return type;
}

QIcon FileListModel::icon(const Row& row) const {
    if (row.folder) return folderIcon_;
    const std::string_view name = catalog_->FileList()[row.index].name;
    const QString key = suffixKey(name);
    auto it = iconCache_.constFind(key);
    if (it != iconCache_.constEnd()) return *it;
    static const QMimeDatabase db;
    const QMimeType mime =
        db.mimeTypeForFile(QStringLiteral("x.") + key, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(mime.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(mime.genericIconName());
    if (icon.isNull()) icon = QFileIconProvider().icon(QFileIconProvider::File);
    iconCache_.insert(key, icon);
    return icon;
}

QString FileListModel::text(const Row& row, int column) const {
    const CatalogEntry& e =
        row.folder ? catalog_->FolderList()[row.index] : catalog_->FileList()[row.index];
    switch (column) {
    case Name:
        return entryName(e, names_);
    case Type: {
        // Links and special files are named by what they are, not by a
        // type their name suggests: their bytes are no file's contents.
        const QString type = row.folder                        ? QStringLiteral("Folder")
                             : e.fileType == FileType::Symlink ? QStringLiteral("Symbolic Link")
                             : e.fileType == FileType::Special ? QStringLiteral("Special File")
                                                               : typeName(e.name);
        if (const CarvedFile* carved = row.folder ? nullptr : catalog_->carvedFile(e))
            return QStringLiteral("Carved ") +
                   QString::fromStdString(catalog_->carvedTypeName(*carved));
        return e.deleted ? QStringLiteral("Deleted ") + type : type;
    }
    case Size:
        return row.folder ? QStringLiteral("0") : QString::number(e.size);
    case Date:
        return FormatTimestamp(e.modifiedTime).first;
    case Time:
        return FormatTimestamp(e.modifiedTime).second;
    case Sector:
        return QString::number(row.folder ? e.treeItem : e.fileNumber);
    }
    return {};
}

QModelIndex FileListModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || std::size_t(row) >= rows_.size() || column < 0 ||
        column >= ColumnCount)
        return {};
    return createIndex(row, column);
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !catalog_) return {};
    const Row& r = rows_[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text(r, index.column());
    case Qt::DecorationRole:
        return index.column() == Name ? QVariant(icon(r)) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == Size ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::ForegroundRole: {
        // The whole row by its Type text: deleted and carved grey,
        // compressed red.
        const QString type = text(r, Type);
        if (type.startsWith(QLatin1String("Deleted ")) || type.startsWith(QLatin1String("Carved ")))
            return QColor(150, 150, 150);
        if (type.startsWith(QLatin1String("Compressed "))) return QColor(255, 0, 0);
        return QColor(Qt::black);
    }
    case Qt::BackgroundRole:
        return QColor(Qt::white);
    }
    return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation o, int role) const {
    static const char* const kTitles[] = {"Name", "Type", "Size", "Date", "Time", "Sector"};
    if (o != Qt::Horizontal || section < 0 || section >= ColumnCount) return {};
    if (role == Qt::DisplayRole)
        return section == 0 && !singleTitle_.isEmpty() ? singleTitle_
                                                       : QString::fromLatin1(kTitles[section]);
    if (role == Qt::TextAlignmentRole)
        return section == Size ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                               : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == Name) f |= Qt::ItemIsEditable;
    return f;
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.column() != Name) return false;
    Q_EMIT nameEdited(index.row(), value.toString());
    return true;
}

void FileListModel::setSingleColumnTitle(const QString& title) {
    singleTitle_ = title;
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, 0);
}

void FileListModel::refreshRow(int r) {
    Q_EMIT dataChanged(index(r, 0), index(r, ColumnCount - 1));
}

} // namespace dorvak
