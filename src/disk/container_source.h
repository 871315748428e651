#pragma once
// Sector sources over disk image containers (E01, qcow2, VHD, VHDX, VMDK),
// read through the libraries made for each format and only ever opened for
// reading. `openSectorSource` is the one door for a path the user names:
// it tells the container by content and falls back to the raw file.

#include "disk/image_format.h"
#include "disk/sector_source.h"

#include <memory>
#include <string>

namespace dorvak {

// Opens `path` as a container of `format`; the error says why its library
// cannot ("Cannot read PATH: damaged qcow2 image (...)").
IoResult<std::unique_ptr<SectorSource>> openContainerSource(ImageFormat format,
                                                            const std::string& path);

// Opens a device, a raw image or a container image, read-only. The error's
// code is errno when the file itself could not be opened.
IoResult<std::unique_ptr<SectorSource>> openSectorSource(const std::string& path);

} // namespace dorvak
