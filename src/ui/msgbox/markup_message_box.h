// MarkupMessageBox: the modal message box whose caption, header, message and
// "More" text are markup. It lays itself out by the box's own geometry rules
// (margins 14, button gaps 11, buttons at least 80 x 23), paints its areas
// with background effects and separators, counts down a timeout or a
// disable period once a second, and remembers "Do not show again" answers.
//
// ShowMarkupMessageBox() is the entry point; the class is public so hosts
// and tests can drive a box (tick(), press()) without a real second passing.
#pragma once

#include "ui/msgbox/button_sets.h"
#include "ui/msgbox/message_box_params.h"

#include <QCheckBox>
#include <QDialog>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace dorvak {

class MarkupRenderer;

class MarkupMessageBox : public QDialog {
    Q_OBJECT
public:
    // Geometry constants, pixels.
    static constexpr int kMargin = 14;
    static constexpr int kButtonGap = 11;
    static constexpr int kBottomMargin = 11;
    static constexpr int kIconPadding = 5; // also the separator inset and caption gap
    static constexpr int kCheckLeft = 10;
    static constexpr int kCheckSize = 13;
    static constexpr int kMinButtonWidth = 80;
    static constexpr int kMinButtonHeight = 23;
    static constexpr int kTitleChrome = 120; // title bar icon, buttons and margins
    static constexpr int kHoverMessage = 0x8064;

    // Called once per box before anything else happens, with the icon type
    // (style & 0xF0); the default beeps. Replaceable for hosts and tests.
    using SoundPlayer = std::function<void(quint32 iconType)>;
    static void setSoundPlayer(SoundPlayer player);
    // Opens the help file; the default asks the desktop to open it.
    using HelpOpener = std::function<void(const QString& file, int context)>;
    static void setHelpOpener(HelpOpener opener);

    // `params` must already carry owner, caption, message text and style.
    explicit MarkupMessageBox(const MessageBoxParams& params, QWidget* parent = nullptr);
    ~MarkupMessageBox() override;

    // Runs the box modally and returns its result (see ShowMarkupMessageBox).
    int run();

    // One second of the countdown.
    void tick();
    // Acts as if the button with this identifier were pressed.
    void press(int id);

    // State, for hosts and tests.
    const std::vector<int>& buttonIds() const { return row_.ids; }
    QPushButton* button(int id) const;
    QCheckBox* checkBox() const { return check_; }
    bool cancelAllowed() const { return row_.cancelAllowed; }
    bool closeAllowed() const { return closeAllowed_; }
    bool isExpanded() const { return expanded_; }
    int countdown() const { return counter_; }
    int defaultButtonId() const { return defaultId_; }
    QString caption() const { return caption_; }
    int result() const { return result_; }
    QRect areaRect(int area) const; // 0 header, 1 message, 2 buttons, 3 more
    enum Area { HeaderArea = 0, MessageArea = 1, ButtonArea = 2, MoreArea = 3 };

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void reject() override;

private:
    struct TextArea;
    void prepareTexts();
    void createButtons();
    void layoutBox();
    void placeButtons();
    void startCountdown();
    void endDisablePeriod();
    void updateCloseAllowed();
    void toggleMore();
    void finish(int id);
    QString labelFor(int id) const;
    QString countdownLabel(int id, int seconds) const;
    void paintBackground(QPainter& p);
    void paintArea(QPainter& p, const QRect& r, const AreaStyle& style, bool separatorAtTop);
    void paintSeparator(QPainter& p, const AreaStyle& style, int y, int left, int right);
    void drawTexts(QPainter& p);
    int separatorCaptionWidth(const AreaStyle& style) const;

    MessageBoxParams params_;
    quint32 style_;
    QString caption_;
    ButtonRow row_;
    QStringList customLines_;
    std::vector<QPushButton*> buttons_;
    QCheckBox* check_ = nullptr;
    std::unique_ptr<TextArea> header_, message_, more_; // absent: null
    QSize buttonSize_;
    int headerHeight_ = 0, messageHeight_ = 0, buttonAreaHeight_ = 0, moreHeight_ = 0;
    int collapsedHeight_ = 0;
    int iconHandle_ = 0;
    int defaultId_ = 0;
    int counter_ = 0;
    bool inTimeout_ = false, inDisable_ = false;
    bool closeAllowed_ = true;
    bool expanded_ = false;
    int result_ = 2;
    QTimer timer_;
    QPixmap background_;
};

// Shows a markup message box and returns the identifier of the button that
// closed it (with 0x2000000 when that style bit is set and the check box was
// checked), 2 for Escape or close where cancel is allowed, or a remembered
// answer without showing anything. `params` (optional) is copied; owner,
// caption, message text and style are then taken from the arguments.
int ShowMarkupMessageBox(QWidget* owner, const TextRef& text, const TextRef& caption, quint32 style,
                         const MessageBoxParams* params = nullptr);

} // namespace dorvak
