#pragma once
// The wizard's state apart from any widget: which step the window is at, the
// chosen disk, volume identify option, scan range and recovery mode, the disk
// and volume tables, the open disk, the catalog, and the two flags shared
// with the worker threads. The main window shows this state; tests drive it
// directly.

#include "browse/file_contents.h"
#include "browse/name_decoder.h"
#include "browse/recovery_settings.h"
#include "disk/disk_table.h"
#include "disk/sector_reader.h"
#include "reiserfs/catalog.h"
#include "reiserfs/saved_scan.h"
#include "volume/volume_table.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace dorvak {

inline constexpr const char* kAppCaption = "Tervolk Dorvak ReiserFS";

// Range validation messages (they begin with six spaces).
inline constexpr const char* kStartSectorInvalid =
    "      Start sector value is not valid, It should be a positive number";
inline constexpr const char* kEndSectorInvalid =
    "      End sector value is not valid, It should be a positive number";
inline constexpr const char* kEndNotAboveStart =
    "      End sector should be bigger than start sector";
inline constexpr const char* kNoPartitionFound =
    "No ReiserFS Partition Found  !! \r\nSelect Search Partition and than Click Next.";
inline constexpr const char* kStopQuestion = "Do you want to stop the current process ?";
inline constexpr const char* kExitQuestion = "Do you really want to exit ?";

// Parses a sector field as an unsigned decimal number: digits only, nothing
// else. 64 bits, so that a disk past 2 TiB (2^32 sectors) is reached.
std::optional<std::uint64_t> parseSectorField(const std::string& text);

struct ScanRangeCheck {
    std::uint64_t start = 0, end = 0;
    const char* error = nullptr; // one of the three messages, or null
};
// The End field is read only when the Start field is valid.
ScanRangeCheck validateScanRange(const std::string& startText, const std::string& endText);

// The wizard's steps.
enum class Step { Startup = -1, Disk = 0, Volume = 1, Browse = 2 };
// How the volumes of the chosen disk are found.
enum class VolumeIdentify : std::uint16_t { PartitionTable = 1, Search = 2 };
// The menu states' phases: start-up; a step entered or a worker running;
// the volume step with no worker; browsing a mounted volume; back at the
// disk step.
enum class MenuPhase { Startup = 0, Working = 1, AtVolume = 2, Browsing = 3, BackAtDisk = 4 };

// The commands of the menu bar and the list pane's item menu.
namespace cmd {
constexpr int RecoverSelected = 32806, RecoverAll = 32807, Exit = 32774;
constexpr int ViewIcons = 32808, ViewList = 59410, ViewDetails = 59411;
constexpr int FindFiles = 32813, FileFilters = 32814, Settings = 32815, DriveInfo = 32840;
constexpr int LiveUpdate = 32842, Contents = 32816, BuyOnline = 32841, About = 32817;
// Beyond the original menu: adds a disk image file to the disk list; copies
// the selected disk into an image.
constexpr int OpenImage = 32850, CreateImage = 32855;
// Beyond the original menu: an Extensive mount's result kept in a file, and
// read back for the selected volume instead of a mount.
constexpr int OpenScan = 32860, SaveScan = 32861;
constexpr int Open = 32819, OpenWith = 32820, Rename = 32830, Properties = 32839;
// The item menu's copies of menu-bar commands.
constexpr int ItemRecoverSelected = 32837, ItemRecoverAll = 32825, ItemFindFiles = 32828;
constexpr int ItemIcons = 32826, ItemList = 32827, ItemDetails = 32829, ItemSettings = 32836;
} // namespace cmd

// Enabled or grayed, by phase and step (and for Save Scan, whether the
// catalog is an Extensive mount's). Commands the phases leave alone answer
// nullopt.
std::optional<bool> menuCommandEnabled(MenuPhase phase, Step step, int command,
                                       bool extensiveCatalog = false);
// The commands that start a job of their own or read what a running job
// writes (the disk list, the catalog): grayed while any worker runs.
bool startsWorker(int command);

class WizardState {
public:
    Step WizardStep = Step::Startup;
    VolumeIdentify volumeIdentifyOption = VolumeIdentify::PartitionTable;
    std::uint64_t scanStartSector = 0, scanEndSector = 0;
    RecoveryMode recoveryMode = RecoveryMode::Normal;
    std::uint16_t modeDialogRole = 1;
    MenuPhase menuPhase = MenuPhase::Startup;

    DiskTable disks;
    // The maps of imaging runs the disks are read through, by listed disk
    // number (the same image may be listed with a map and without one):
    // what a map does not mark read is never read.
    std::map<std::uint32_t, std::shared_ptr<const RescueMap>> rescueMaps;
    // Where each of those maps was read from (the disk tree names it).
    std::map<std::uint32_t, std::string> rescueMapPaths;
    // The disk picked in the disk tree (its listed number), if any.
    std::optional<std::uint32_t> selectedDisk;
    SectorReader reader;
    VolumeTable volumes;
    // The volume picked in the volume tree (its index in the table).
    std::uint16_t selectedVolume = 0;
    Catalog catalog;

    // Shared with the workers. The GUI thread sets both before a worker
    // starts; the worker's end clears workerBusy on the GUI thread.
    std::atomic<bool> workerBusy{false};
    // Set by the window: shows the menu states again after workerBusy
    // changed outside a step change (a copy-out, an imaging run).
    std::function<void()> refreshMenus;
    // The last search or mount was stopped: what it shows is partial.
    bool partialResult = false;
    std::atomic<bool> stopRequested{false};

    // Which leaves belong to the live tree, from the last mount (the
    // copy-out prefers their items).
    LiveState live;
    // What Save Scan writes besides the catalog, from the last Extensive
    // mount or saved scan read (none after a Normal mount).
    std::optional<SavedScan> lastScan;
    RecoverySettings settings;
    // How names that are not UTF-8 are shown and written (Recovery Settings,
    // "Name encoding"); the default decoder shows them as Latin-1 and
    // writes their bytes as they are.
    NameDecoder names;

    bool treePaneActive = false;
    bool renaming = false;
    bool openWithRequested = false;

    const VolumeInfo* selectedVolumeInfo() const {
        return selectedVolume < volumes.volumeCount ? &volumes.records[selectedVolume] : nullptr;
    }
    const DiskInfo* selectedDiskInfo() const {
        return selectedDisk ? disks.disk(*selectedDisk) : nullptr;
    }
    // End Sector preset for the selected disk: its size, kept within the
    // 32 bits the field can hold.
    std::uint64_t endSectorPreset() const;
};

// A job run under a modal dialog (a copy-out, an imaging run) counts as the
// running worker for the scope's life: workerBusy is set and the menus
// gray the commands that start another.
class WorkerScope {
public:
    explicit WorkerScope(WizardState& state);
    ~WorkerScope();
    WorkerScope(const WorkerScope&) = delete;
    WorkerScope& operator=(const WorkerScope&) = delete;

private:
    WizardState& state_;
};

} // namespace dorvak
