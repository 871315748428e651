// HoverButton: a push button drawn from a bitmap strip of two equal frames,
// normal (left) and pressed (right). While the mouse is over it the button is
// "hot": it shows the optional hot strip and the link cursor. A 100 ms timer
// watches the cursor, because a fast exit does not always deliver a leave
// event while the mouse is captured.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QTimer>

namespace dorvak {

class HoverButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kMaxToolTip = 260;
    static constexpr int kHoverCheckMs = 100;

    explicit HoverButton(QWidget* parent = nullptr);

    // The strip shown normally and, optionally, the one shown while hot.
    // A null image draws nothing.
    void setBitmap(const QImage& strip, const QImage& hotStrip = QImage());
    // Loads :/bitmaps/<normal> and :/bitmaps/<hot> (0: none).
    void setBitmapResource(int normal, int hot = 0);
    // Keeps at most 260 characters.
    void setToolTipText(const QString& text);

    bool isHovered() const { return hovered_; }
    QSize frameSize() const { return frame_; }
    QSize sizeHint() const override;

    // One tick of the hover timer with the cursor at `globalPos`: clears the
    // hot state when the cursor has left the button.
    void hoverTick(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    void setHovered(bool on);

    QImage strip_;
    QImage hotStrip_;
    QSize frame_;
    bool hovered_ = false;
    QTimer hoverTimer_;
};

} // namespace dorvak
