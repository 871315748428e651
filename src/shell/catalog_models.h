#pragma once
// The mounted volume on screen: the folder tree and the list of one folder's
// children, both Qt models computed on demand over the Catalog. Nothing is
// copied per entry beyond a compact index; each model is reset once when a
// mount ends (or a folder is opened), never row by row.

#include "browse/name_decoder.h"
#include "reiserfs/catalog.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <QImage>

#include <string>
#include <utility>
#include <vector>

namespace dorvak {

// Date and time texts of a modification time (unsigned seconds since 1970):
// "05-Mar-2006", "09:05:07" in local time.
std::pair<QString, QString> FormatTimestamp(std::uint32_t seconds);

// The catalog tree: a root item named after the volume (key 2), below it the
// folders in tree order. An item's row number among all folders is its
// tree item number, the one the list pane shows in its Sector column.
class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit FolderTreeModel(QObject* parent = nullptr);

    // Rebuilds the index over `catalog` after BuildFolderTree; null empties.
    void setCatalog(const Catalog* catalog, const QString& rootName);
    const Catalog* catalog() const { return catalog_; }
    // How names that are not UTF-8 are shown (null: the UTF-8 bytes as they
    // decode); shows the items again.
    void setNameDecoder(const NameDecoder* names);

    QModelIndex rootIndex() const;
    // The item of a tree item number (0: the root).
    QModelIndex indexForTreeItem(std::uint32_t treeItem) const;
    // 0 for the root item.
    std::uint32_t treeItemOf(const QModelIndex& index) const;
    // The folder key the item stands for (2 for the root).
    std::uint32_t folderKeyOf(const QModelIndex& index) const;
    // Renames an item (the entry's name is changed by the caller).
    void refreshItem(const QModelIndex& index);
    std::size_t nodeCount() const { return nodes_.size(); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Node {
        std::uint32_t folder; // index in FolderList (unused for the root)
        std::uint32_t parent; // node number
        std::uint32_t row;    // among the parent's children
    };
    const Catalog* catalog_ = nullptr;
    const NameDecoder* names_ = nullptr;
    QString rootName_;
    // Node n is the folder with tree item number n; node 0 is the root.
    std::vector<Node> nodes_;
    std::vector<std::vector<std::uint32_t>> children_;
    QIcon rootIcon_, folderIcon_;
};

// One folder's children as list rows: its folders, then its files that pass
// the filters, each group in catalog order. Columns Name, Type, Size, Date,
// Time, Sector.
class FileListModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { Name, Type, Size, Date, Time, Sector, ColumnCount };
    struct Row {
        bool folder;
        std::uint32_t index; // in FolderList or FileList
    };

    explicit FileListModel(QObject* parent = nullptr);

    void setCatalog(const Catalog* catalog);
    // How names that are not UTF-8 are shown; shows the rows again.
    void setNameDecoder(const NameDecoder* names);
    // Empty: every file is listed.
    void setFilters(std::vector<std::string> filters) { filters_ = std::move(filters); }
    const std::vector<std::string>& filters() const { return filters_; }
    // FillFileList: replaces the rows with the children of `folderKey`.
    void FillFileList(std::uint32_t folderKey);
    void clear();
    std::uint32_t folderKey() const { return folderKey_; }
    const Row& row(int r) const { return rows_.at(std::size_t(r)); }
    const CatalogEntry& entry(int r) const;
    // The Type text of a file name (cached per extension).
    QString typeName(std::string_view name) const;
    void refreshRow(int r);
    // Outside browsing the list has one column with this title; empty
    // restores the six.
    void setSingleColumnTitle(const QString& title);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex&) const override { return {}; }
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    // Folders first, each group by `column`; a column of -1 restores the
    // catalog order. The order holds for the folders listed later.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return sortColumn_; }
    // A row's column text and its small icon, as the list shows them.
    QString text(const Row& row, int column) const;
    QIcon icon(const Row& row) const;

Q_SIGNALS:
    // An in-place edit of a Name ended with `text` (empty when cleared).
    void nameEdited(int row, const QString& text);

private:
    static QString suffixKey(std::string_view name);
    void applySort();

    const Catalog* catalog_ = nullptr;
    const NameDecoder* names_ = nullptr;
    std::vector<Row> rows_;
    std::vector<Row> catalogOrder_; // rows_ as listed, before any sort
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    std::vector<std::string> filters_;
    std::uint32_t folderKey_ = 2;
    QString singleTitle_;
    mutable QHash<QString, QString> typeCache_;
    mutable QHash<QString, QIcon> iconCache_;
    QIcon folderIcon_;
};

} // namespace dorvak
