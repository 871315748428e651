// image: copy a source, or one volume of it, into an image file under a
// GNU ddrescue map (DiskImager does the work).
#include "cli/commands.h"

#include "cli/progress_bar.h"
#include "disk/imaging.h"

#include <iostream>
#include <optional>
#include <sys/stat.h>

namespace dorvak::cli {
namespace {

// The progress bar shows the bytes settled (read or given up) of the total.
class ImagingBar : public ImagingSink {
public:
    ImagingBar(ProgressBar& bar, const StopOnSignal& signal) : bar_(bar), signal_(signal) {}
    void progress(const ImagingStatus& s) override {
        signal_.renew();
        if (!pass_ || s.pass != *pass_) {
            pass_ = s.pass;
            bar_.setStatus(phaseText(s.pass));
            bar_.beginPhase();
        }
        bar_.setCounts("bad areas " + std::to_string(s.badAreas) + ", bad sectors " +
                       std::to_string(s.badBytes / 512));
        bar_.update(s.rescued + s.badBytes, s.size, s.rescued);
    }

private:
    ProgressBar& bar_;
    const StopOnSignal& signal_;
    std::optional<Phase> pass_;
};

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

int cmdImage(const ImageOptions& options) {
    SectorReader reader;
    if (auto opened = reader.OpenSelectedDisk(options.source); !opened) {
        std::cerr << opened.error().text << "\n";
        return kExitFatal;
    }
    for (const std::string* other : {&options.image, &options.map})
        if (sameFile(options.source, *other)) {
            std::cerr << "Cannot write " << *other << ": it is the source itself\n";
            return kExitFatal;
        }
    ImagingOptions imaging;
    imaging.retries = options.retries;
    imaging.size = reader.totalSectors() * kSectorSize;
    if (options.volume) {
        VolumeChoice choice;
        choice.index = *options.volume;
        const auto volume = chooseVolume(reader, choice);
        if (!volume) return kExitFatal;
        imaging.begin = volume->startSector * kSectorSize;
        // A volume cut short by the end of the source is copied as far as
        // it goes.
        const std::uint64_t left = imaging.begin < imaging.size ? imaging.size - imaging.begin : 0;
        imaging.size = std::min(volume->sectorCount * kSectorSize, left);
    }
    if (imaging.size == 0) {
        std::cerr << "Cannot read " << options.source << ": no sectors to copy\n";
        return kExitFatal;
    }

    StopOnSignal signal;
    std::atomic<bool> stop{false};
    ProgressBar bar(options.progress);
    ImagingBar sink(bar, signal);
    signal.watch(&stop);
    DiskImager imager(*reader.source(), imaging, stop, sink);
    const ImagingResult result = imager.run(options.image, options.map);
    signal.watch(nullptr);
    bar.finish();
    if (!result.ok()) std::cerr << result.outcome.error().text << "\n";
    if (!result.ok() && !result.resumed && result.status.requests == 0) return kExitFatal;
    const ImagingStatus& s = result.status;
    std::cout << "Bytes copied: " << s.rescued << " of " << s.size << "\n"
              << "Bad sector(s): " << s.badBytes / kSectorSize << "\n"
              << "Bad area(s): " << s.badAreas << "\n";
    if (s.untried > 0) std::cout << "Not read yet: " << s.untried << " bytes\n";
    if (result.stopped) std::cout << "Stopped: run the same command again to resume\n";
    if (options.progress.stats)
        std::cerr << "{\"requests\":" << s.requests << ",\"readErrors\":" << s.readErrors << "}\n";
    if (!result.ok()) return kExitFatal;
    return signal.exitStatus(s.badBytes > 0 ? kExitPartial : kExitOk);
}

} // namespace dorvak::cli
