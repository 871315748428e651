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

// Opens `path` as a container of `format`; nullptr with `error` set
// ("Cannot read PATH: damaged qcow2 image (...)") when its library cannot.
std::unique_ptr<SectorSource> openContainerSource(ImageFormat format, const std::string& path,
                                                  std::string* error);

// Opens a device, a raw image or a container image, read-only. `errorCode`
// gets errno when the file itself could not be opened.
std::unique_ptr<SectorSource> openSectorSource(const std::string& path, std::string* error,
                                               int* errorCode = nullptr);

} // namespace dorvak
