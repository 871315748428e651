#pragma once
// Names written at the destination. A name comes from a possibly hostile
// disk, so it is turned into one path component that can neither leave the
// destination folder nor be refused by the local file system:
//
//   "/" -> "%2F"   NUL -> "%00"   "%" -> "%25"
//   "." -> "%2E"   ".." -> "%2E%2E"   "" (empty) -> "%"
//
// Every other byte is kept as it is. The scheme is reversible (originalName)
// because "%" itself is always escaped. A name that grows past NAME_MAX (255
// bytes) is shortened and marked "%~" followed by eight hex digits of a hash
// of the whole name, keeping its extension; such a name cannot be reversed,
// and the copy-out lists it among the renamed files with its original name.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dorvak {

inline constexpr std::size_t kNameMax = 255;

// The component written for a raw name from the catalog.
std::string safeName(std::string_view raw);
// The raw name back from a safe name; nothing for a shortened name or a name
// that is not of this scheme.
std::optional<std::string> originalName(const std::string& safe);
// For a destination that refuses what safeName keeps (vfat, exFAT, NTFS and
// CIFS refuse ': ? * " < > | \\', control bytes, bytes that are not UTF-8 and
// a trailing dot or space): each such byte is escaped "%XX" too, and the name
// is shortened as above to at most `maxBytes`. Still reversible unless
// shortened.
std::string portableName(std::string_view raw, std::size_t maxBytes = kNameMax);
// Length of the valid UTF-8 sequence that starts at s[i] (1 to 4), or 0 when
// the byte there does not start one (overlong forms and surrogates are not
// UTF-8).
std::size_t utf8Length(std::string_view s, std::size_t i);
// The n-th alternative of a safe name for the rename policy: "name (n).ext",
// shortened (never inside an escape) so that it stays within NAME_MAX.
std::string numberedName(const std::string& safe, unsigned n);

} // namespace dorvak
