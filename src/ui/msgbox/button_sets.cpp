#include "ui/msgbox/button_sets.h"

#include <QFile>

namespace dorvak {

using namespace mb;

ButtonRow buttonRowFor(quint32 style, const QStringList& customLines, bool report, bool more) {
    ButtonRow row;
    if (!customLines.isEmpty()) {
        for (int i = 0; i < customLines.size() && i < 4; ++i)
            row.ids.push_back(IdCustom1 + i);
        row.cancelAllowed = false;
    } else {
        const bool yesAll = style & kYesToAll, noAll = style & kNoToAll;
        auto yesNo = [&] {
            row.ids.push_back(IdYes);
            if (yesAll) row.ids.push_back(IdYesToAll);
            row.ids.push_back(IdNo);
            if (noAll) row.ids.push_back(IdNoToAll);
        };
        switch (style & kButtonSetMask) {
        case 1:
            row = {{IdOk, IdCancel}, true};
            break;
        case 2:
            row = {{IdAbort, IdRetry, IdIgnore}, false};
            break;
        case 3:
            yesNo();
            row.ids.push_back(IdCancel);
            row.cancelAllowed = true;
            break;
        case 4:
            yesNo();
            row.cancelAllowed = false;
            break;
        case 5:
            row = {{IdRetry, IdCancel}, true};
            break;
        case 6:
            row = {{IdCancel, IdRetry, IdContinue}, true};
            break;
        case 7:
            row = {{IdContinue, IdAbort}, false};
            break;
        case 8:
            row = {{IdSkip, IdSkipAll, IdCancel}, true};
            break;
        case 9:
            row = {{IdIgnore, IdIgnoreAll, IdCancel}, true};
            break;
        default:
            row = {{IdOk}, true};
            break; // set 0 (and unknown sets)
        }
    }
    if (style & kHelpButton) row.ids.push_back(IdHelp);
    if (report) row.ids.push_back(IdReport);
    if (more) row.ids.push_back(IdMoreCollapsed);
    return row;
}

namespace {

struct LabelEntry {
    int id;
    const char* label;
    int stringId;
};

constexpr LabelEntry kLabels[] = {
    {IdOk, "OK", 9001},
    {IdCancel, "Cancel", 9002},
    {IdAbort, "Abort", 9005},
    {IdRetry, "Retry", 9004},
    {IdIgnore, "Ignore", 9003},
    {IdYes, "Yes", 9007},
    {IdNo, "No", 9008},
    {IdHelp, "Help", 9006},
    {IdTryAgain, "Try again", 9015},
    {IdContinue, "Continue", 9009},
    {IdSkip, "Skip", 9018},
    {IdSkipAll, "Skip all", 9019},
    {IdIgnoreAll, "Ignore all", 9017},
    {IdYesToAll, "Yes to all", 9013},
    {IdNoToAll, "No to all", 9014},
    {IdReport, "Report", 9016},
    {IdMoreExpanded, "<< More", 9011},
    {IdMoreCollapsed, "More >>", 9010},
    {kLabelCheckBox, "Do not show again", 9012},
    {kLabelTitleCountdown, "%s (%d seconds remaining)", 9020},
};

const LabelEntry* findLabel(int id) {
    for (const LabelEntry& e : kLabels)
        if (e.id == id) return &e;
    return nullptr;
}

} // namespace

QString builtInLabel(int id) {
    const LabelEntry* e = findLabel(id);
    return e ? QString::fromLatin1(e->label) : QString();
}

int labelStringId(int id) {
    const LabelEntry* e = findLabel(id);
    return e ? e->stringId : 0;
}

QString loadModuleString(const QString& module, int id) {
    if (id <= 0 || id > 0xFFFF) return {};
    QFile f(QStringLiteral("%1/%2.txt")
                .arg(module.isEmpty() ? QStringLiteral(":/strings") : module)
                .arg(id));
    if (!f.open(QIODevice::ReadOnly)) return {};
    // Strings are 8-bit text in the program's code page; keep every byte.
    return QString::fromLatin1(f.read(64 * 1024));
}

QString resolveText(const TextRef& ref, const QString& module, bool allowModule) {
    if (!ref.isId()) return ref.text();
    return allowModule ? loadModuleString(module, ref.id()) : QString();
}

QString buttonLabel(int id, const MessageBoxParams& params, quint32 style) {
    if (auto it = params.customLabels.find(id); it != params.customLabels.end()) return it->second;
    if (!(style & kNoStringModule)) {
        const QString s = loadModuleString(params.stringModule, labelStringId(id));
        if (!s.isEmpty()) return s;
    }
    return builtInLabel(id);
}

} // namespace dorvak
