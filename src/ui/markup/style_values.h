// The enumerated values of the markup's style: alignments, text transform
// and background mode.
#pragma once

namespace dorvak {

// Horizontal alignment of lines and cells; Justify spreads a wrapped line's
// spaces over the box width.
enum class HAlign { Left, Center, Right, Justify };
enum class VAlign { Top, Middle, Bottom, Baseline };
enum class TextTransform { None, Uppercase, Lowercase, Capitalize };
// Whether a run paints its background color behind the text.
enum class BackgroundMode { Transparent = 1, Opaque = 2 };

// What a link does when clicked: open its target (a URL or file) or send
// its target to the host as a message.
enum class LinkKind { None, OpenTarget, SendMessage };

} // namespace dorvak
