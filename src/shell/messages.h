#pragma once
// The program's own messages and questions: every one goes through the
// markup message box with the application's caption, an icon by kind and the
// light yellow window style. A host (the screenshot tool, tests) may take
// the messages over with a hook instead of a modal box.

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace dorvak {

enum class MessageKind { Information = 1, Error = 2, Question = 3 };

struct MessageRequest {
    QString text;
    MessageKind kind;
    bool yesNo;          // Yes/No question rather than an OK message
    QString more;        // the "More" part, if any
    QStringList buttons; // buttons of its own instead of OK or Yes/No
};

// Answers 1 for Yes, 2 for No (ignored for OK messages). Set to take over
// every message; empty shows the real box.
using MessageHook = std::function<int(const MessageRequest&)>;
void setMessageHook(MessageHook hook);

// The OK message dialog.
// The window the boxes are centred on and take their font from (none: the
// screen's centre).
void setMessageOwner(QWidget* window);
void ShowMessage(const QString& text, MessageKind kind);
// The Yes/No dialog: 1 for Yes, 2 for No.
int AskYesNo(const QString& text, MessageKind kind);

struct MessageBoxParams;
// The parameters every program message is shown with (caption, text and
// style set for `request`).
MessageBoxParams programMessageParams(const MessageRequest& request);

// A message with a "More" part (markup) and buttons of its own: the 1-based
// index of the button pressed.
int showDetails(const QString& text, const QString& more, const QStringList& buttons,
                MessageKind kind);

// The markup message box style flags for a kind (icon, and Yes/No or OK).
quint32 messageBoxStyle(MessageKind kind, bool yesNo);

} // namespace dorvak
