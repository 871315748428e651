#pragma once
// RecoverySettings: the four values that govern how files are copied out of a
// mounted volume. One record lives for the whole run (nothing saves it); the
// settings dialog edits it and the copy-out and the sector reader read it.

#include <algorithm>
#include <cstdint>

namespace dorvak {

enum class DuplicatePolicy : std::uint16_t { Rename = 1, Overwrite = 2, Skip = 3 };
enum class DeletedPolicy : std::uint16_t { Include = 1, OnlyDeleted = 2, Exclude = 3 };

struct RecoverySettings {
    std::uint32_t sectorsPerRead = 60;  // 1 to 100: sectors in one read request
    std::uint16_t duplicatePolicy = 1;  // 1 rename, 2 overwrite, 3 skip
    std::uint16_t deletedPolicy = 1;    // 1 include, 2 only deleted, 3 exclude
    std::uint16_t badSectorRetries = 3; // 1 to 10: tries per sector on the fallback

    // A value outside its range (a list left without a selection stores 0)
    // must never reach a read loop: 0 sectors per read would never advance.
    RecoverySettings sanitized() const {
        RecoverySettings s = *this;
        if (s.sectorsPerRead == 0) s.sectorsPerRead = 60;
        s.sectorsPerRead = std::min<std::uint32_t>(s.sectorsPerRead, 100);
        if (s.duplicatePolicy < 1 || s.duplicatePolicy > 3) s.duplicatePolicy = 1;
        if (s.deletedPolicy < 1 || s.deletedPolicy > 3) s.deletedPolicy = 1;
        if (s.badSectorRetries == 0) s.badSectorRetries = 3;
        s.badSectorRetries = std::min<std::uint16_t>(s.badSectorRetries, 10);
        return s;
    }
    DuplicatePolicy duplicates() const { return DuplicatePolicy(sanitized().duplicatePolicy); }
    DeletedPolicy deleted() const { return DeletedPolicy(sanitized().deletedPolicy); }
};

} // namespace dorvak
