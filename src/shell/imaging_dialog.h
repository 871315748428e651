#pragma once
// ImagingDialog: Recovery > "Create Disk Image...". The user picks what to
// copy (the selected disk, or one of the volumes found on it), the image
// file, its map and the retries per bad sector; DiskImager then copies on its
// own thread while the dialog shows what it has read, the speed, the time
// left and the bad areas found. Stop only sets the run's flag and asks
// nothing more: the map keeps what was read, so a later run with the same
// image and map resumes. The worker never touches a widget; its progress
// reaches the dialog as queued calls.

#include "disk/imaging.h"
#include "disk/sector_reader.h"
#include "shell/skinned_dialog.h"

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace dorvak {

struct DiskInfo;
class TextProgressBar;
class VolumeTable;

// One thing the dialog can copy: the whole disk or one volume of it.
struct ImagingSourceChoice {
    QString label;
    std::uint64_t begin = 0; // bytes
    std::uint64_t size = 0;  // bytes; 0: to the end of the disk
};

class ImagingDialog : public SkinnedDialog, private ImagingSink {
    Q_OBJECT
public:
    // `volumes` may be null (the disk's volumes are not known yet).
    ImagingDialog(const DiskInfo& disk, const VolumeTable* volumes, std::uint32_t retries,
                  QWidget* parent = nullptr);
    ~ImagingDialog() override; // stops a running copy and waits for it

    QComboBox* sourceList() const { return source_; }
    QLineEdit* imageField() const { return image_; }
    QLineEdit* mapField() const { return map_; }
    QSpinBox* retriesBox() const { return retries_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* closeButton() const { return close_; }
    // The progress values: 0 read, 1 speed, 2 time left, 3 bad areas, 4 pass.
    QString valueText(int row) const;
    bool running() const { return thread_ != nullptr; }
    const ImagingResult& result() const { return result_; }
    // The image the user asked to open when the run ended (empty if none).
    QString imageToOpen() const { return imageToOpen_; }

    // Start: checks the fields and begins the copy.
    void startImaging();
    void reject() override; // Escape and the close box do nothing while copying

Q_SIGNALS:
    // The run has ended and its end has been shown.
    void runEnded();

private:
    void progress(const ImagingStatus& status) override;
    void showStatus(const ImagingStatus& status);
    void runFinished(const ImagingResult& result);
    void chooseImage();
    void chooseMap();
    void imageEdited(const QString& text);
    void setRunning(bool running);

    std::vector<ImagingSourceChoice> choices_;
    std::string diskPath_;
    QComboBox* source_;
    QLineEdit* image_;
    QLineEdit* map_;
    QSpinBox* retries_;
    std::vector<QLabel*> values_;
    TextProgressBar* bar_;
    QPushButton* start_;
    QPushButton* stop_;
    QPushButton* close_;
    QString mapFollows_; // the map text the image field last proposed

    SectorReader reader_;
    std::atomic<bool> stopFlag_{false};
    std::unique_ptr<QThread> thread_;
    ImagingResult result_;
    QElapsedTimer clock_;
    std::uint64_t settledAtStart_ = 0;
    bool firstReport_ = true;
    QString imageToOpen_;
};

} // namespace dorvak
