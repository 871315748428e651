#pragma once
// InfoPanel: the five caption/value pairs of the main window's information
// panel and the status line under them. Each wizard step shows its own
// layout of the pairs (the disk's geometry, a volume, the search's or the
// mount's counters); a job's progress fills the values of the layout shown.

#include "disk/progress.h"
#include "shell/window_layout.h"

#include <QString>

#include <array>
#include <cstdint>

namespace dorvak {

struct DiskInfo;
struct JobProgress;
struct VolumeInfo;

enum class PanelLayout {
    Empty,  // everything hidden (browsing)
    Disk,   // the selected disk's model and geometry
    Volume, // the selected volume
    Search, // the partition search's counters and its status line
    Mount,  // the mount's counters and its status line
};

class InfoPanel {
public:
    InfoPanel(const std::array<TransparentStatic*, kInfoPairCount>& captions,
              const std::array<TransparentStatic*, kInfoPairCount>& values,
              TransparentStatic* status);

    // Shows `layout` with its captions and empty values; the search's end
    // sector is shown from the start.
    void setLayout(PanelLayout layout, std::uint64_t searchEndSector = 0);
    PanelLayout layout() const { return layout_; }
    void showDisk(const DiskInfo& disk);
    void showVolume(const VolumeInfo& volume);
    // Puts a job's new counters into the values of the search or mount layout.
    void showProgress(const JobProgress& progress);
    void setStatusLine(const QString& text, bool show);
    // What the status line says for a phase of a job, and for the partition
    // search's position in its range.
    static QString phaseText(Phase phase);
    static QString scanText(std::uint64_t scanned, std::uint64_t total);

    QString caption(int pair) const;
    QString value(int pair) const;
    bool pairShown(int pair) const;
    bool statusShown() const;

private:
    void setPair(int pair, const QString& caption, const QString& value, bool show = true);
    void setValue(int pair, const QString& value);

    std::array<TransparentStatic*, kInfoPairCount> captions_, values_;
    TransparentStatic* status_;
    PanelLayout layout_ = PanelLayout::Empty;
};

} // namespace dorvak
