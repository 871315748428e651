#include "shell/info_panel.h"

#include "disk/disk_table.h"
#include "disk/volume_info.h"
#include "shell/job_worker.h"
#include "shell/latin1.h"
#include "ui/controls/transparent_static.h"

namespace dorvak {
namespace {

constexpr const char kMountingText[] = "Mounting volume, please wait...";

// What each layout shows: the captions of the pairs it uses (null: the pair
// is hidden) and its status line (null: hidden). The captions end in runs
// of spaces that line the values up on the skin.
struct LayoutDef {
    PanelLayout layout;
    std::array<const char*, kInfoPairCount> captions;
    const char* status;
};

const LayoutDef kLayouts[] = {
    {PanelLayout::Empty, {}, nullptr},
    {PanelLayout::Disk,
     {"Model                  ", "Capacity              ", "Cylinders              ",
      "Head                   ", "Sectors Per Track "},
     nullptr},
    {PanelLayout::Volume,
     {"Volume Type  ", "Volume Name    ", "Volume Start      ", "Volume Size     ", nullptr},
     nullptr},
    {PanelLayout::Search,
     {"Partition(s) Found  ", "Current Sector", "End Sector     ", nullptr, nullptr},
     "Searching for Pools. This may take long time. Pleae wait"},
    {PanelLayout::Mount,
     {"Folder(s) Found    ", "File(s) Found      ", "Current Sector       ",
      "Last File/Folder       ", nullptr},
     kMountingText},
};

// The pairs the layouts put their values in.
constexpr int kFirst = 0, kSecond = 1, kThird = 2, kFourth = 3, kFifth = 4;

} // namespace

InfoPanel::InfoPanel(const std::array<TransparentStatic*, kInfoPairCount>& captions,
                     const std::array<TransparentStatic*, kInfoPairCount>& values,
                     TransparentStatic* status)
    : captions_(captions), values_(values), status_(status) {}

void InfoPanel::setPair(int pair, const QString& caption, const QString& value, bool show) {
    TransparentStatic* c = captions_[std::size_t(pair)];
    TransparentStatic* v = values_[std::size_t(pair)];
    c->setText(caption);
    v->setText(value);
    c->setVisible(show);
    v->setVisible(show);
}

void InfoPanel::setValue(int pair, const QString& value) {
    values_[std::size_t(pair)]->setText(value);
}

void InfoPanel::setStatusLine(const QString& text, bool show) {
    status_->setText(text);
    status_->setVisible(show);
}

void InfoPanel::setLayout(PanelLayout layout, std::uint64_t searchEndSector) {
    layout_ = layout;
    for (const LayoutDef& def : kLayouts) {
        if (def.layout != layout) continue;
        for (int i = 0; i < kInfoPairCount; ++i) {
            const char* caption = def.captions[std::size_t(i)];
            setPair(i, caption ? latin1(caption) : QString(), QString(), caption != nullptr);
        }
        setStatusLine(def.status ? latin1(def.status) : QString(), def.status != nullptr);
    }
    if (layout == PanelLayout::Search) {
        setValue(kFirst, latin1("0"));
        setValue(kSecond, latin1("0"));
        setValue(kThird, QString::number(searchEndSector));
    }
}

void InfoPanel::showDisk(const DiskInfo& d) {
    setValue(kFirst, QString::fromStdString(d.model));
    setValue(kSecond, QString::fromStdString(DiskTable::capacityText(d)));
    setValue(kThird, QString::number(d.cylinders));
    setValue(kFourth, QString::number(d.heads));
    setValue(kFifth, QString::number(d.sectorsPerTrack));
}

void InfoPanel::showVolume(const VolumeInfo& v) {
    setPair(kFirst, latin1("Volume Type  "), latin1("ReiserFS"));
    setPair(kSecond, latin1("Volume Name    "), QString::fromStdString(v.name));
    setPair(kThird, latin1("Volume Start      "), QString::number(v.startSector));
    setPair(kFourth, latin1("Volume Size     "),
            QString::number(v.sectorCount / 2048) + latin1(" MB ( Approx )"));
}

void InfoPanel::showProgress(const JobProgress& p) {
    // The search counts volumes and sectors; the mount folders, files and
    // sectors, with the last name it met.
    const bool searching = layout_ == PanelLayout::Search;
    if (p.fields & JobProgress::NewPhase) setStatusLine(phaseText(p.phase), true);
    if (p.fields & JobProgress::ScanPosition) setStatusLine(scanText(p.scanned, p.scanTotal), true);
    if (p.fields & JobProgress::Sector)
        setValue(searching ? kSecond : kThird, QString::number(p.sector));
    if (p.fields & JobProgress::Volumes) setValue(kFirst, QString::number(p.volumes));
    if (p.fields & JobProgress::Folders) setValue(kFirst, QString::number(p.folders));
    if (p.fields & JobProgress::Files) setValue(kSecond, QString::number(p.files));
    if (p.fields & JobProgress::LastName) setValue(kFourth, p.lastName);
}

QString InfoPanel::phaseText(Phase phase) {
    switch (phase) {
    case Phase::MountingVolume:
        return latin1(kMountingText);
    case Phase::SearchingLostData:
        return latin1("Searching Lost Data ...");
    case Phase::CreatingTreeStructure:
        return latin1("Creating Tree Structure, Please wait");
    case Phase::ReadingSavedScan:
        return latin1("Reading the saved scan, please wait...");
    case Phase::CopyingReadableAreas:
    case Phase::ReadingAroundBadAreas:
    case Phase::RetryingBadSectors:
        break; // the imaging's: its dialog shows them itself
    }
    return QString();
}

QString InfoPanel::scanText(std::uint64_t scanned, std::uint64_t total) {
    return latin1("Scanning sector ") + QString::number(scanned) + latin1(" Of ") +
           QString::number(total);
}

QString InfoPanel::caption(int pair) const {
    return captions_[std::size_t(pair)]->text();
}

QString InfoPanel::value(int pair) const {
    return values_[std::size_t(pair)]->text();
}

bool InfoPanel::pairShown(int pair) const {
    return values_[std::size_t(pair)]->isVisible();
}

bool InfoPanel::statusShown() const {
    return status_->isVisible();
}

} // namespace dorvak
