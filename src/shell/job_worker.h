#pragma once
// A long core job (the partition search, the mount) on its own thread. The
// job reports through a ProgressSink whose events become queued signals on
// the GUI thread, throttled to a few per second; a new phase (and the first
// position of a scan) is passed on at once so every phase is seen in order. The worker never
// touches a widget, and nothing kills it: Stop sets the job's atomic flag and
// the job ends by itself.

#include "disk/progress.h"
#include "disk/volume_info.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

namespace dorvak {

// What the job reported since the last update; `fields` says which are new.
struct JobProgress {
    enum Field : unsigned {
        NewPhase = 1,
        Percent = 2,
        Sector = 4,
        Folders = 8,
        Files = 16,
        LastName = 32,
        Volumes = 64,
        ScanPosition = 128
    };
    unsigned fields = 0;
    Phase phase = Phase::MountingVolume;
    quint64 scanned = 0, scanTotal = 0; // the search's position in its range
    unsigned percent = 0;
    quint64 sector = 0;
    quint32 folders = 0, files = 0, volumes = 0;
    QString lastName;
};

class JobWorker : public QObject, private ProgressSink {
    Q_OBJECT
public:
    using Job = std::function<void(ProgressSink&, JobWorker&)>;
    static constexpr std::chrono::milliseconds kThrottle{100};

    explicit JobWorker(QObject* parent = nullptr);
    ~JobWorker() override; // waits for a running job

    // Runs `job` on a new thread. The caller has already reset the stop
    // flag and marked the worker busy.
    void start(Job job);
    bool isRunning() const { return thread_ && thread_->isRunning(); }
    // Blocks until the job has ended (exit, tests).
    void wait();

    // From the job's thread: a volume was confirmed (delivered in order with
    // the progress updates).
    void reportVolume(const VolumeInfo& volume, quint32 index);

Q_SIGNALS:
    void progressed(const dorvak::JobProgress& progress);
    void volumeFound(const QString& name, quint32 index);
    // The job has returned; delivered after its last progress update.
    void finished();

private:
    void phase(Phase phase) override;
    void scanPosition(std::uint64_t scanned, std::uint64_t total) override;
    void percent(unsigned value) override;
    void currentSector(std::uint64_t sector) override;
    void foldersFound(std::uint32_t count) override;
    void filesFound(std::uint32_t count) override;
    void lastName(std::string_view name) override;
    void volumesFound(std::uint32_t count) override;
    void flush(bool force);

    std::unique_ptr<QThread> thread_;
    std::mutex mutex_;
    JobProgress pending_;
    bool scanning_ = false; // a scan position has been passed on since the last phase
    std::chrono::steady_clock::time_point lastFlush_{};
};

} // namespace dorvak

Q_DECLARE_METATYPE(dorvak::JobProgress)
