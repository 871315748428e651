#pragma once
// TempFile: one recovered file on its way to the destination. It is created
// under a temporary name in the destination folder, exclusively and without
// following links (O_CREAT | O_EXCL | O_NOFOLLOW through openat), filled,
// given its size and time, and only then moved to its final name; a file that
// is abandoned, fails or is stopped is removed, so a final name never holds
// half a file. Writes that continue each other are gathered into large
// requests; ranges never written stay holes.

#include "browse/file_contents.h"
#include "disk/unique_fd.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dorvak {

class TempFile final : public ContentSink {
public:
    // Creates a new temporary file in the folder `dirFd`; nullptr with
    // `error` set to the errno on failure.
    static std::unique_ptr<TempFile> create(int dirFd, int& error);
    // A symbolic link to `target` (verbatim) under a temporary name, to be
    // placed like a file; nothing is written through it.
    static std::unique_ptr<TempFile> createSymlink(int dirFd, const std::string& target,
                                                   int& error);
    // A hard link to `fromPath` (relative to `fromDirFd`, never followed
    // when it is a link) under a temporary name in `dirFd`.
    static std::unique_ptr<TempFile> createHardLink(int fromDirFd, const std::string& fromPath,
                                                    int dirFd, int& error);
    ~TempFile() override;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool write(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override;
    bool proceed(std::uint64_t bytesHandled) override {
        return onProgress ? onProgress(bytesHandled) : true;
    }
    std::function<bool(std::uint64_t)> onProgress;

    // Writes what is gathered, sets the size (a hole up to it when the end
    // was never written) and the modification time, and closes the file.
    bool finish(std::uint64_t size, std::int64_t modifiedTime);
    // Moves the finished file to `name` in its folder. Without `replace` an
    // existing name is never touched (the call fails with EEXIST); with it, a
    // file or link of that name is replaced (a link is replaced, not followed).
    bool place(const std::string& name, bool replace);

    int error() const { return error_; }
    const std::string& tempName() const { return name_; }

private:
    TempFile(int dirFd, UniqueFd fd, std::string name)
        : dirFd_(dirFd), fd_(std::move(fd)), name_(std::move(name)) {}
    bool flush();
    bool fail(int err);

    int dirFd_;
    UniqueFd fd_;
    std::string name_;
    bool placed_ = false;
    int error_ = 0;
    std::vector<std::uint8_t> pending_;
    std::uint64_t pendingOffset_ = 0;
};

} // namespace dorvak
