#include "shell/recovery.h"

#include "ui/controls/text_progress_bar.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>

namespace dorvak {

SavingDialog::SavingDialog(QWidget* parent) : SkinnedDialog(238, parent) {
    setWindowTitle(QStringLiteral("Saving the data please wait"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    path_ = new QLabel(this);
    path_->setWordWrap(true);
    path_->setMinimumHeight(2 * path_->fontMetrics().height());
    path_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    file_ = new QLabel(this);
    total_ = new QLabel(this);
    bar_ = new TextProgressBar(this);
    bar_->setRange32(0, 100);
    skip_ = new QPushButton(QStringLiteral("S&kip File"), this);
    stop_ = new QPushButton(QStringLiteral("&Stop Saving"), this);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 14, 16, 12);
    grid->addWidget(new QLabel(QStringLiteral("Path"), this), 0, 0, Qt::AlignTop);
    grid->addWidget(path_, 0, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("File Name"), this), 1, 0);
    grid->addWidget(file_, 1, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Total Files"), this), 2, 0);
    grid->addWidget(total_, 2, 1, 1, 3);
    grid->addWidget(bar_, 3, 0, 1, 4);
    grid->addWidget(skip_, 4, 2);
    grid->addWidget(stop_, 4, 3);
    grid->setColumnStretch(1, 1);
    connect(skip_, &QPushButton::clicked, this, [this] { requests_.skipFileRequested = true; });
    connect(stop_, &QPushButton::clicked, this, [this] { requests_.stopSavingRequested = true; });
    setFixedSize(420, 190);
}

SavingDialog::~SavingDialog() {
    if (thread_) {
        requests_.stopSavingRequested = true;
        thread_->wait();
    }
}

void SavingDialog::start(Job job) {
    requests_.skipFileRequested = false;
    requests_.stopSavingRequested = false;
    requests_.saveFinished = false;
    thread_.reset(QThread::create([this, job = std::move(job)] {
        CopySummary s = job(*this, requests_);
        QMetaObject::invokeMethod(
            this,
            [this, s = std::move(s)]() mutable {
                summary_ = std::move(s);
                requests_.saveFinished = true;
                thread_->wait();
                thread_.reset();
                done(QDialog::Rejected);
                Q_EMIT finished();
            },
            Qt::QueuedConnection);
    }));
    thread_->start();
}

CopySummary SavingDialog::run(Job job) {
    start(std::move(job));
    exec();
    return summary_;
}

void SavingDialog::reject() {
    if (requests_.saveFinished) SkinnedDialog::reject();
}

void SavingDialog::copyProgress(const CopyProgressEvent& event) {
    // Drawn a few times a second at most, not once per file.
    std::lock_guard lock(mutex_);
    latest_ = event;
    const auto now = std::chrono::steady_clock::now();
    if (posted_ || now - lastPost_ < std::chrono::milliseconds(100)) return;
    posted_ = true;
    lastPost_ = now;
    QMetaObject::invokeMethod(
        this,
        [this] {
            CopyProgressEvent e;
            {
                std::lock_guard lock(mutex_);
                e = latest_;
                posted_ = false;
            }
            showEvent_(e);
        },
        Qt::QueuedConnection);
}

void SavingDialog::showEvent_(const CopyProgressEvent& e) {
    path_->setText(
        QString::fromUtf8(QByteArray::fromStdString(e.folderPath.empty() ? "/" : e.folderPath)));
    file_->setText(QString::fromUtf8(QByteArray::fromStdString(e.fileName)));
    total_->setText(QString::number(e.filesTotal));
    const std::uint64_t total = e.bytesTotal ? e.bytesTotal : e.filesTotal;
    const std::uint64_t done = e.bytesTotal ? e.bytesDone : e.filesDone;
    bar_->setPos(total ? int(done * 100 / total) : 0);
}

QString SavingDialog::pathText() const {
    return path_->text();
}
QString SavingDialog::fileText() const {
    return file_->text();
}
QString SavingDialog::totalText() const {
    return total_->text();
}

bool skippedByPolicy(const FileReport& r) {
    return r.reason == kSkippedByPolicyReason;
}

bool summaryIsError(const CopySummary& s) {
    // The duplicate policy's own skips are what the user asked for.
    const bool onlyPolicySkips = std::all_of(s.skipped.begin(), s.skipped.end(), skippedByPolicy);
    return !s.fatalError.empty() || s.stopped || !s.damaged.empty() || !s.failed.empty() ||
           !onlyPolicySkips;
}

SummaryText summaryText(const CopySummary& s, const QString& destination) {
    auto raw = [](const std::string& b) { return QString::fromUtf8(QByteArray::fromStdString(b)); };
    SummaryText out;
    if (!s.fatalError.empty())
        out.text = QStringLiteral("The recovery could not go on: %1\r\n").arg(raw(s.fatalError));
    else if (s.stopped)
        out.text = QStringLiteral("The recovery was stopped.\r\n");
    out.text += QStringLiteral("%1 file(s) written to %2\r\n%3 renamed, %4 skipped, %5 damaged, "
                               "%6 failed.")
                    .arg(s.filesWritten)
                    .arg(destination)
                    .arg(s.renamed.size())
                    .arg(s.skipped.size())
                    .arg(s.damaged.size())
                    .arg(s.failed.size());
    if (s.carvedWritten)
        out.text += QStringLiteral("\r\n%1 of the files written were carved from unused blocks.")
                        .arg(s.carvedWritten);
    // Every file that did not arrive as it was, by name: renamed ones with
    // their new names, skipped and failed ones with the reason.
    for (const FileReport& r : s.renamed)
        out.more +=
            QStringLiteral("Renamed: %1 as %2<br>").arg(raw(r.catalogPath), raw(r.writtenPath));
    for (const FileReport& r : s.skipped)
        out.more += QStringLiteral("Skipped: %1: %2<br>").arg(raw(r.catalogPath), raw(r.reason));
    for (const FileReport& r : s.damaged) {
        QString ranges;
        for (const Damage& d : r.damage)
            ranges += QStringLiteral(" %1-%2 (%3)")
                          .arg(d.range.begin)
                          .arg(d.range.end)
                          .arg(QString::fromLatin1(damageText(d.kind)));
        out.more +=
            QStringLiteral("Damaged: %1, zeros at bytes%2<br>").arg(raw(r.catalogPath), ranges);
    }
    for (const FileReport& r : s.failed) {
        const QString target =
            r.target.empty() ? QString() : QStringLiteral(" (target %1)").arg(raw(r.target));
        out.more +=
            QStringLiteral("Failed: %1: %2%3<br>").arg(raw(r.catalogPath), raw(r.reason), target);
    }
    return out;
}

} // namespace dorvak
