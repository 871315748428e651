#pragma once
// BrowseCommands: the commands of the browsing step that open a dialog over
// the mounted volume: Find Files, File Filters, Recovery Settings,
// Properties, Drive Information, and Recover Selected / Recover All.

#include <QString>

#include <functional>
#include <string>

class QWidget;

namespace dorvak {

class FileListModel;
class FolderTreeModel;
class ListPane;
class StepTree;
class WizardState;

class BrowseCommands {
public:
    BrowseCommands(WizardState& state, ListPane& list, FileListModel* listModel,
                   FolderTreeModel* folderModel, std::function<StepTree*()> catalogTree,
                   QWidget* window);

    void findFiles();
    // Opens the file's folder and chooses the file in the list.
    void showFile(std::uint32_t file);
    void fileFilters();
    void recoverySettings();
    // Shows and writes names that are not UTF-8 through `encoding` ("" the
    // default); false (with a message) when there is no such encoding.
    bool setNameEncoding(const std::string& encoding);
    // After a mount: when names of the volume are not UTF-8 and no encoding
    // is chosen, proposes the one they read in, once per volume.
    void proposeNameEncoding();
    void properties();
    void driveInformation();
    void recoverSelected();
    void recoverAll();

    // Chooses the destination of a recovery (tests replace the dialog).
    using FolderChooser = std::function<QString()>;
    void setFolderChooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }

private:
    void recover(bool all);

    WizardState& state_;
    ListPane& list_;
    FileListModel* listModel_;
    FolderTreeModel* folderModel_;
    std::function<StepTree*()> catalogTree_;
    QWidget* window_;
    FolderChooser folderChooser_;
};

} // namespace dorvak
