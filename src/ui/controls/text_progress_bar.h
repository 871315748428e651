// TextProgressBar: a progress bar that prints its percentage (or its window
// text) across the bar in two colors, so the text stays readable on both
// sides of the boundary. The progress-control messages are methods; the
// message numbers are kept for sendMessage(), which workers reach through a
// queued or blocking call so that everything runs on the window thread.
#pragma once

#include <QColor>
#include <QWidget>

#include <optional>

namespace dorvak {

class TextProgressBar : public QWidget {
    Q_OBJECT
public:
    enum Message : quint32 {
        SetRange = 0x401,
        SetPos = 0x402,
        DeltaPos = 0x403,
        SetStep = 0x404,
        StepIt = 0x405,
        SetRange32 = 0x406,
        GetRange = 0x407,
        GetPos = 0x408,
        SetBarColor = 0x409,
        SetBkColor = 0x2001,
        SetTextColor = 0x464,
        ShowText = 0x465,
    };
    struct Range {
        int low = 0;
        int high = 100;
    };
    // The painted bar color while no color was set: RGB(0, 0, 144).
    static QColor defaultBarColor() { return QColor(0, 0, 144); }
    // Color arguments use 0x00BBGGRR; this value means "default".
    static constexpr quint32 kDefaultColor = 0xFF000000u;

    explicit TextProgressBar(QWidget* parent = nullptr);

    // Message 0x401: minimum in the low word, maximum in the high word of
    // `packed`. Returns the new range packed the same way.
    quint32 setRange(quint32 packed);
    // Message 0x406.
    quint32 setRange32(int low, int high);
    // Message 0x407: fills `out` when given; the minimum when wantLow, else
    // the maximum.
    int getRange(bool wantLow, Range* out = nullptr) const;
    // Message 0x402: returns the previous position; repaints only when the
    // bar's width in pixels changes.
    int setPos(int pos);
    int deltaPos(int delta) { return setPos(pos_ + delta); } // 0x403
    int setStep(int step);                                   // 0x404
    int stepIt() { return setPos(pos_ + step_); }            // 0x405
    int pos() const { return pos_; }                         // 0x408
    // 0x409, 0x2001, 0x464: each returns the previous value.
    quint32 setBarColor(quint32 colorRef);
    quint32 setBkColor(quint32 colorRef);
    quint32 setTextColor(quint32 colorRef);
    void setShowText(bool on); // 0x465
    bool showsText() const { return showText_; }
    // The window text replaces the percentage while it is not empty.
    void setText(const QString& text);
    QString text() const { return text_; }
    void setVertical(bool on);
    bool isVertical() const { return vertical_; }

    // Dispatches one of the messages above; answers 0 for unknown numbers.
    qintptr sendMessage(quint32 message, quintptr wParam, qintptr lParam);

    // The text drawn now: the window text, or "<percent>%" (truncated).
    QString displayText() const;
    // The filled length in pixels as last computed (-1 before the first).
    int barLength() const { return barLength_; }
    QSize sizeHint() const override { return QSize(200, 18); }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    double fraction() const;
    int computeBarLength() const;
    void refreshBar(bool force);
    QColor barColor() const;
    QColor backgroundColor() const;

    Range range_;
    int pos_ = 0;
    int step_ = 1;
    std::optional<QColor> bar_, background_, textColor_;
    bool showText_ = true;
    bool vertical_ = false;
    QString text_;
    int barLength_ = -1;
};

} // namespace dorvak
