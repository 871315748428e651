// ImageButton: a push button, check box or drop-down menu button showing an
// image and a text. It has images for the normal and the hovered state (a
// grey one for disabled and a darkened one for pressed are derived), text and
// background colors per state, and on a click it can toggle (check-box
// mode), drop a QmMenu below itself and post the chosen command to its
// command window, or open a target with the desktop.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QPointer>

#include <functional>
#include <optional>

namespace dorvak {

class QmMenu;

class ImageButton : public QAbstractButton {
    Q_OBJECT
public:
    enum State { Normal = 0, Hovered = 1, Pressed = 2, Disabled = 3 };
    // Runs the menu at a screen point and returns the chosen command (0 for
    // none); replaceable so hosts and tests need not run a modal menu.
    using MenuRunner = std::function<int(QmMenu& menu, const QPoint& globalPos)>;
    // Plays the click sound; the default beeps, as Qt here has no audio.
    using SoundPlayer = std::function<void(const QString& sound)>;

    explicit ImageButton(QWidget* parent = nullptr);

    void setImages(const QImage& normal, const QImage& hovered = QImage());
    void setImageResources(int normal, int hovered = 0);
    void setColors(State state, const QColor& text, const QColor& background = QColor());
    // The menu dropped on a click and the object that receives its command
    // as a WindowMessageEvent (kCommandMessage, command, 0). `notify`, when
    // given, is sent a WindowMessageEvent (kMenuNotifyMessage) first.
    void setDropMenu(QmMenu* menu, QObject* commandWindow, QObject* notify = nullptr);
    void setTarget(const QString& target) { target_ = target; }
    void setSound(const QString& sound) { sound_ = sound; }
    void setToolTipText(const QString& text) { setToolTip(text); }
    void setCheckBoxMode(bool on) { setCheckable(on); }
    void setFocusRectangle(bool on) {
        focusRect_ = on;
        update();
    }
    void setMenuRunner(MenuRunner runner) { runner_ = std::move(runner); }
    void setSoundPlayer(SoundPlayer player) { player_ = std::move(player); }

    static constexpr quint32 kMenuNotifyMessage = 0x0400 + 0x101;

    bool isHovered() const { return hovered_; }
    State state() const;
    QImage currentImage() const;
    QSize sizeHint() const override;

signals:
    // The command chosen from the drop menu.
    void menuCommand(int command);

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    void onClicked();

    QImage normal_, hovered_img_, grey_, dark_;
    std::optional<QColor> text_[4], background_[4];
    QmMenu* menu_ = nullptr;
    QPointer<QObject> commandWindow_, notify_;
    QString target_, sound_;
    bool hovered_ = false;
    bool focusRect_ = true;
    MenuRunner runner_;
    SoundPlayer player_;
};

} // namespace dorvak
