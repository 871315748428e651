#include "disk/image_format.h"

#include <cstring>
#include <string_view>

namespace dorvak {
namespace {

bool startsWith(Bytes b, std::string_view magic) {
    return b.size() >= magic.size() && std::memcmp(b.data(), magic.data(), magic.size()) == 0;
}

} // namespace

const char* imageFormatName(ImageFormat format) {
    switch (format) {
    case ImageFormat::Ewf:
        return "E01";
    case ImageFormat::Qcow:
        return "qcow2";
    case ImageFormat::Vhd:
        return "VHD";
    case ImageFormat::Vhdx:
        return "VHDX";
    case ImageFormat::Vmdk:
        return "VMDK";
    case ImageFormat::Raw:
        break;
    }
    return "raw";
}

ImageFormat detectImageFormat(Bytes head, Bytes tail) {
    using namespace std::string_view_literals;
    if (startsWith(head, "EVF\x09\x0d\x0a\xff\x00"sv)) return ImageFormat::Ewf;
    if (startsWith(head, "QFI\xfb"sv)) return ImageFormat::Qcow;
    if (startsWith(head, "vhdxfile"sv)) return ImageFormat::Vhdx;
    if (startsWith(head, "conectix"sv) || startsWith(tail, "conectix"sv)) return ImageFormat::Vhd;
    if (startsWith(head, "KDMV"sv) || startsWith(head, "COWD"sv) ||
        startsWith(head, "# Disk DescriptorFile"sv))
        return ImageFormat::Vmdk;
    return ImageFormat::Raw;
}

} // namespace dorvak
