#pragma once
// The small tool dialogs of the browsing step: File Filters, File/Folder
// Properties, Drive Information and Recovery Settings.

#include "browse/recovery_settings.h"
#include "shell/skinned_dialog.h"

#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace dorvak {

class Catalog;
class XPGroupBox;
class FolderTreeModel;
struct VolumeInfo;

// File Filters: newest first, 1 to 19 characters, no exact duplicates, 99 at
// most. The list is taken by the caller when the dialog closes.
class FiltersDialog : public SkinnedDialog {
    Q_OBJECT
public:
    static constexpr int kMaxFilters = 99;
    static constexpr int kMaxLength = 19;
    static constexpr const char* kFull = "      You cannot add more Filters     ";
    static constexpr const char* kTooLong = "      Filter too long     ";
    static constexpr const char* kBlank = "      You can not add a blank entry.     ";
    static constexpr const char* kExists = "      Filter already exists in the list     ";

    FiltersDialog(const std::vector<std::string>& filters, QWidget* parent = nullptr);
    QLineEdit* edit() const { return edit_; }
    QListWidget* list() const { return list_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* removeButton() const { return remove_; }
    QPushButton* closeButton() const { return close_; }
    std::vector<std::string> filters() const;

    void addFilter();
    void removeFilter();

private:
    QLineEdit* edit_;
    QListWidget* list_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* close_;
};

// What the Properties dialog shows, computed from a list row.
struct PropertiesText {
    QString name, size, contains, date, time;
};
// A file row: its size in whole KiB, rounded up.
QString fileSizeText(const QString& sizeColumn);
// A folder: its subtree as the tree shows it, from its tree item.
PropertiesText folderProperties(const Catalog& catalog, const FolderTreeModel& tree,
                                std::uint32_t treeItem);

class PropertiesDialog : public SkinnedDialog {
    Q_OBJECT
public:
    PropertiesDialog(const PropertiesText& text, QWidget* parent = nullptr);
    QString valueText(int row) const; // 0 name .. 4 time
private:
    std::vector<QLabel*> values_;
};

class DriveInfoDialog : public SkinnedDialog {
    Q_OBJECT
public:
    DriveInfoDialog(const VolumeInfo& volume, const Catalog& catalog, bool extensive,
                    QWidget* parent = nullptr);
    QString valueText(int row) const; // 0 name .. 7 recovery type
    // The mount was stopped: the counts are of what it found so far.
    void notePartial();

private:
    std::vector<QLabel*> values_;
};

class SettingsDialog : public SkinnedDialog {
    Q_OBJECT
public:
    static constexpr const char* kDefaultEncoding = "UTF-8 then Latin-1";

    // `nameEncoding`: the encoding names are read in, "" for the default.
    SettingsDialog(const RecoverySettings& settings, const std::string& nameEncoding = {},
                   QWidget* parent = nullptr);
    // The settings as the controls hold them (what OK stores).
    RecoverySettings result() const;
    // The encoding chosen, "" for the default.
    std::string nameEncoding() const;
    QComboBox* encodingList() const { return encoding_; }
    QComboBox* sectorsList() const { return sectors_; }
    QComboBox* retriesList() const { return retries_; }
    QRadioButton* duplicateButton(int policy) const { return duplicate_[policy - 1]; }
    XPGroupBox* deletedGroup() const { return deletedGroup_; }

private:
    RecoverySettings start_;
    QComboBox* sectors_;
    QComboBox* retries_;
    QComboBox* encoding_;
    QRadioButton* duplicate_[3];
    QRadioButton* deleted_[3];
    XPGroupBox* deletedGroup_;
};

} // namespace dorvak
