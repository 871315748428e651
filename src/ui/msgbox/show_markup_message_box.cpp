// ShowMarkupMessageBox: the one entry point of the markup message box.
#include "ui/msgbox/markup_message_box_p.h"
#include "ui/msgbox/remembered_answers.h"

#include <QApplication>

namespace dorvak {

using namespace mb;

int ShowMarkupMessageBox(QWidget* owner, const TextRef& text, const TextRef& caption, quint32 style,
                         const MessageBoxParams* params) {
    MessageBoxParams p = params ? *params : MessageBoxParams();
    p.owner = owner;
    p.messageText = text;
    p.style = style;
    if (!p.owner) p.owner = QApplication::activeModalWidget();
    if (!p.owner) p.owner = QApplication::activeWindow();

    QString title = resolveText(caption, p.stringModule, !(style & kNoStringModule));
    if (title.isEmpty() && p.owner) title = p.owner->window()->windowTitle().left(260);
    if (title.isEmpty()) title = QStringLiteral("Error");
    p.caption = TextRef(title);

    if ((style & kRememberBox) && !p.rememberName.isEmpty()) {
        if (const quint32 answer =
                readRememberedAnswer(p.rememberCompany, p.rememberName, p.rememberNumber))
            return int(answer);
    }
    if (!(style & kNoSound)) playMessageBoxSound(style & kIconMask);

    MarkupMessageBox box(p, p.owner);
    return box.run();
}

} // namespace dorvak
