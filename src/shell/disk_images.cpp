#include "shell/disk_images.h"

#include "disk/rescue_map.h"
#include "shell/imaging_dialog.h"
#include "shell/messages.h"
#include "shell/wizard_controller.h"
#include "shell/wizard_state.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

namespace dorvak {

DiskImageCommands::DiskImageCommands(WizardState& state, WizardController& wizard, QWidget* window)
    : state_(state), wizard_(wizard), window_(window) {}

bool DiskImageCommands::addDiskImage(const QString& path, const QString& mapPath) {
    std::string error;
    std::shared_ptr<const RescueMap> map;
    if (!mapPath.isEmpty()) {
        // Loaded now, so that a damaged map is said before the image is listed.
        auto loaded = RescueMap::load(mapPath.toStdString(), &error);
        if (!loaded) {
            ShowMessage(QString::fromStdString(error), MessageKind::Error);
            return false;
        }
        map = std::make_shared<const RescueMap>(std::move(*loaded));
    }
    if (auto added = state_.disks.addImage(path.toStdString()); !added) {
        ShowMessage(QString::fromStdString(added.error().text), MessageKind::Error);
        return false;
    }
    if (map) state_.rescueMaps[state_.disks.diskCount - 1u] = std::move(map);
    wizard_.fillDiskTree();
    return true;
}

void DiskImageCommands::addStartupImages(const QStringList& images) {
    for (const QString& image : images) {
        if (auto added = state_.disks.addImage(image.toStdString()); !added) {
            // Said in the window once it shows, not only on the terminal.
            const std::string& error = added.error().text;
            qWarning("%s", error.c_str());
            const QString text = QString::fromStdString(error);
            QTimer::singleShot(0, window_, [text] { ShowMessage(text, MessageKind::Error); });
        }
    }
}

void DiskImageCommands::openDiskImage() {
    if (state_.WizardStep != Step::Disk || state_.workerBusy) return;
    const QStringList files =
        imageChooser_ ? imageChooser_()
                      : QFileDialog::getOpenFileNames(
                            window_, QStringLiteral("Open Disk Image"), QString(),
                            QStringLiteral("Disk images (*.img *.raw *.dd *.bin *.iso *.E01 *.e01 "
                                           "*.qcow2 *.vhd *.vhdx *.vmdk);;All files (*)"));
    for (const QString& file : files) {
        // The map an imaging run (this program's or GNU ddrescue's) keeps
        // beside its image says which areas hold no data read from the disk.
        QString map = file + QStringLiteral(".map");
        if (!QFileInfo(map).isFile() ||
            AskYesNo(QStringLiteral("A map file lies beside the image:\r\n%1\r\n\r\nOpen the image "
                                    "with it? What the map does not mark read is then never "
                                    "read,\r\nand the files that lie there are reported damaged.")
                         .arg(map),
                     MessageKind::Question) != 1)
            map.clear();
        addDiskImage(file, map);
    }
}

void DiskImageCommands::createDiskImage() {
    if (state_.workerBusy) return;
    const DiskInfo* disk = state_.selectedDiskInfo();
    if (!disk) {
        ShowMessage(QStringLiteral("Select the disk to copy in the left pane first."),
                    MessageKind::Information);
        return;
    }
    // The volumes are offered once the wizard has found them on this disk:
    // finding them here would read the disk before it is copied.
    const VolumeTable* volumes = state_.WizardStep == Step::Disk ? nullptr : &state_.volumes;
    ImagingDialog dialog(*disk, volumes, state_.settings.sanitized().badSectorRetries, window_);
    dialog.exec();
    if (!dialog.imageToOpen().isEmpty())
        addDiskImage(dialog.imageToOpen(), dialog.mapField()->text().trimmed());
}

} // namespace dorvak
