#include "shell/job_worker.h"

namespace dorvak {

JobWorker::JobWorker(QObject* parent) : QObject(parent) {
    qRegisterMetaType<dorvak::JobProgress>();
}

JobWorker::~JobWorker() {
    wait();
}

void JobWorker::start(Job job) {
    wait();
    {
        std::lock_guard lock(mutex_);
        pending_ = JobProgress{};
        lastFlush_ = {};
        scanning_ = false;
    }
    thread_.reset(QThread::create([this, job = std::move(job)] {
        job(*this, *this);
        flush(true);
        Q_EMIT finished();
    }));
    thread_->start();
}

void JobWorker::wait() {
    if (thread_) thread_->wait();
}

void JobWorker::reportVolume(const VolumeInfo& volume, quint32 index) {
    flush(true);
    Q_EMIT volumeFound(QString::fromStdString(volume.name), index);
}

void JobWorker::flush(bool force) {
    JobProgress out;
    {
        std::lock_guard lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        if (pending_.fields == 0 || (!force && now - lastFlush_ < kThrottle)) return;
        lastFlush_ = now;
        out = std::move(pending_);
        pending_ = JobProgress{};
    }
    Q_EMIT progressed(out);
}

void JobWorker::phase(Phase phase) {
    // A phase is passed on at once, after what came before it, so that the
    // status line shows every phase in order however short.
    flush(true);
    {
        std::lock_guard lock(mutex_);
        pending_.fields |= JobProgress::NewPhase;
        pending_.phase = phase;
        scanning_ = false;
    }
    flush(true);
}

void JobWorker::scanPosition(std::uint64_t scanned, std::uint64_t total) {
    // The first position starts the scan's status line, at once; the ones
    // after it are throttled like the counters.
    bool first;
    {
        std::lock_guard lock(mutex_);
        first = !scanning_;
        scanning_ = true;
    }
    if (first) flush(true);
    {
        std::lock_guard lock(mutex_);
        pending_.fields |= JobProgress::ScanPosition;
        pending_.scanned = scanned;
        pending_.scanTotal = total;
    }
    flush(first);
}

void JobWorker::percent(unsigned value) {
    {
        std::lock_guard lock(mutex_);
        pending_.fields |= JobProgress::Percent;
        pending_.percent = value;
    }
    flush(false);
}

void JobWorker::currentSector(std::uint64_t sector) {
    {
        std::lock_guard lock(mutex_);
        pending_.fields |= JobProgress::Sector;
        pending_.sector = sector;
    }
    flush(false);
}

void JobWorker::foldersFound(std::uint32_t count) {
    {
        std::lock_guard lock(mutex_);
        pending_.fields |= JobProgress::Folders;
        pending_.folders = count;
    }
    flush(false);
}

void JobWorker::filesFound(std::uint32_t count) {
    {
        std::lock_guard lock(mutex_);
        pending_.fields |= JobProgress::Files;
        pending_.files = count;
    }
    flush(false);
}

void JobWorker::lastName(std::string_view name) {
    {
        std::lock_guard lock(mutex_);
        pending_.fields |= JobProgress::LastName;
        pending_.lastName = QString::fromLocal8Bit(name.data(), qsizetype(name.size()));
    }
    flush(false);
}

void JobWorker::volumesFound(std::uint32_t count) {
    {
        std::lock_guard lock(mutex_);
        pending_.fields |= JobProgress::Volumes;
        pending_.volumes = count;
    }
    flush(false);
}

} // namespace dorvak
