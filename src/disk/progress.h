#pragma once
// Progress of a long job (search, mount, copy-out), reported as events. A
// front end subscribes by overriding what it shows; the defaults ignore
// everything, so a job can run with no listener. Events come from the job's
// own thread: a GUI forwards them to its thread through queued signals.

#include <cstdint>
#include <string>
#include <string_view>

namespace dorvak {

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void status(const std::string& /*text*/) {}
    virtual void percent(unsigned /*value*/) {}
    virtual void currentSector(std::uint64_t /*sector*/) {}
    virtual void foldersFound(std::uint32_t /*count*/) {}
    virtual void filesFound(std::uint32_t /*count*/) {}
    virtual void lastName(std::string_view /*name*/) {}
    virtual void volumesFound(std::uint32_t /*count*/) {}
    // The tree walk: internal nodes and leaves read so far, and internal
    // nodes found but not read yet. The walk goes level by level, so once it
    // reaches the nodes above the leaves, internal / (internal + queued) is
    // the share of the tree done.
    virtual void nodesRead(std::uint64_t /*internal*/, std::uint64_t /*leaves*/,
                           std::uint64_t /*queued*/) {}
};

// Shared by every job that has no listener.
inline ProgressSink& nullProgress() {
    static ProgressSink sink;
    return sink;
}

} // namespace dorvak
