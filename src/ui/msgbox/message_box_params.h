// The parameter record of the markup message box, its area styles, the style
// flags and the button identifiers.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <map>

namespace dorvak {

// A text given either literally or as the identifier of a string in the
// string module (identifiers are 1..0xFFFF; 0 and an empty text mean none).
class TextRef {
public:
    TextRef() = default;
    TextRef(const QString& text) : text_(text) {}
    TextRef(const char* text) : text_(QString::fromLatin1(text)) {}
    static TextRef fromId(int id) {
        TextRef t;
        t.id_ = (id > 0 && id <= 0xFFFF) ? id : 0;
        return t;
    }
    bool isId() const { return id_ != 0; }
    int id() const { return id_; }
    const QString& text() const { return text_; }
    bool isEmpty() const { return id_ == 0 && text_.isEmpty(); }

private:
    QString text_;
    int id_ = 0;
};

// How one area of the box (whole window, header, buttons, more) is drawn.
struct AreaStyle {
    int separator = 0;         // 0 none, 1 etched line, 2 black line, 3 white line
    int captionAlign = 0;      // 0 left, 1 right, 2 centred
    TextRef caption;           // separator caption
    int effect = -1;           // background effect number, -1 transparent
    QColor start, middle, end; // invalid: the button-face color
};

namespace mb {
// Style flags (the low 24 bits are those of the standard message box).
constexpr quint32 kButtonSetMask = 0x0000000F;
constexpr quint32 kIconMask = 0x000000F0;
constexpr quint32 kIconError = 0x10, kIconQuestion = 0x20, kIconExclamation = 0x30,
                  kIconInformation = 0x40, kIconUser = 0x80;
constexpr quint32 kDefaultButtonMask = 0x00000F00;
constexpr quint32 kHelpButton = 0x00004000;
constexpr quint32 kForeground = 0x00010000;
constexpr quint32 kTopmost = 0x00040000;
constexpr quint32 kRightAlign = 0x00080000;
constexpr quint32 kRememberBox = 0x01000000;
constexpr quint32 kRememberChecked = 0x02000000;
constexpr quint32 kRememberBelow = 0x04000000;
constexpr quint32 kYesToAll = 0x08000000;
constexpr quint32 kNoToAll = 0x10000000;
constexpr quint32 kNoStringModule = 0x20000000;
constexpr quint32 kNoSound = 0x40000000;

// Button identifiers (and results).
enum ButtonId : int {
    IdOk = 1,
    IdCancel = 2,
    IdAbort = 3,
    IdRetry = 4,
    IdIgnore = 5,
    IdYes = 6,
    IdNo = 7,
    IdHelp = 9,
    IdTryAgain = 10,
    IdContinue = 11,
    IdSkip = 14,
    IdSkipAll = 15,
    IdIgnoreAll = 16,
    IdYesToAll = 19,
    IdNoToAll = 20,
    IdReport = 21,
    IdCustom1 = 23,
    IdCustom2 = 24,
    IdCustom3 = 25,
    IdCustom4 = 26,
    IdMoreExpanded = 30,
    IdMoreCollapsed = 31,
};
// Label keys that are not buttons.
constexpr int kLabelCheckBox = 0x01000000;
constexpr int kLabelTitleCountdown = int(0x80000000u);
} // namespace mb

struct MessageBoxParams {
    QWidget* owner = nullptr; // none: the active window
    QString stringModule;     // folder of <id>.txt strings; empty: ":/strings"
    QString iconModule;       // folder of <id>.png icons; empty: ":/icons"
    TextRef caption;
    QString rememberName;
    QString rememberCompany;
    int rememberNumber = 0;
    quint32 reportMessage = 0;
    AreaStyle windowStyle;
    int headerHeight = 0; // 0: no header
    TextRef headerText;
    AreaStyle headerStyle;
    TextRef messageText;
    int buttonAlignment = 2; // 0 left, 1 right, 2 centred
    quint32 style = 0x30;
    AreaStyle controlsStyle;
    TextRef moreText;
    AreaStyle moreStyle;
    int timeoutSeconds = 0;
    int disableSeconds = 0;
    bool countdownInTitle = false;
    int helpContext = 0;
    TextRef userIcon;      // identifier in the icon module, or a file path
    TextRef customButtons; // lines become buttons 23..26
    TextRef rememberLabel; // empty: "Do not show again"
    std::map<int, QString> customLabels;
};

} // namespace dorvak
