#include "shell/disk_images.h"

#include "disk/rescue_map.h"
#include "shell/imaging_dialog.h"
#include "shell/messages.h"
#include "shell/wizard_controller.h"
#include "shell/wizard_state.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

namespace dorvak {

DiskImageCommands::DiskImageCommands(WizardState& state, WizardController& wizard, QWidget* window)
    : state_(state), wizard_(wizard), window_(window) {}

bool DiskImageCommands::addDiskImage(const QString& path, const QString& mapPath) {
    std::shared_ptr<const RescueMap> map;
    if (!mapPath.isEmpty()) {
        // Loaded now, so that a damaged map is said before the image is listed.
        auto loaded = RescueMap::load(mapPath.toStdString());
        if (!loaded) {
            ShowMessage(QString::fromStdString(loaded.error().text), MessageKind::Error);
            return false;
        }
        map = std::make_shared<const RescueMap>(std::move(*loaded));
    }
    if (auto added = state_.disks.addImage(path.toStdString()); !added) {
        ShowMessage(QString::fromStdString(added.error().text), MessageKind::Error);
        return false;
    }
    if (map) {
        state_.rescueMaps[state_.disks.diskCount - 1u] = std::move(map);
        state_.rescueMapPaths[state_.disks.diskCount - 1u] = mapPath.toStdString();
    }
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

namespace {

// The names imaging runs give their maps (GNU ddrescue's manual calls them
// mapfiles; older runs, logfiles).
bool isMapName(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("map") || suffix == QLatin1String("mapfile") ||
           suffix == QLatin1String("log");
}

// The map an imaging run (this program's or GNU ddrescue's) may have left
// beside `image`: IMAGE.map, or the image's name with .map for its suffix.
QString mapBeside(const QString& image) {
    const QFileInfo info(image);
    for (const QString& map :
         {image + QStringLiteral(".map"),
          info.dir().filePath(info.completeBaseName() + QStringLiteral(".map"))})
        if (map != image && QFileInfo(map).isFile()) return map;
    return {};
}

} // namespace

QString DiskImageCommands::chooseMap(const QString& image) {
    if (mapChooser_) return mapChooser_(image);
    return QFileDialog::getOpenFileName(
        window_, QStringLiteral("Map File for %1").arg(QFileInfo(image).fileName()),
        QFileInfo(image).path(),
        QStringLiteral("Map files (*.map *.mapfile *.log);;All files (*)"));
}

QString DiskImageCommands::offerMap(const QString& image) {
    const QString beside = mapBeside(image);
    if (beside.isEmpty()) return {};
    const int answer = showDetails(
        QStringLiteral("A map file lies beside the image:\r\n%1\r\n\r\nOpen the image with "
                       "it? What the map does not mark read is then never read,\r\nand the files "
                       "that lie there are reported damaged.")
            .arg(beside),
        QString(),
        {QStringLiteral("&Use It"), QStringLiteral("&Other Map..."), QStringLiteral("&No Map")},
        MessageKind::Question);
    if (answer == 1) return beside;
    return answer == 2 ? chooseMap(image) : QString();
}

void DiskImageCommands::openDiskImage() {
    if (state_.WizardStep != Step::Disk || state_.workerBusy) return;
    const QStringList files =
        imageChooser_
            ? imageChooser_()
            : QFileDialog::getOpenFileNames(
                  window_, QStringLiteral("Open Disk Image"), QString(),
                  QStringLiteral("Disk images, and a map file to read one through (*.img *.raw "
                                 "*.dd *.bin *.iso *.E01 *.e01 *.qcow2 *.vhd *.vhdx *.vmdk *.map "
                                 "*.mapfile *.log);;All files (*)"));
    // A map chosen together with one image is that image's map, wherever it
    // lies and whatever its name.
    QStringList images, maps;
    for (const QString& file : files)
        (isMapName(file) ? maps : images) << file;
    if (maps.size() > 1 || (!maps.isEmpty() && images.size() != 1)) {
        ShowMessage(QStringLiteral("Choose one image with its map file, or images without one."),
                    MessageKind::Information);
        return;
    }
    for (const QString& image : images)
        addDiskImage(image, maps.isEmpty() ? offerMap(image) : maps.front());
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
    {
        // Its run reads the disk the wizard reads: nothing else starts meanwhile.
        const WorkerScope busy(state_);
        dialog.exec();
    }
    if (!dialog.imageToOpen().isEmpty())
        addDiskImage(dialog.imageToOpen(), dialog.mapField()->text().trimmed());
}

} // namespace dorvak
