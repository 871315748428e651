// A window message as a Qt event: the message number and its two parameters.
// Controls use it where the program posts or sends messages between windows
// (a menu command to its command window, the message box's Report message,
// the tooltip's notification before showing).
#pragma once

#include <QEvent>
#include <QtGlobal>

namespace dorvak {

constexpr quint32 kCommandMessage = 0x0111; // wParam: the command identifier

class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(quint32 message, quintptr wParam, qintptr lParam)
        : QEvent(eventType()), message_(message), wParam_(wParam), lParam_(lParam) {}

    static QEvent::Type eventType() {
        static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
        return type;
    }

    quint32 message() const { return message_; }
    quintptr wParam() const { return wParam_; }
    qintptr lParam() const { return lParam_; }
    // Set by a receiver that answers a sent message.
    qintptr result = 0;

private:
    quint32 message_;
    quintptr wParam_;
    qintptr lParam_;
};

} // namespace dorvak
