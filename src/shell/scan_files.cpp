#include "shell/scan_files.h"

#include "browse/liveness.h"
#include "browse/versions.h"
#include "carve/format_walker.h"
#include "reiserfs/scan_stop.h"
#include "shell/latin1.h"
#include "shell/messages.h"
#include "shell/wizard_controller.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

namespace dorvak {
namespace {

const char* const kScanFilter = "Saved scans (*.scan);;All files (*)";

std::string fileName(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).fileName().toStdString();
}

} // namespace

SavedScan scanToSave(WizardState& state, const VolumeInfo& volume, const VolumeMount& mount,
                     const MountResult& result) {
    SavedScan scan;
    scan.identity = identifyScan(state.reader, volume);
    scan.stopped = result.stopped;
    scan.versions = HasVersions(state.catalog);
    scan.result = result;
    scan.unreadableSectors = state.reader.unreadableSectorCount();
    scan.liveLeaves = mount.liveLeaves();
    scan.position = mount.scanPosition();
    return scan;
}

MountResult mountInto(WizardState& state, const VolumeInfo& volume, RecoveryMode mode,
                      ProgressSink& sink, const ScanPosition* resumeFrom) {
    ScanStopHook hook(sink, state.stopRequested);
    const bool extensive = mode == RecoveryMode::Extensive;
    VolumeMount mount(state.reader, volume, state.catalog, state.stopRequested,
                      extensive ? hook.sink() : sink);
    mount.setWalkers(carve::formatWalkers());
    mount.setResume(resumeFrom);
    const MountResult result = mount.MountSelectedVolume(mode);
    state.live = liveStateOf(mount, state.catalog);
    if (extensive && !result.outOfMemory) {
        state.lastScan = scanToSave(state, volume, mount, result);
        if (HasVersions(state.catalog)) {
            FileContents contents(state.reader, volume, state.catalog, &state.live);
            SettleVersions(contents, state.catalog, true, state.stopRequested);
        }
    }
    // The mount clears the flag between its phases: set again, it tells the
    // end of the job that what the catalog holds is partial.
    if (result.stopped) state.stopRequested = true;
    return result;
}

std::string loadScanFile(WizardState& state, const VolumeInfo& volume, const std::string& path,
                         SavedScan& saved, ProgressSink& progress) {
    progress.phase(Phase::ReadingSavedScan);
    std::string error;
    const std::string shown = "The saved scan " + fileName(path) + " ";
    if (!readSavedScanHeader(path, saved, error)) return shown + error + ".";
    if (!(identifyScan(state.reader, volume) == saved.identity))
        return shown + "was made of another disk or volume, or of this one before it changed.";
    if (!readSavedScan(path, saved, state.catalog, error)) return shown + error + ".";
    return {};
}

std::string readScanInto(WizardState& state, const VolumeInfo& volume, const std::string& path,
                         ProgressSink& progress) {
    SavedScan saved;
    if (std::string error = loadScanFile(state, volume, path, saved, progress); !error.empty())
        return error;
    state.live.extensive = true;
    state.live.setLeaves(saved.liveLeaves);
    if (saved.versions && HasVersions(state.catalog)) {
        FileContents contents(state.reader, volume, state.catalog, &state.live);
        SettleVersions(contents, state.catalog, true, state.stopRequested);
    }
    state.lastScan = std::move(saved);
    if (state.lastScan->stopped) state.stopRequested = true;
    return {};
}

bool askToResumeScan(const std::string& path) {
    SavedScan header;
    std::string error;
    // A file that cannot be read is said by the read on the worker.
    if (!readSavedScanHeader(path, header, error) || !header.stopped) return false;
    return AskYesNo(QString::fromStdString(
                        "The saved scan " + fileName(path) +
                        " was stopped before it had read the whole volume.\r\n\r\nGo on "
                        "scanning from where it stopped? No shows what it found so far."),
                    MessageKind::Question) == 1;
}

bool saveScanTo(const WizardState& state, const std::string& path, std::string& message) {
    if (!state.lastScan) return false;
    std::string error;
    if (!writeSavedScan(path, *state.lastScan, state.catalog, error)) {
        message = "The scan could not be saved: " + fileName(path) + " " + error + ".";
        return false;
    }
    message = "The scan was saved to " + fileName(path) + ".";
    if (state.lastScan->stopped) message += " It was stopped: what it holds is partial.";
    return true;
}

void openScanFile(QWidget* parent, WizardState& state, WizardController& wizard) {
    if (state.WizardStep != Step::Volume || state.workerBusy) return;
    const QString path =
        QFileDialog::getOpenFileName(parent, latin1("Open Scan"), QString(), latin1(kScanFilter));
    if (!path.isEmpty()) wizard.openSavedScan(path.toStdString());
}

void saveScanFile(QWidget* parent, const WizardState& state) {
    if (state.WizardStep != Step::Browse || state.workerBusy || !state.lastScan) return;
    const VolumeInfo* volume = state.selectedVolumeInfo();
    const QString suggested = QString::fromStdString(volume ? volume->name : "volume") + ".scan";
    const QString path =
        QFileDialog::getSaveFileName(parent, latin1("Save Scan"), suggested, latin1(kScanFilter));
    if (path.isEmpty()) return;
    std::string message;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool saved = saveScanTo(state, path.toStdString(), message);
    QApplication::restoreOverrideCursor();
    ShowMessage(QString::fromStdString(message),
                saved ? MessageKind::Information : MessageKind::Error);
}

} // namespace dorvak
