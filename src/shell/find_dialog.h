#pragma once
// Find File(s): every file of the catalog whose name matches a pattern, with
// its folder's path from the tree and its size. The search runs on its own
// thread and hands its finds over in batches; "S&top Search" pauses it while
// the question is open, Yes ends it. The dialog cannot close while a search
// runs.

#include "shell/skinned_dialog.h"

#include <QAbstractTableModel>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace dorvak {

class Catalog;
class FileListModel;
class FolderTreeModel;
class NameDecoder;

class FindResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    FindResultsModel(const Catalog& catalog, const FolderTreeModel& tree, QObject* parent);
    void clear();
    void append(const std::vector<std::uint32_t>& files);
    std::uint32_t fileAt(int row) const { return files_[std::size_t(row)]; }
    // "/" for the root, else "/A/B" from the tree's item texts.
    QString pathOf(std::uint32_t file) const;
    // As the list: 0 File Name, 1 Path, 2 Size, 3 Type; -1 the finding order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    QString textOf(std::uint32_t file, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    const Catalog& catalog_;
    const FolderTreeModel& tree_;
    FileListModel* names_; // the list's type texts and icons
    std::vector<std::uint32_t> files_;
    std::vector<std::uint32_t> found_; // in the finding order
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

class FindDialog : public SkinnedDialog {
    Q_OBJECT
public:
    static constexpr const char* kStopQuestion = "Do you want to stop file searching ?";

    FindDialog(const Catalog& catalog, const FolderTreeModel& tree, QWidget* parent = nullptr);
    ~FindDialog() override;

    QLineEdit* patternEdit() const { return edit_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* stopButton() const { return stop_; }
    FindResultsModel* results() const { return results_; }
    QString lastFile() const;
    QString filesFound() const;
    bool searching() const { return thread_ != nullptr; }
    // Names that are not UTF-8 are matched as this decoder converts them
    // (as the list shows them), when it has an encoding chosen.
    void setNameDecoder(const NameDecoder* names) { names_ = names; }

    void startSearch();
    void stopSearch();
    void reject() override; // ignored while a search runs

Q_SIGNALS:
    void searchEnded();
    // A result was double-clicked or Enter pressed on it (the dialog closes).
    void fileChosen(std::uint32_t file);

private:
    void takeBatch(bool finished);
    void choose(const QModelIndex& index);
    bool eventFilter(QObject* watched, QEvent* e) override;
    void search(std::string pattern);

    const Catalog& catalog_;
    const NameDecoder* names_ = nullptr;
    QLineEdit* edit_;
    QPushButton* start_;
    QPushButton* stop_;
    QTreeView* view_;
    QLabel* lastFile_;
    QLabel* found_;
    FindResultsModel* results_;
    std::unique_ptr<QThread> thread_;
    std::atomic<bool> stopRequested_{false};
    std::mutex mutex_;
    std::condition_variable resume_;
    bool paused_ = false;
    std::vector<std::uint32_t> batch_;
    std::atomic<bool> batchPosted_{false};
};

} // namespace dorvak
