// The button sets of the markup message box, the labels of its buttons and
// the lookup of texts given by identifier.
#pragma once

#include "ui/msgbox/message_box_params.h"

#include <QStringList>

#include <vector>

namespace dorvak {

struct ButtonRow {
    std::vector<int> ids;       // left to right
    bool cancelAllowed = false; // Escape and the close command give 2
};

// The row for `style`, with custom buttons (their non-empty lines, at most
// four, identifiers 23..26) in place of the set, then Help, Report and More.
ButtonRow buttonRowFor(quint32 style, const QStringList& customLines, bool report, bool more);

// The built-in label and the string identifier of a button (or of the check
// box and the title countdown keys).
QString builtInLabel(int id);
int labelStringId(int id);

// A string of a string module: "<module>/<id>.txt" (":/strings" when the
// module is empty), as 8-bit text; empty when it cannot be loaded.
QString loadModuleString(const QString& module, int id);

// Resolves a text reference: an identifier is loaded from the module unless
// `allowModule` is false (then it is empty).
QString resolveText(const TextRef& ref, const QString& module, bool allowModule);

// A button's label: the caller's map first, the string module next (unless
// style 0x20000000), the built-in table last.
QString buttonLabel(int id, const MessageBoxParams& params, quint32 style);

} // namespace dorvak
