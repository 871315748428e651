#pragma once
// The program's own dialogs: each paints its whole background with its skin
// bitmap, unscaled from the top-left corner (the default background where
// the bitmap does not reach or cannot be loaded). Also the recovery-mode
// dialog and the About box, which are built on it.

#include "reiserfs/catalog.h"

#include <QDialog>
#include <QImage>

class QRadioButton;

namespace dorvak {

class SkinnedDialog : public QDialog {
    Q_OBJECT
public:
    SkinnedDialog(int skinBitmap, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage skin_;
};

// "Select Mode Of Recovery": Normal or Extensive, on skin 232. Role 2 (the
// directory table choice) keeps its texts but nothing opens it.
class ModeDialog : public SkinnedDialog {
    Q_OBJECT
public:
    explicit ModeDialog(int role, QWidget* parent = nullptr);
    RecoveryMode mode() const { return mode_; }
    QRadioButton* normalButton() const { return normal_; }
    QRadioButton* extensiveButton() const { return extensive_; }

    void accept() override;

private:
    QRadioButton* normal_;
    QRadioButton* extensive_;
    RecoveryMode mode_ = RecoveryMode::Normal;
};

// About: the version line, the contacts and OK, on skin 247.
class AboutDialog : public SkinnedDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

} // namespace dorvak
