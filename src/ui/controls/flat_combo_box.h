// FlatComboBox: a combo box drawn flat: a one-pixel frame round the client
// area and the drop-down button drawn as a push button (pushed while the list
// is open). Frame and button take highlight-derived colors while the mouse
// is over the box or it has the focus. An editable box's line edit passes its
// focus loss and mouse movement on so the hovered state stays right.
#pragma once

#include <QComboBox>

namespace dorvak {

class FlatComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit FlatComboBox(QWidget* parent = nullptr);

    bool isHovered() const { return hovered_; }
    bool isDropped() const { return dropped_; }
    void showPopup() override;
    void hidePopup() override;
    // The frame color for the current state.
    QColor frameColor() const;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    void focusOutEvent(QFocusEvent*) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void childEvent(QChildEvent* e) override;

private:
    void hookLineEdit();
    QRect buttonRect() const;
    bool active() const { return hovered_ || hasFocus() || dropped_; }

    bool hovered_ = false;
    bool dropped_ = false;
};

} // namespace dorvak
