#pragma once
// Save Scan and Open Scan: what an Extensive mount found, kept in a file, and
// read back for the selected volume in place of a mount (the catalog, the
// live leaves and the scan's counts; see reiserfs/saved_scan.h).

#include "reiserfs/mount.h"
#include "reiserfs/saved_scan.h"
#include "shell/wizard_state.h"

#include <string>

class QWidget;

namespace dorvak {

class WizardController;

// What Save Scan needs of an Extensive mount that just ended, besides the
// catalog. On the worker: it reads the ends of the disk and of the volume.
SavedScan scanToSave(WizardState& state, const VolumeInfo& volume, const VolumeMount& mount,
                     const MountResult& result);

// The mount's job on the worker: mounts `volume` into the state's catalog
// and live leaves; an Extensive mount also keeps what Save Scan needs (a
// stopped one too: it can be saved and gone on with) and gets the version
// pass. With `resumeFrom`, the block scan goes on from where a stopped scan
// ended. Out of memory is the caller's to say.
MountResult mountInto(WizardState& state, const VolumeInfo& volume, RecoveryMode mode,
                      ProgressSink& sink, const ScanPosition* resumeFrom = nullptr);

// The saved scan at `path` checked against `volume` as it is now and read
// into `saved` and the state's catalog. Empty, or the message that says why
// not.
std::string loadScanFile(WizardState& state, const VolumeInfo& volume, const std::string& path,
                         SavedScan& saved, ProgressSink& progress);

// Open Scan's part on the worker: the saved scan at `path`, when it was made
// of `volume` as it is now, into the state's catalog, live leaves and last
// scan, with the version pass a mount gets. Empty, or the message that says
// why not. A stopped scan leaves the stop flag set: its result is partial.
std::string readScanInto(WizardState& state, const VolumeInfo& volume, const std::string& path,
                         ProgressSink& progress);

// On the GUI thread, before Open Scan reads a file: when the scan it holds
// was stopped, asks whether to go on scanning from where it stopped (true
// for Yes); false for a whole scan, No, or a file whose header does not
// read.
bool askToResumeScan(const std::string& path);

// Writes the state's last scan and catalog to `path`; false with the message.
bool saveScanTo(const WizardState& state, const std::string& path, std::string& message);

// The menu commands: a file dialog, then the scan is read or written.
void openScanFile(QWidget* parent, WizardState& state, WizardController& wizard);
void saveScanFile(QWidget* parent, const WizardState& state);

} // namespace dorvak
