#include "disk/container_source.h"

#include <dlfcn.h>
#include <libewf.h>
#include <libqcow.h>
#include <libvhdi.h>
#include <libvmdk.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <mutex>
#include <vector>

namespace dorvak {
namespace {

// Each library is loaded the first time an image of its kind is opened:
// most runs read raw images and devices, and linking all four (and what they
// pull in) would cost every command a few milliseconds of start-up. The
// headers give the functions' types; `dlsym` gives their addresses.
class SharedLibrary {
public:
    explicit SharedLibrary(const char* soname)
        : soname_(soname), handle_(dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {
        if (!handle_) why_ = dlerror() ? dlerror() : "cannot be loaded";
    }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    template <typename F> void resolve(F& function, const char* name) {
        if (!handle_) return;
        function = reinterpret_cast<F>(dlsym(handle_, name));
        if (!function && why_.empty()) why_ = std::string(soname_) + " has no " + name;
    }
    // Empty when every function asked for was found.
    const std::string& why() const { return why_; }

private:
    const char* soname_;
    void* handle_;
    std::string why_;
};

#define DORVAK_DECLARE(function) decltype(&::function) function = nullptr
#define DORVAK_RESOLVE(function) library.resolve(api.function, #function)
#define DORVAK_LIBRARY_API(Name, soname, FUNCTIONS)                                                \
    struct Name {                                                                                  \
        FUNCTIONS(DORVAK_DECLARE)                                                                  \
        std::string why;                                                                           \
    };                                                                                             \
    const Name& load##Name() {                                                                     \
        static const Name loaded = [] {                                                            \
            static SharedLibrary library(soname);                                                  \
            Name api;                                                                              \
            FUNCTIONS(DORVAK_RESOLVE)                                                              \
            api.why = library.why();                                                               \
            return api;                                                                            \
        }();                                                                                       \
        return loaded;                                                                             \
    }

#define QCOW_FUNCTIONS(X)                                                                          \
    X(libqcow_file_initialize);                                                                    \
    X(libqcow_file_open);                                                                          \
    X(libqcow_file_get_media_size);                                                                \
    X(libqcow_file_read_buffer_at_offset);                                                         \
    X(libqcow_file_close);                                                                         \
    X(libqcow_file_free);                                                                          \
    X(libqcow_error_backtrace_sprint);                                                             \
    X(libqcow_error_free);
#define VHDI_FUNCTIONS(X)                                                                          \
    X(libvhdi_file_initialize);                                                                    \
    X(libvhdi_file_open);                                                                          \
    X(libvhdi_file_get_media_size);                                                                \
    X(libvhdi_file_read_buffer_at_offset);                                                         \
    X(libvhdi_file_close);                                                                         \
    X(libvhdi_file_free);                                                                          \
    X(libvhdi_error_backtrace_sprint);                                                             \
    X(libvhdi_error_free);
#define VMDK_FUNCTIONS(X)                                                                          \
    X(libvmdk_handle_initialize);                                                                  \
    X(libvmdk_handle_open);                                                                        \
    X(libvmdk_handle_open_extent_data_files);                                                      \
    X(libvmdk_handle_get_media_size);                                                              \
    X(libvmdk_handle_read_buffer_at_offset);                                                       \
    X(libvmdk_handle_close);                                                                       \
    X(libvmdk_handle_free);                                                                        \
    X(libvmdk_error_backtrace_sprint);                                                             \
    X(libvmdk_error_free);
#define EWF_FUNCTIONS(X)                                                                           \
    X(libewf_handle_initialize);                                                                   \
    X(libewf_glob);                                                                                \
    X(libewf_glob_free);                                                                           \
    X(libewf_handle_open);                                                                         \
    X(libewf_handle_segment_files_corrupted);                                                      \
    X(libewf_handle_get_media_size);                                                               \
    X(libewf_handle_read_random);                                                                  \
    X(libewf_handle_close);                                                                        \
    X(libewf_handle_free);                                                                         \
    X(libewf_error_backtrace_sprint);                                                              \
    X(libewf_error_free);

DORVAK_LIBRARY_API(QcowApi, "libqcow.so.1", QCOW_FUNCTIONS)
DORVAK_LIBRARY_API(VhdiApi, "libvhdi.so.1", VHDI_FUNCTIONS)
DORVAK_LIBRARY_API(VmdkApi, "libvmdk.so.1", VMDK_FUNCTIONS)
DORVAK_LIBRARY_API(EwfApi, "libewf.so.2", EWF_FUNCTIONS)

#undef DORVAK_DECLARE
#undef DORVAK_RESOLVE
#undef DORVAK_LIBRARY_API

// The four libraries share one shape (initialise, open, media size, read
// at an offset, close, free, error text); a traits struct per library
// adapts the names, and one source class does the rest.
template <typename Error>
std::string takeMessage(Error* error, int (*backtrace)(Error*, char*, size_t),
                        void (*release)(Error**)) {
    if (!error) return "unknown error";
    std::array<char, 2048> text{};
    backtrace(error, text.data(), text.size());
    release(&error);
    // The backtrace has one "function: what failed." line per call, the
    // innermost first: that one names the cause ("unsupported format
    // version: 4"), the outer ones only repeat that the open failed.
    std::string message(text.data());
    message = message.substr(0, message.find('\n'));
    if (message.rfind("lib", 0) == 0 && message.find(": ") != std::string::npos)
        message.erase(0, message.find(": ") + 2);
    while (!message.empty() && (message.back() == '.' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "unknown error" : message;
}

struct QcowLib {
    using Handle = libqcow_file_t;
    using Error = libqcow_error_t;
    static const QcowApi& api() { return loadQcowApi(); }
    static int init(Handle** h, Error** e) { return api().libqcow_file_initialize(h, e); }
    static int open(Handle* h, const std::string& path, Error** e) {
        return api().libqcow_file_open(h, path.c_str(), LIBQCOW_OPEN_READ, e);
    }
    static int mediaSize(Handle* h, size64_t* size, Error** e) {
        return api().libqcow_file_get_media_size(h, size, e);
    }
    static ssize_t read(Handle* h, void* buffer, size_t length, off64_t offset, Error** e) {
        return api().libqcow_file_read_buffer_at_offset(h, buffer, length, offset, e);
    }
    static void close(Handle* h) { api().libqcow_file_close(h, nullptr); }
    static void free(Handle** h) { api().libqcow_file_free(h, nullptr); }
    static std::string message(Error* e) {
        return takeMessage(e, api().libqcow_error_backtrace_sprint, api().libqcow_error_free);
    }
};

struct VhdiLib {
    using Handle = libvhdi_file_t;
    using Error = libvhdi_error_t;
    static const VhdiApi& api() { return loadVhdiApi(); }
    static int init(Handle** h, Error** e) { return api().libvhdi_file_initialize(h, e); }
    static int open(Handle* h, const std::string& path, Error** e) {
        return api().libvhdi_file_open(h, path.c_str(), LIBVHDI_OPEN_READ, e);
    }
    static int mediaSize(Handle* h, size64_t* size, Error** e) {
        return api().libvhdi_file_get_media_size(h, size, e);
    }
    static ssize_t read(Handle* h, void* buffer, size_t length, off64_t offset, Error** e) {
        return api().libvhdi_file_read_buffer_at_offset(h, buffer, length, offset, e);
    }
    static void close(Handle* h) { api().libvhdi_file_close(h, nullptr); }
    static void free(Handle** h) { api().libvhdi_file_free(h, nullptr); }
    static std::string message(Error* e) {
        return takeMessage(e, api().libvhdi_error_backtrace_sprint, api().libvhdi_error_free);
    }
};

struct VmdkLib {
    using Handle = libvmdk_handle_t;
    using Error = libvmdk_error_t;
    static const VmdkApi& api() { return loadVmdkApi(); }
    static int init(Handle** h, Error** e) { return api().libvmdk_handle_initialize(h, e); }
    // The descriptor names the extent files, which are opened beside it.
    static int open(Handle* h, const std::string& path, Error** e) {
        if (api().libvmdk_handle_open(h, path.c_str(), LIBVMDK_OPEN_READ, e) != 1) return -1;
        return api().libvmdk_handle_open_extent_data_files(h, e);
    }
    static int mediaSize(Handle* h, size64_t* size, Error** e) {
        return api().libvmdk_handle_get_media_size(h, size, e);
    }
    static ssize_t read(Handle* h, void* buffer, size_t length, off64_t offset, Error** e) {
        return api().libvmdk_handle_read_buffer_at_offset(h, buffer, length, offset, e);
    }
    static void close(Handle* h) { api().libvmdk_handle_close(h, nullptr); }
    static void free(Handle** h) { api().libvmdk_handle_free(h, nullptr); }
    static std::string message(Error* e) {
        return takeMessage(e, api().libvmdk_error_backtrace_sprint, api().libvmdk_error_free);
    }
};

// An E01 set may span segment files (.E01, .E02...): they are found by the
// library's own naming rules when the name ends like a first segment.
bool isFirstSegmentName(const std::string& path) {
    std::string tail = path.substr(path.size() >= 4 ? path.size() - 4 : 0);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return tail == ".e01" || tail == ".l01" || tail == ".s01";
}

struct EwfLib {
    using Handle = libewf_handle_t;
    using Error = libewf_error_t;
    static const EwfApi& api() { return loadEwfApi(); }
    static int init(Handle** h, Error** e) { return api().libewf_handle_initialize(h, e); }
    static int open(Handle* h, const std::string& path, Error** e) {
        char** globbed = nullptr;
        int count = 0;
        if (isFirstSegmentName(path) &&
            api().libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &globbed, &count,
                              nullptr) == 1 &&
            count > 0) {
            const int result = api().libewf_handle_open(h, globbed, count, LIBEWF_OPEN_READ, e);
            api().libewf_glob_free(globbed, count, nullptr);
            return result == 1 ? complete(h, e) : result;
        }
        std::vector<char> name(path.begin(), path.end());
        name.push_back('\0');
        char* names[] = {name.data()};
        if (api().libewf_handle_open(h, names, 1, LIBEWF_OPEN_READ, e) != 1) return -1;
        return complete(h, e);
    }
    // The library opens a cut-short set (an acquisition that never ended)
    // and reads what it holds; here that is a damaged container.
    static int complete(Handle* h, Error** e) {
        if (api().libewf_handle_segment_files_corrupted(h, e) != 1) return 1;
        api().libewf_handle_close(h, nullptr);
        return -1;
    }
    static int mediaSize(Handle* h, size64_t* size, Error** e) {
        return api().libewf_handle_get_media_size(h, size, e);
    }
    static ssize_t read(Handle* h, void* buffer, size_t length, off64_t offset, Error** e) {
        return api().libewf_handle_read_random(h, buffer, length, offset, e);
    }
    static void close(Handle* h) { api().libewf_handle_close(h, nullptr); }
    static void free(Handle** h) { api().libewf_handle_free(h, nullptr); }
    // Only the check of `complete` fails without an error of the library's.
    static std::string message(Error* e) {
        if (!e) return "its segment files are incomplete or corrupted";
        return takeMessage(e, api().libewf_error_backtrace_sprint, api().libewf_error_free);
    }
};

template <typename Lib> class ContainerSource final : public SectorSource {
public:
    ContainerSource(typename Lib::Handle* handle, std::uint64_t size, ImageFormat format)
        : handle_(handle), size_(size), format_(format) {}
    ContainerSource(const ContainerSource&) = delete;
    ContainerSource& operator=(const ContainerSource&) = delete;
    ~ContainerSource() override {
        Lib::close(handle_);
        Lib::free(&handle_);
    }

    IoResult<> readAt(std::uint64_t offset, void* buffer, std::size_t length) override {
        if (offset > size_ || length > size_ - offset) return pastTheEnd(); // not data
        // A handle keeps its own position and caches: one read at a time.
        std::lock_guard lock(mutex_);
        typename Lib::Error* error = nullptr;
        const ssize_t got = Lib::read(handle_, buffer, length, off64_t(offset), &error);
        // The library's message (taking it frees the error) says what failed
        // underneath: the file's I/O or the container's damage.
        std::string why = error ? Lib::message(error) : std::string();
        if (got >= 0 && std::size_t(got) == length) return {};
        return IoError{EIO, why.empty() ? "a short read" : std::move(why)};
    }
    std::uint64_t sizeBytes() const override { return size_; }
    const char* formatName() const override { return imageFormatName(format_); }

private:
    std::mutex mutex_;
    typename Lib::Handle* handle_;
    std::uint64_t size_;
    ImageFormat format_;
};

template <typename Lib>
IoResult<std::unique_ptr<SectorSource>> openWith(ImageFormat format, const std::string& path) {
    typename Lib::Handle* handle = nullptr;
    typename Lib::Error* failure = nullptr;
    const char* name = imageFormatName(format);
    if (const std::string& missing = Lib::api().why; !missing.empty())
        return IoError{0, "Cannot read " + path + ": the " + name +
                              " image library cannot be loaded (" + missing + ")"};
    auto fail = [&](const std::string& why) -> IoError {
        if (handle) Lib::free(&handle);
        return IoError{0, "Cannot read " + path + ": damaged " + name + " image (" + why + ")"};
    };
    if (Lib::init(&handle, &failure) != 1) return fail(Lib::message(failure));
    if (Lib::open(handle, path, &failure) != 1) return fail(Lib::message(failure));
    size64_t size = 0;
    if (Lib::mediaSize(handle, &size, &failure) != 1) {
        Lib::close(handle);
        return fail(Lib::message(failure));
    }
    if (size == 0) {
        Lib::close(handle);
        return fail("it holds no data");
    }
    return std::unique_ptr<SectorSource>(
        std::make_unique<ContainerSource<Lib>>(handle, std::uint64_t(size), format));
}

} // namespace

IoResult<std::unique_ptr<SectorSource>> openContainerSource(ImageFormat format,
                                                            const std::string& path) {
    switch (format) {
    case ImageFormat::Ewf:
        return openWith<EwfLib>(format, path);
    case ImageFormat::Qcow:
        return openWith<QcowLib>(format, path);
    case ImageFormat::Vhd:
    case ImageFormat::Vhdx:
        return openWith<VhdiLib>(format, path);
    case ImageFormat::Vmdk:
        return openWith<VmdkLib>(format, path);
    case ImageFormat::Raw:
        break;
    }
    return IoError{0, "Cannot read " + path + ": not a container image"};
}

IoResult<std::unique_ptr<SectorSource>> openSectorSource(const std::string& path) {
    auto opened = FileSectorSource::open(path);
    if (!opened) return opened.error();
    std::unique_ptr<FileSectorSource> file = std::move(*opened);
    // Containers are files; a block device is read as it stands.
    if (file->isBlockDevice()) return std::unique_ptr<SectorSource>(std::move(file));
    const std::uint64_t size = file->sizeBytes();
    std::array<std::uint8_t, 512> head{}, tail{};
    const std::size_t headLength = std::size_t(std::min<std::uint64_t>(size, head.size()));
    if (headLength == 0 || !file->readAt(0, head.data(), headLength))
        return std::unique_ptr<SectorSource>(std::move(file));
    Bytes tailBytes;
    if (size >= tail.size() && file->readAt(size - tail.size(), tail.data(), tail.size()))
        tailBytes = Bytes(tail);
    const ImageFormat format = detectImageFormat(Bytes(head.data(), headLength), tailBytes);
    if (format == ImageFormat::Raw) return std::unique_ptr<SectorSource>(std::move(file));
    file.reset();
    return openContainerSource(format, path);
}

} // namespace dorvak
