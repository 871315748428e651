#pragma once
// NameDecoder: how names from the volume are read as text. The catalog keeps
// every name as the bytes on disk; old volumes hold them in the encoding of
// their time (KOI8-R, CP1251, Shift-JIS, GB18030...), which the bytes do not
// say. A name that is valid UTF-8 is taken as it is; any other name is
// decoded through the chosen encoding (any name iconv knows). The default
// decoder (no encoding chosen) shows such a name as Latin-1, which never
// fails, but converts nothing: what it writes keeps the raw bytes.
//
// guessNameEncoding() proposes an encoding for a volume from its names that
// are not UTF-8: the candidate under which most of them decode to plausible
// text.
//
// One iconv handle per decoder, used under a lock: a decoder may be shared by
// the window's thread and a copy-out worker.

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvak {

class Catalog;

bool isValidUtf8(std::string_view bytes);
// Each byte as the code point of the same value.
std::string latin1ToUtf8(std::string_view bytes);

class NameDecoder {
public:
    // The default decoder: UTF-8, then Latin-1 for display; converts nothing.
    NameDecoder() = default;
    // A decoder for `encoding` (as iconv names it: "KOI8-R", "CP1251",
    // "SHIFT_JIS"); nothing, with the reason in `error`, for a name iconv
    // does not know.
    static std::optional<NameDecoder> open(const std::string& encoding,
                                           std::string* error = nullptr);
    NameDecoder(NameDecoder&&) noexcept = default;
    NameDecoder& operator=(NameDecoder&&) noexcept = default;

    // The encoding chosen, "" for the default decoder.
    const std::string& encoding() const { return encoding_; }
    bool chosen() const { return handle_ != nullptr; }

    // The name as UTF-8 under the chosen encoding: itself when it is valid
    // UTF-8, its decoding otherwise; nothing when it does not decode (or no
    // encoding is chosen and it is not UTF-8).
    std::optional<std::string> decode(std::string_view raw) const;
    // The name as the files written out and the listings of a chosen
    // encoding give it: decode(), or the raw bytes when it does not decode.
    std::string converted(std::string_view raw) const;
    // A path of names ("/A/B/c", names escaped as appendPathName() does),
    // each name converted. Only the bytes between separators are decoded,
    // so one name never runs into the next.
    std::string convertedPath(std::string_view path) const;
    // Always text, for display: decode(), or Latin-1 when it does not decode.
    std::string display(std::string_view raw) const;

private:
    struct Closer {
        void operator()(void* h) const;
    };
    std::string encoding_;
    std::unique_ptr<void, Closer> handle_; // an iconv_t from `encoding_` to UTF-8
    std::unique_ptr<std::mutex> lock_ = std::make_unique<std::mutex>();
};

struct EncodingGuess {
    std::string encoding;      // as NameDecoder::open takes it
    std::size_t plausible = 0; // names that decode to plausible text under it
    std::size_t sampled = 0;   // names that are not UTF-8, of those looked at
};

// The encodings the guess weighs, most likely first (the first wins a tie).
const std::vector<std::string>& candidateNameEncodings();
// The candidate under which most of `names` that are not UTF-8 decode to
// plausible text (letters of one script, few control or symbol characters,
// letter case as words have it). Nothing when every name is UTF-8 or no
// candidate reads even one of them plausibly.
std::optional<EncodingGuess> guessNameEncoding(const std::vector<std::string_view>& names);
// The same over a catalog's folders and files.
std::optional<EncodingGuess> guessNameEncoding(const Catalog& catalog);
// Whether any name of the catalog is not valid UTF-8.
bool hasNonUtf8Names(const Catalog& catalog);

} // namespace dorvak
