#include "ui/msgbox/markup_message_box_p.h"
#include "ui/msgbox/remembered_answers.h"

#include "ui/controls/window_message.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QScreen>
#include <QStyle>
#include <QUrl>

namespace dorvak {

using namespace mb;

namespace {

MarkupMessageBox::SoundPlayer& soundPlayer() {
    static MarkupMessageBox::SoundPlayer player = [](quint32) { QApplication::beep(); };
    return player;
}

MarkupMessageBox::HelpOpener& helpOpener() {
    static MarkupMessageBox::HelpOpener opener = [](const QString& file, int) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    };
    return opener;
}

QImage iconImage(quint32 iconType, const MessageBoxParams& params) {
    QStyle::StandardPixmap which;
    switch (iconType) {
    case kIconError:
        which = QStyle::SP_MessageBoxCritical;
        break;
    case kIconQuestion:
        which = QStyle::SP_MessageBoxQuestion;
        break;
    case kIconExclamation:
        which = QStyle::SP_MessageBoxWarning;
        break;
    case kIconInformation:
        which = QStyle::SP_MessageBoxInformation;
        break;
    case kIconUser: {
        const QString module =
            params.iconModule.isEmpty() ? QStringLiteral(":/icons") : params.iconModule;
        const QString path = params.userIcon.isId()
                                 ? QStringLiteral("%1/%2.png").arg(module).arg(params.userIcon.id())
                                 : params.userIcon.text();
        return path.isEmpty() ? QImage() : QImage(path);
    }
    default:
        return {};
    }
    const int side = QApplication::style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    return QApplication::style()->standardIcon(which).pixmap(side, side).toImage();
}

} // namespace

QString formatLabel(const QString& pattern, const QString& s, int d) {
    QString out;
    bool sDone = false, dDone = false;
    for (int i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == QLatin1Char('%') && i + 1 < pattern.size()) {
            const QChar c = pattern[i + 1];
            if (c == QLatin1Char('%')) {
                out += c;
                ++i;
                continue;
            }
            if (c == QLatin1Char('s') && !sDone) {
                out += s;
                sDone = true;
                ++i;
                continue;
            }
            if (c == QLatin1Char('d') && !dDone) {
                out += QString::number(d);
                dDone = true;
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

void openMessageBoxHelp(const QString& file, int context) {
    helpOpener()(file, context);
}

void playMessageBoxSound(quint32 iconType) {
    soundPlayer()(iconType);
}

void MarkupMessageBox::setSoundPlayer(SoundPlayer player) {
    soundPlayer() = player ? std::move(player) : [](quint32) { QApplication::beep(); };
}

void MarkupMessageBox::setHelpOpener(HelpOpener opener) {
    if (opener) helpOpener() = std::move(opener);
}

MarkupMessageBox::MarkupMessageBox(const MessageBoxParams& params, QWidget* parent)
    : QDialog(parent), params_(params), style_(params.style) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(QApplication::font("QMessageBox"));
    setMouseTracking(true);
    const bool module = !(style_ & kNoStringModule);
    caption_ = resolveText(params_.caption, params_.stringModule, module);
    setWindowTitle(caption_);
    const QString custom = resolveText(params_.customButtons, params_.stringModule, module);
    for (const QString& line : custom.split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty()) customLines_ << QString(line).remove(QLatin1Char('\r'));
    const bool more = !resolveText(params_.moreText, params_.stringModule, module).isEmpty();
    row_ = buttonRowFor(style_, customLines_,
                        params_.reportMessage != 0 && params_.owner != nullptr, more);
    prepareTexts();
    createButtons();
    layoutBox();
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &MarkupMessageBox::tick);
}

MarkupMessageBox::~MarkupMessageBox() {
    if (iconHandle_) MarkupRenderer::releaseImageHandle(iconHandle_);
}

void MarkupMessageBox::prepareTexts() {
    const bool module = !(style_ & kNoStringModule);
    auto makeArea = [&](const QString& text, const AreaStyle& style) {
        auto area = std::make_unique<TextArea>();
        area->renderer = std::make_unique<MarkupRenderer>();
        area->renderer->SetHoverNotify([this](int, qintptr) { update(); }, kHoverMessage);
        area->renderer->setCursorWidget(this);
        area->textSize = area->renderer->Prepare(this, text);
        area->style = style;
        return area;
    };
    QString message = resolveText(params_.messageText, params_.stringModule, module);
    if (style_ & kRightAlign) message = QStringLiteral("<right>%1</right>").arg(message);
    const QImage icon = iconImage(style_ & kIconMask, params_);
    if (!icon.isNull()) {
        iconHandle_ = MarkupRenderer::registerImageHandle(icon);
        message = QStringLiteral("<table cellpadding=%1><tr><td width=%2><icon handle=0x%3></td>"
                                 "<td>%4</td></tr></table>")
                      .arg(kIconPadding)
                      .arg(icon.width())
                      .arg(QString::number(iconHandle_, 16).toUpper())
                      .arg(message);
    }
    if (params_.headerHeight != 0)
        header_ = makeArea(resolveText(params_.headerText, params_.stringModule, module),
                           params_.headerStyle);
    message_ = makeArea(message, params_.windowStyle);
    const QString more = resolveText(params_.moreText, params_.stringModule, module);
    if (!more.isEmpty()) more_ = makeArea(more, params_.moreStyle);
}

QString MarkupMessageBox::labelFor(int id) const {
    if (id >= IdCustom1 && id <= IdCustom4) {
        if (auto it = params_.customLabels.find(id); it != params_.customLabels.end())
            return it->second;
        return customLines_.value(id - IdCustom1);
    }
    return buttonLabel(id, params_, style_);
}

QString MarkupMessageBox::countdownLabel(int id, int seconds) const {
    return formatLabel(QStringLiteral("%s = %d"), labelFor(id), seconds);
}

QPushButton* MarkupMessageBox::button(int id) const {
    for (size_t i = 0; i < row_.ids.size(); ++i)
        if (row_.ids[i] == id) return buttons_[i];
    return nullptr;
}

void MarkupMessageBox::createButtons() {
    for (int id : row_.ids) {
        auto* b = new QPushButton(labelFor(id), this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, id] { press(id); });
        buttons_.push_back(b);
    }
    const size_t index = (style_ >> 8) & 0xF;
    defaultId_ = row_.ids[index < row_.ids.size() ? index : 0];
    if (style_ & kRememberBox) {
        QString label =
            resolveText(params_.rememberLabel, params_.stringModule, !(style_ & kNoStringModule));
        if (label.isEmpty()) label = buttonLabel(kLabelCheckBox, params_, style_);
        check_ = new QCheckBox(label, this);
        check_->setChecked(style_ & kRememberChecked);
    }

    inTimeout_ = params_.timeoutSeconds > 0;
    inDisable_ = !inTimeout_ && params_.disableSeconds > 0;
    counter_ = inTimeout_ ? params_.timeoutSeconds : inDisable_ ? params_.disableSeconds : 0;
    QPushButton* def = button(defaultId_);
    if (inDisable_ && params_.countdownInTitle) {
        for (QPushButton* b : buttons_)
            b->setEnabled(false);
        setWindowTitle(
            formatLabel(buttonLabel(kLabelTitleCountdown, params_, style_), caption_, counter_));
    } else if (inDisable_ || inTimeout_) {
        def->setText(countdownLabel(defaultId_, counter_));
        def->setEnabled(!inDisable_);
    }
    if (!inDisable_) def->setDefault(true);
    updateCloseAllowed();
}

void MarkupMessageBox::updateCloseAllowed() {
    closeAllowed_ =
        row_.cancelAllowed && !(inDisable_ && (params_.countdownInTitle || defaultId_ == IdCancel));
}

int MarkupMessageBox::separatorCaptionWidth(const AreaStyle& style) const {
    const QString caption =
        resolveText(style.caption, params_.stringModule, !(style_ & kNoStringModule));
    return caption.isEmpty() ? 0 : fontMetrics().horizontalAdvance(caption) + 2 * kIconPadding;
}

void MarkupMessageBox::layoutBox() {
    int width = 0;
    if (header_) {
        headerHeight_ = qMax(params_.headerHeight, header_->textSize.height() + 2 * kMargin);
        width = header_->textSize.width() + 2 * kMargin + separatorCaptionWidth(header_->style);
    }
    messageHeight_ = message_->textSize.height() + 2 * kMargin;
    width = qMax(width, message_->textSize.width() + 2 * kMargin);
    if (more_) {
        moreHeight_ = more_->textSize.height() + 2 * kMargin;
        width = qMax(width, more_->textSize.width() + 2 * kMargin);
    }
    // Buttons share one size: the widest and tallest label scaled by 80/45
    // and 23/13, never under 80 x 23.
    const QFontMetrics fm = fontMetrics();
    int labelW = 0, labelH = 0;
    auto measure = [&](const QString& s) {
        labelW = qMax(labelW, fm.horizontalAdvance(QString(s).remove(QLatin1Char('&'))));
        labelH = qMax(labelH, fm.height());
    };
    for (int id : row_.ids)
        measure(labelFor(id));
    if (more_) measure(labelFor(IdMoreExpanded));
    buttonSize_ =
        QSize(qMax(kMinButtonWidth, labelW * 80 / 45), qMax(kMinButtonHeight, labelH * 23 / 13));
    const AreaStyle& controls = params_.controlsStyle;
    buttonAreaHeight_ =
        (controls.effect != -1 || controls.separator != 0) ? 2 * kButtonGap : kButtonGap;
    if (check_) {
        buttonAreaHeight_ += kCheckSize + kButtonGap;
        width = qMax(width, fm.horizontalAdvance(check_->text()) + 2 * kCheckLeft + 20);
    }
    buttonAreaHeight_ += buttonSize_.height();
    const int n = int(row_.ids.size());
    width = qMax(width, kButtonGap + n * (kButtonGap + buttonSize_.width()));
    width = qMax(width, separatorCaptionWidth(controls));
    // A window manager elides a title wider than its window: room for the
    // whole caption (bold, as title bars draw it), the icon and the frame's
    // buttons.
    QFont titleFont = font();
    titleFont.setBold(true);
    width = qMax(width, QFontMetrics(titleFont).horizontalAdvance(caption_) + kTitleChrome);
    collapsedHeight_ = headerHeight_ + messageHeight_ + buttonAreaHeight_;
    setFixedSize(width, collapsedHeight_ + (expanded_ ? moreHeight_ : 0));
    placeButtons();
}

void MarkupMessageBox::placeButtons() {
    const int n = int(buttons_.size());
    const bool checkBelow = check_ && (style_ & kRememberBelow);
    const QSize bs = buttonSize_;
    const int top =
        collapsedHeight_ - kBottomMargin - bs.height() - (checkBelow ? kCheckSize + kButtonGap : 0);
    const int rowWidth = n * bs.width() + (n - 1) * kButtonGap;
    int x = kButtonGap;
    if (params_.buttonAlignment == 1)
        x = width() - kButtonGap - rowWidth;
    else if (params_.buttonAlignment != 0)
        x = (width() - rowWidth) / 2;
    for (QPushButton* b : buttons_) {
        b->setGeometry(x, top, bs.width(), bs.height());
        x += bs.width() + kButtonGap;
    }
    if (check_) {
        const int boxTop = checkBelow
                               ? collapsedHeight_ - kBottomMargin - kCheckSize
                               : collapsedHeight_ - (2 * kButtonGap + bs.height()) - kCheckSize;
        const QSize hint = check_->sizeHint();
        check_->setGeometry(kCheckLeft, boxTop + (kCheckSize - hint.height()) / 2,
                            qMin(hint.width(), width() - kCheckLeft), hint.height());
    }
}

QRect MarkupMessageBox::areaRect(int area) const {
    switch (area) {
    case HeaderArea:
        return header_ ? QRect(0, 0, width(), headerHeight_) : QRect();
    case MessageArea:
        return QRect(0, headerHeight_, width(), messageHeight_);
    case ButtonArea:
        return QRect(0, headerHeight_ + messageHeight_, width(), buttonAreaHeight_);
    case MoreArea:
        return more_ && expanded_ ? QRect(0, collapsedHeight_, width(), moreHeight_) : QRect();
    default:
        return {};
    }
}

int MarkupMessageBox::run() {
    if (style_ & kTopmost) setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const QWidget* over = parentWidget() ? parentWidget()->window() : nullptr;
    const QRect frame =
        over ? over->frameGeometry() : (screen() ? screen()->availableGeometry() : QRect());
    if (frame.isValid()) move(frame.center() - QPoint(width() / 2, height() / 2));
    if (counter_ > 0) timer_.start();
    if (style_ & kForeground)
        QTimer::singleShot(0, this, [this] {
            raise();
            activateWindow();
        });
    exec();
    return result_;
}

} // namespace dorvak
