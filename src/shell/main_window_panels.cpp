// The information panel's layouts, the Quick Help panel and the three trees.
#include "shell/catalog_models.h"
#include "shell/main_window.h"
#include "shell/quick_help.h"
#include "shell/step_tree.h"
#include "ui/controls/transparent_static.h"

#include <QLineEdit>
#include <QTreeView>

namespace dorvak {
namespace {

constexpr int kPairs[5] = {1018, 1058, 1060, 1062, 1064};

QString lat(const char* s) {
    return QString::fromLatin1(s);
}

} // namespace

void MainWindow::setPair(int pair, const QString& caption, const QString& value, bool show) {
    auto* c = static_cast<CTransparentStatic*>(control(pair));
    auto* v = static_cast<CTransparentStatic*>(control(pair + 1));
    c->setText(caption);
    v->setText(value);
    c->setVisible(show);
    v->setVisible(show);
}

void MainWindow::setValue(int valueId, const QString& value) {
    static_cast<CTransparentStatic*>(control(valueId))->setText(value);
}

void MainWindow::setStatusLine(const QString& text, bool show) {
    status_->setText(text);
    status_->setVisible(show);
}

void MainWindow::setQuickHelp(const QString& text) {
    // The texts are laid out with "\r\n" and runs of spaces.
    quickHelp_->setProperty("rawText", text);
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    quickHelp_->setText(shown);
}

void MainWindow::setPanelLayout(int layout) {
    auto clear = [this] {
        for (int pair : kPairs)
            setPair(pair, QString(), QString(), false);
        setStatusLine(QString(), false);
    };
    auto volumePanel = [&] {
        clear();
        setPair(1018, lat("Volume Type  "), QString());
        setPair(1058, lat("Volume Name    "), QString());
        setPair(1060, lat("Volume Start      "), QString());
        setPair(1062, lat("Volume Size     "), QString());
    };
    switch (layout) {
    case -1:
        clear();
        break;
    case 0:
        setPair(1018, lat("Model                  "), QString());
        setPair(1058, lat("Capacity              "), QString());
        setPair(1060, lat("Cylinders              "), QString());
        setPair(1062, lat("Head                   "), QString());
        setPair(1064, lat("Sectors Per Track "), QString());
        setStatusLine(QString(), false);
        break;
    case 1:
        if (state_.volumeIdentifyOption == 1) {
            // As the volume panel, without clearing first.
            setPair(1018, lat("Volume Type  "), QString());
            setPair(1058, lat("Volume Name    "), QString());
            setPair(1060, lat("Volume Start      "), QString());
            setPair(1062, lat("Volume Size     "), QString());
            setPair(1064, QString(), QString(), false);
            setStatusLine(QString(), false);
        } else {
            clear();
            setPair(1018, lat("Partition(s) Found  "), lat("0"));
            setPair(1058, lat("Current Sector"), lat("0"));
            setPair(1060, lat("End Sector     "), QString::number(state_.scanEndSector));
            for (int id : {1107, 1106, 1014, 1011, 1015, 1012, 1098})
                control(id)->hide();
            setStatusLine(lat("Searching for Pools. This may take long time. Pleae wait"), true);
        }
        break;
    case 2:
        clear();
        setPair(1018, lat("Folder(s) Found    "), QString());
        setPair(1058, lat("File(s) Found      "), QString());
        setPair(1060, lat("Current Sector       "), QString());
        setPair(1062, lat("Last File/Folder       "), QString());
        setStatusLine(lat("Mounting volume, please wait..."), true);
        break;
    case 6:
        volumePanel();
        break;
    case 7:
        volumePanel();
        setQuickHelp(lat(kVolumeLayoutHelpText));
        break;
    }
}

void MainWindow::fillDiskTree() {
    for (std::uint32_t i = diskTree_->model()->rowCount(diskTree_->rootItem());
         i < state_.disks.diskCount; ++i)
        diskTree_->appendChild(QStringLiteral("Storage Device") + QString::number(i), 0);
    diskTree_->expand(diskTree_->rootItem());
}

void MainWindow::ShowDiskDetails(int number) {
    const DiskInfo* d = state_.disks.disk(std::uint32_t(number));
    if (!d) return;
    setValue(1019, QString::fromStdString(d->model));
    setValue(1059, QString::fromStdString(DiskTable::capacityText(*d)));
    setValue(1061, QString::number(d->cylinders));
    setValue(1063, QString::number(d->heads));
    setValue(1065, QString::number(d->sectorsPerTrack));
}

void MainWindow::selectDisk(int number) {
    if (!state_.disks.disk(std::uint32_t(number))) return;
    state_.selectedDisk = std::uint32_t(number);
    startField_->setText(QStringLiteral("0"));
    endField_->setText(QString::number(state_.endSectorPreset()));
    ShowDiskDetails(number);
    setButton(control(1003), true, true);
}

void MainWindow::showVolumeDetails(int index) {
    const VolumeInfo& v = state_.volumes.records[std::size_t(index)];
    setPair(1018, lat("Volume Type  "), lat("ReiserFS"));
    setPair(1058, lat("Volume Name    "), QString::fromStdString(v.name));
    setPair(1060, lat("Volume Start      "), QString::number(v.startSector));
    setPair(1062, lat("Volume Size     "),
            QString::number(v.sectorCount / 2048) + lat(" MB ( Approx )"));
}

void MainWindow::selectVolume(int index) {
    if (state_.WizardStep != 1 || index < 0 || std::uint32_t(index) >= state_.volumes.volumeCount)
        return;
    state_.volumes.selectedVolume = std::uint16_t(index);
    if (volumeTree_ && std::size_t(index) < volumeRows_.size())
        volumeTree_->setCurrentIndex(volumeTree_->child(volumeRows_[std::size_t(index)]));
    showVolumeDetails(index);
    setButton(control(1003), true, true);
}

void MainWindow::treePressed(StepTree* tree, const QModelIndex& index, bool onItem) {
    if (!tree->isEnabled()) return;
    if (tree == catalogTree_) state_.treePaneActive = true;
    const QString text = index.data().toString();
    if (text.isEmpty()) {
        tree->setCurrentIndex(tree->rootItem());
        return;
    }
    switch (state_.WizardStep) {
    case 0:
        // "Storage Device" + number.
        if (tree == diskTree_ && onItem && index != tree->rootItem()) {
            tree->setCurrentIndex(index);
            selectDisk(text.mid(14).toInt());
        }
        break;
    case 1:
        if (tree == volumeTree_ && index != tree->rootItem()) {
            for (std::size_t i = 0; i < volumeRows_.size() && i < state_.volumes.volumeCount; ++i)
                if (volumeRows_[i] == index.row()) {
                    selectVolume(int(i));
                    break;
                }
        }
        break;
    case 2:
        if (tree == catalogTree_ && onItem) openTreeItem(index);
        break;
    }
}

void MainWindow::CreateVolumeTree() {
    delete volumeTree_;
    volumeRows_.clear();
    volumeTree_ = new StepTree(state_.WizardStep, QString(), client_);
    placeTree(volumeTree_);
    connect(volumeTree_, &StepTree::itemPressed, this,
            [this](const QModelIndex& i, bool on) { treePressed(volumeTree_, i, on); });
}

void MainWindow::CreateCatalogTree() {
    delete catalogTree_;
    catalogTree_ = new StepTree(state_.WizardStep, QString(), client_);
    placeTree(catalogTree_);
    catalogTree_->hide();
    catalogTree_->setEnabled(false);
    connect(catalogTree_, &StepTree::itemPressed, this,
            [this](const QModelIndex& i, bool on) { treePressed(catalogTree_, i, on); });
}

} // namespace dorvak
