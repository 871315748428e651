#include "shell/skinned_dialog.h"

#include "shell/main_window.h"
#include "shell/wizard_state.h"
#include "ui/controls/resource_images.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace dorvak {

SkinnedDialog::SkinnedDialog(int skinBitmap, QWidget* parent)
    : QDialog(parent), skin_(loadBitmapResource(skinBitmap)) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void SkinnedDialog::paintEvent(QPaintEvent* e) {
    if (skin_.isNull()) {
        QDialog::paintEvent(e);
        return;
    }
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.drawImage(0, 0, skin_);
}

ModeDialog::ModeDialog(int role, QWidget* parent) : SkinnedDialog(232, parent) {
    const bool tableChoice = role == 2;
    setWindowTitle(tableChoice ? QStringLiteral("Select Directory Entry Table")
                               : QStringLiteral("Select Mode Of Recovery"));
    auto* text = new QLabel(
        tableChoice ? QStringLiteral("Directory Entry Tables Mis-Matched !! \n\nPlease select the "
                                     "copy to use")
                    : QStringLiteral("Please select the mode of recovery. \n\nSelect Extensive "
                                     "search for serious damages or when Normal search fails to "
                                     "recover all of your required data."),
        this);
    text->setWordWrap(true);
    normal_ = new QRadioButton(QStringLiteral("Normal Search ( Recommended )"), this);
    extensive_ = new QRadioButton(QStringLiteral("Extensive Search"), this);
    normal_->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 12);
    layout->setSpacing(8);
    layout->addWidget(text);
    layout->addSpacing(4);
    layout->addWidget(normal_);
    layout->addWidget(extensive_);
    layout->addStretch();
    layout->addWidget(buttons);
    setFixedSize(360, 210);
}

void ModeDialog::accept() {
    mode_ = normal_->isChecked() ? RecoveryMode::Normal : RecoveryMode::Extensive;
    SkinnedDialog::accept();
}

AboutDialog::AboutDialog(QWidget* parent) : SkinnedDialog(247, parent) {
    setWindowTitle(QStringLiteral("About ") + QString::fromLatin1(kAppCaption));
    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap::fromImage(loadIconResource(128)));
    auto* version = new QLabel(QString::fromLatin1(kAboutVersion), this);
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);
    auto* contacts =
        new QLabel(QStringLiteral("Recovers folders and files from ReiserFS 3 volumes.\n"
                                  "Home page: %1\nE-mail: support@dorvak-reiserfs.example.org")
                       .arg(QString::fromLatin1(kHomePageUrl)),
                   this);
    contacts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 14);
    layout->addWidget(icon);
    layout->addWidget(version);
    layout->addWidget(contacts);
    layout->addStretch();
    layout->addWidget(ok);
    setFixedSize(440, 240);
}

} // namespace dorvak
