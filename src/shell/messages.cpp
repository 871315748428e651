#include "shell/messages.h"

#include "shell/wizard_state.h"
#include "ui/msgbox/markup_message_box.h"

#include <QApplication>
#include <QPointer>

namespace dorvak {
namespace {

QPointer<QWidget>& owner() {
    static QPointer<QWidget> w;
    return w;
}

// A box asked from a dialog stays over that dialog; else over the window.
QWidget* boxOwner() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return owner();
}

MessageHook& hook() {
    static MessageHook h;
    return h;
}

MessageBoxParams programStyle() {
    // Light yellow to white to light yellow, centred buttons, no separator.
    MessageBoxParams p;
    p.windowStyle.separator = 0;
    p.windowStyle.captionAlign = 2;
    p.windowStyle.effect = 12;
    p.windowStyle.start = QColor(0xF7, 0xFD, 0x86);
    p.windowStyle.middle = QColor(0xFF, 0xFF, 0xFF);
    p.windowStyle.end = QColor(0xF7, 0xFD, 0x86);
    p.buttonAlignment = 2;
    return p;
}

int show(const QString& text, MessageKind kind, bool yesNo) {
    if (hook()) return hook()({text, kind, yesNo, {}, {}});
    const MessageBoxParams params = programStyle();
    const int id = ShowMarkupMessageBox(boxOwner(), text, QString::fromLatin1(kAppCaption),
                                        messageBoxStyle(kind, yesNo), &params);
    return id == mb::IdYes ? 1 : 2;
}

} // namespace

MessageBoxParams programMessageParams(const MessageRequest& request) {
    MessageBoxParams p = programStyle();
    p.caption = TextRef(QString::fromLatin1(kAppCaption));
    p.messageText = request.text;
    p.style = messageBoxStyle(request.kind, request.yesNo);
    return p;
}

void setMessageOwner(QWidget* window) {
    owner() = window;
}

void setMessageHook(MessageHook h) {
    hook() = std::move(h);
}

quint32 messageBoxStyle(MessageKind kind, bool yesNo) {
    const quint32 buttons = yesNo ? 0x4 : 0x0; // Yes/No or OK
    switch (kind) {
    case MessageKind::Information:
        return buttons | mb::kIconInformation;
    case MessageKind::Error:
        return buttons | mb::kIconError;
    case MessageKind::Question:
        return buttons | mb::kIconQuestion;
    }
    return buttons;
}

int showDetails(const QString& text, const QString& more, const QStringList& buttons,
                MessageKind kind) {
    const MessageRequest request{text, kind, false, more, buttons};
    if (hook()) return hook()(request);
    MessageBoxParams params = programMessageParams(request);
    params.customButtons = buttons.join(QLatin1Char('\n'));
    if (!more.isEmpty()) params.moreText = more;
    const int id = ShowMarkupMessageBox(boxOwner(), text, QString::fromLatin1(kAppCaption),
                                        messageBoxStyle(kind, false), &params);
    return id >= mb::IdCustom1 && id <= mb::IdCustom4 ? id - mb::IdCustom1 + 1 : 0;
}

void ShowMessage(const QString& text, MessageKind kind) {
    show(text, kind, false);
}

int AskYesNo(const QString& text, MessageKind kind) {
    return show(text, kind, true) == 1 ? 1 : 2;
}

} // namespace dorvak
