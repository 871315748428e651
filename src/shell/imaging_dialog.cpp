#include "shell/imaging_dialog.h"

#include "browse/display_text.h"
#include "disk/disk_table.h"
#include "shell/messages.h"
#include "ui/controls/text_progress_bar.h"
#include "volume/volume_table.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <sys/stat.h>

namespace dorvak {
namespace {

const char* const kValueLabels[] = {"Read", "Speed", "Time left", "Bad areas", "Now"};

QString megabytes(std::uint64_t bytes) {
    return QString::number(bytes / (1024 * 1024)) + QStringLiteral(" MB");
}

// "1:02:03", or "0:05" under an hour.
QString duration(std::uint64_t seconds) {
    const std::uint64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    const QString ms = QStringLiteral("%1:%2")
                           .arg(m, h ? 2 : 1, 10, QLatin1Char('0'))
                           .arg(s, 2, 10, QLatin1Char('0'));
    return h ? QString::number(h) + QLatin1Char(':') + ms : ms;
}

const char* passText(Phase pass) {
    switch (pass) {
    case Phase::CopyingReadableAreas:
        return "Copying the readable areas";
    case Phase::ReadingAroundBadAreas:
        return "Reading around the bad areas";
    default:
        return "Retrying the bad sectors";
    }
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// A line edit with a "..." button that picks a file for it.
QLineEdit* fileRow(QGridLayout* grid, int row, const QString& label, QWidget* parent,
                   QPushButton** browse) {
    auto* edit = new QLineEdit(parent);
    *browse = new QPushButton(QStringLiteral("..."), parent);
    (*browse)->setFixedWidth(28);
    grid->addWidget(new QLabel(label, parent), row, 0);
    grid->addWidget(edit, row, 1, 1, 2);
    grid->addWidget(*browse, row, 3);
    return edit;
}

} // namespace

ImagingDialog::ImagingDialog(const DiskInfo& disk, const VolumeTable* volumes,
                             std::uint32_t retries, QWidget* parent)
    : SkinnedDialog(238, parent), diskPath_(disk.path) {
    setWindowTitle(QStringLiteral("Create Disk Image"));
    choices_.push_back({QStringLiteral("The whole disk (%1, %2)")
                            .arg(QString::fromStdString(disk.path),
                                 QString::fromStdString(DiskTable::capacityText(disk))),
                        0, 0});
    for (std::uint32_t i = 0; volumes && i < volumes->volumeCount; ++i) {
        const VolumeInfo& v = volumes->records[i];
        choices_.push_back({QStringLiteral("%1 (from sector %2, %3)")
                                .arg(QString::fromStdString(v.name))
                                .arg(v.startSector)
                                .arg(QString::fromStdString(volumeSizeText(v.sectorCount))),
                            v.startSector * 512, v.sectorCount * 512});
    }

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 14, 16, 12);
    source_ = new QComboBox(this);
    for (const ImagingSourceChoice& c : choices_)
        source_->addItem(c.label);
    grid->addWidget(new QLabel(QStringLiteral("Copy"), this), 0, 0);
    grid->addWidget(source_, 0, 1, 1, 3);
    QPushButton *imageBrowse = nullptr, *mapBrowse = nullptr;
    image_ = fileRow(grid, 1, QStringLiteral("Image file"), this, &imageBrowse);
    map_ = fileRow(grid, 2, QStringLiteral("Map file"), this, &mapBrowse);
    retries_ = new QSpinBox(this);
    retries_->setRange(1, 10);
    retries_->setValue(int(std::clamp<std::uint32_t>(retries, 1, 10)));
    grid->addWidget(new QLabel(QStringLiteral("Retries on bad sector(s)"), this), 3, 0);
    grid->addWidget(retries_, 3, 1, Qt::AlignLeft);
    int row = 4;
    for (const char* label : kValueLabels) {
        grid->addWidget(new QLabel(QString::fromLatin1(label), this), row, 0);
        values_.push_back(new QLabel(this));
        grid->addWidget(values_.back(), row++, 1, 1, 3);
    }
    bar_ = new TextProgressBar(this);
    bar_->setRange32(0, 1000);
    // Tall enough for its percentage in the dialog's font, at any scale.
    bar_->setMinimumHeight(fontMetrics().height() + 6);
    grid->addWidget(bar_, row++, 0, 1, 4);
    auto* buttons = new QHBoxLayout;
    start_ = new QPushButton(QStringLiteral("&Start"), this);
    stop_ = new QPushButton(QStringLiteral("S&top"), this);
    close_ = new QPushButton(QStringLiteral("&Close"), this);
    buttons->addStretch();
    for (QPushButton* b : {start_, stop_, close_})
        buttons->addWidget(b);
    grid->addLayout(buttons, row, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    start_->setDefault(true);
    stop_->setEnabled(false);

    // The map goes beside the image unless the user named another.
    connect(image_, &QLineEdit::textEdited, this, &ImagingDialog::imageEdited);
    connect(imageBrowse, &QPushButton::clicked, this, &ImagingDialog::chooseImage);
    connect(mapBrowse, &QPushButton::clicked, this, &ImagingDialog::chooseMap);
    connect(start_, &QPushButton::clicked, this, &ImagingDialog::startImaging);
    connect(stop_, &QPushButton::clicked, this, [this] { stopFlag_ = true; });
    connect(close_, &QPushButton::clicked, this, &ImagingDialog::reject);
    setMinimumWidth(460);
}

ImagingDialog::~ImagingDialog() {
    if (thread_) {
        stopFlag_ = true;
        thread_->wait();
    }
}

QString ImagingDialog::valueText(int row) const {
    return values_.at(std::size_t(row))->text();
}

void ImagingDialog::chooseImage() {
    const QString file =
        QFileDialog::getSaveFileName(this, QStringLiteral("Image file"), image_->text(), QString(),
                                     nullptr, QFileDialog::DontConfirmOverwrite);
    if (file.isEmpty()) return;
    image_->setText(file);
    imageEdited(file);
}

void ImagingDialog::imageEdited(const QString& text) {
    if (map_->text() == mapFollows_)
        map_->setText(text.isEmpty() ? QString() : text + QStringLiteral(".map"));
    mapFollows_ = map_->text();
}

void ImagingDialog::chooseMap() {
    const QString file =
        QFileDialog::getSaveFileName(this, QStringLiteral("Map file"), map_->text(), QString(),
                                     nullptr, QFileDialog::DontConfirmOverwrite);
    if (!file.isEmpty()) map_->setText(file);
}

void ImagingDialog::setRunning(bool running) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{source_, image_, map_, retries_, start_, close_})
        w->setEnabled(!running);
    stop_->setEnabled(running);
}

void ImagingDialog::startImaging() {
    if (thread_) return;
    const std::string image = image_->text().trimmed().toStdString();
    const std::string map = map_->text().trimmed().toStdString();
    if (image.empty() || map.empty()) {
        ShowMessage(QStringLiteral("Name the image file and its map file."), MessageKind::Error);
        return;
    }
    std::string error;
    if (image == map) error = "The image and its map must be two files.";
    for (const std::string* other : {&image, &map})
        if (error.empty() && (sameFile(diskPath_, *other) || *other == diskPath_))
            error = "Cannot write " + *other + ": it is the disk being copied.";
    if (error.empty())
        if (auto opened = reader_.OpenSelectedDisk(diskPath_); !opened)
            error = opened.error().text.empty() ? "Cannot read " + diskPath_ : opened.error().text;
    if (!error.empty()) {
        ShowMessage(QString::fromStdString(error), MessageKind::Error);
        return;
    }
    ImagingOptions options;
    options.retries = std::uint32_t(retries_->value());
    const std::uint64_t total = reader_.totalSectors() * 512;
    const ImagingSourceChoice& choice =
        choices_.at(std::size_t(std::max(0, source_->currentIndex())));
    options.begin = std::min(choice.begin, total);
    // A volume cut short by the end of the disk is copied as far as it goes.
    options.size =
        choice.size == 0 ? total - options.begin : std::min(choice.size, total - options.begin);
    if (options.size == 0) {
        reader_.CloseDisk();
        ShowMessage(QStringLiteral("There are no sectors to copy."), MessageKind::Error);
        return;
    }
    stopFlag_ = false;
    firstReport_ = true;
    imageToOpen_.clear();
    for (QLabel* v : values_)
        v->clear();
    bar_->setPos(0);
    setRunning(true);
    clock_.start();
    thread_.reset(QThread::create([this, options, image, map] {
        DiskImager imager(*reader_.source(), options, stopFlag_, *this);
        ImagingResult result = imager.run(image, map);
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)] { runFinished(result); },
            Qt::QueuedConnection);
    }));
    thread_->start();
}

// On the worker's thread: the status goes to the dialog's thread by value.
void ImagingDialog::progress(const ImagingStatus& status) {
    QMetaObject::invokeMethod(
        this, [this, status] { showStatus(status); }, Qt::QueuedConnection);
}

void ImagingDialog::showStatus(const ImagingStatus& s) {
    const std::uint64_t settled = s.rescued + s.badBytes;
    // A resumed run starts with what earlier runs read: the speed counts
    // only this run's bytes.
    if (firstReport_) {
        settledAtStart_ = settled;
        firstReport_ = false;
        clock_.restart();
    }
    const double seconds = double(clock_.elapsed()) / 1000.0;
    // Early in a run the rate says little; at its end it is the run's average.
    const double rate = seconds > 0.5 || (!thread_ && seconds > 0)
                            ? double(settled - std::min(settled, settledAtStart_)) / seconds
                            : 0;
    values_[0]->setText(QStringLiteral("%1 of %2").arg(megabytes(s.rescued), megabytes(s.size)));
    values_[1]->setText(rate > 0 ? QString::number(rate / (1024 * 1024), 'f', 1) +
                                       QStringLiteral(" MB/s")
                                 : QString());
    const std::uint64_t left = s.size - std::min(s.size, settled);
    values_[2]->setText(left == 0  ? duration(0)
                        : rate > 0 ? duration(std::uint64_t(double(left) / rate))
                                   : QStringLiteral("unknown"));
    values_[3]->setText(
        QStringLiteral("%1 (%2 bad sector(s))").arg(s.badAreas).arg(s.badBytes / 512));
    values_[4]->setText(QString::fromLatin1(passText(s.pass)));
    if (s.size > 0) bar_->setPos(int(settled * 1000 / s.size));
}

void ImagingDialog::runFinished(const ImagingResult& result) {
    thread_->wait();
    thread_.reset();
    reader_.CloseDisk();
    result_ = result;
    setRunning(false);
    showStatus(result.status);
    values_[4]->setText(result.stopped ? QStringLiteral("Stopped")
                        : result.ok()  ? QStringLiteral("Finished")
                                       : QStringLiteral("Failed"));
    const QString map = map_->text().trimmed();
    if (!result.ok())
        ShowMessage(QString::fromStdString(result.outcome.error().text), MessageKind::Error);
    if (result.ok()) {
        QString text =
            result.stopped
                ? QStringLiteral("Stopped. The map %1 keeps what was read: start again "
                                 "with the same image and map to go on.")
                      .arg(map)
                : QStringLiteral("The disk image is complete: %1 of %2 read, %3 bad "
                                 "sector(s).")
                      .arg(megabytes(result.status.rescued), megabytes(result.status.size))
                      .arg(result.status.badBytes / 512);
        text += QStringLiteral("\r\n\r\nOpen the image now (with its map)?");
        if (AskYesNo(text, MessageKind::Question) == 1) imageToOpen_ = image_->text().trimmed();
    }
    Q_EMIT runEnded();
    if (!imageToOpen_.isEmpty()) accept();
}

void ImagingDialog::reject() {
    if (!thread_) SkinnedDialog::reject();
}

} // namespace dorvak
