#pragma once
// Disk image containers, told apart by their own signatures (never by the
// file's name): a file that carries none is a raw image, read as it stands.
//
//   E01  "EVF\x09\x0d\x0a\xff\x00" at byte 0 (EnCase / Expert Witness)
//   qcow "QFI\xfb" at byte 0 (QEMU qcow and qcow2)
//   VHDX "vhdxfile" at byte 0
//   VHD  "conectix" at byte 0 (dynamic and differencing images keep a copy
//        of their footer there) or in the last 512 bytes (fixed images)
//   VMDK "KDMV" at byte 0 (sparse extent), "COWD" (ESX sparse), or a text
//        descriptor starting "# Disk DescriptorFile"

#include "disk/bytes.h"

namespace dorvak {

enum class ImageFormat { Raw, Ewf, Qcow, Vhd, Vhdx, Vmdk };

// How the format is shown: "raw", "E01", "qcow2", "VHD", "VHDX", "VMDK".
const char* imageFormatName(ImageFormat format);

// `head`: the file's first bytes (512 are enough); `tail`: its last 512
// bytes (empty when the file is shorter).
ImageFormat detectImageFormat(Bytes head, Bytes tail);

} // namespace dorvak
