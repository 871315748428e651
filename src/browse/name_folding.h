#pragma once
// Destinations that take two names for one: vfat, exFAT, NTFS in its
// Windows-names mode, SMB shares, ext4 folders marked case-insensitive and
// many FUSE file systems fold letter case ("photo.JPG" is "PHOTO.jpg"), and
// the FAT family drops trailing dots and spaces ("notes." is "notes"). The
// copy-out asks once per destination folder whether it folds, and compares
// the names it writes there as the folder does, so that two entries whose
// names fold equal both arrive rather than one replacing the other.

#include <cstddef>
#include <string>
#include <string_view>

namespace dorvak {

// A name as a case-folding folder compares it: ASCII and Latin-1 letters in
// lower case (UTF-8), trailing dots and spaces dropped. Other scripts keep
// their case here; a folder that folds them too still refuses to replace a
// name the run wrote (the file is placed without replacing).
std::string foldedName(std::string_view name);

// Whether folder `dirFd` folds letter case, asked by creating a probe file
// there, looking its name up with the case of every letter swapped and
// removing it again. False when the probe cannot be made.
bool probeCaseFolding(int dirFd);

// The same without writing anything (for a plan): by the file system's
// type, or the folder's case-insensitive flag on ext4 and f2fs.
bool knownCaseFolding(int dirFd);

// The hash and equality of an unordered container of names in one folder.
struct FolderNameKey {
    bool folds = false;
    std::size_t operator()(std::string_view s) const {
        return folds ? std::hash<std::string>()(foldedName(s)) : std::hash<std::string_view>()(s);
    }
    bool operator()(std::string_view a, std::string_view b) const {
        return folds ? foldedName(a) == foldedName(b) : a == b;
    }
};

} // namespace dorvak
