// The markup message box driven off-screen: button sets, sounds, remembered
// answers, countdowns (ticked by hand), Escape, More and custom buttons.
#include "ui/controls/window_message.h"
#include "ui/msgbox/markup_message_box.h"
#include "ui/msgbox/remembered_answers.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

using namespace dorvak;
using namespace dorvak::mb;

namespace {

// Remembered answers go to a private settings folder, never the user's; the
// folder is removed when the program ends.
const bool kPrivateConfig = [] {
    static QTemporaryDir dir(QDir::tempPath() + "/dorvak-msgbox-test-XXXXXX");
    if (dir.isValid()) qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    return true;
}();

// Shows a box and runs `act` on it once it is up. A box that `act` leaves
// open is closed with -99 so a broken case fails instead of hanging.
int showWith(const std::function<void(MarkupMessageBox&)>& act, const TextRef& text, quint32 style,
             const MessageBoxParams* params = nullptr, bool* shown = nullptr,
             QWidget* owner = nullptr, const TextRef& caption = TextRef()) {
    QObject guard;
    QTimer::singleShot(0, &guard, [&] {
        auto* box = qobject_cast<MarkupMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (shown) *shown = true;
        act(*box);
        if (box->isVisible()) box->done(-99);
    });
    return ShowMarkupMessageBox(owner, text, caption, style, params);
}

void pressEscape(MarkupMessageBox& box) {
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&box, &esc);
}

struct SoundLog {
    std::vector<quint32> played;
    SoundLog() {
        MarkupMessageBox::setSoundPlayer([this](quint32 t) { played.push_back(t); });
    }
    ~SoundLog() { MarkupMessageBox::setSoundPlayer(nullptr); }
};

} // namespace

TEST(MessageBoxShow, ExclamationStyleWithoutRecordHasOneOkAndASound) {
    SoundLog sounds;
    std::vector<int> ids;
    QString title;
    const int result = showWith(
        [&](MarkupMessageBox& box) {
            ids = box.buttonIds();
            title = box.windowTitle();
            box.button(IdOk)->click();
        },
        "Disk not ready", 0x30);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ids, std::vector<int>{IdOk});
    EXPECT_EQ(title, "Error"); // no caption and no owner
    EXPECT_EQ(sounds.played, std::vector<quint32>{0x30});

    showWith([](MarkupMessageBox& box) { box.press(IdOk); }, "quiet", 0x40000030);
    EXPECT_EQ(sounds.played.size(), 1u); // 0x40000000: no sound
}

TEST(MessageBoxShow, EmptyCaptionTakesTheOwnersTitle) {
    SoundLog sounds;
    QWidget owner;
    owner.setWindowTitle("Tervolk Dorvak ReiserFS");
    QString title;
    showWith(
        [&](MarkupMessageBox& box) {
            title = box.windowTitle();
            box.press(IdOk);
        },
        "x", 0, nullptr, nullptr, &owner);
    EXPECT_EQ(title, "Tervolk Dorvak ReiserFS");
}

TEST(MessageBoxRemember, CheckedAnswerIsStoredAndComesBackWithoutShowing) {
    SoundLog sounds;
    MessageBoxParams params;
    params.rememberName = "Tip";
    params.rememberNumber = 3;
    bool shown = false;
    QString label;
    const int first = showWith(
        [&](MarkupMessageBox& box) {
            ASSERT_NE(box.checkBox(), nullptr);
            label = box.checkBox()->text();
            box.checkBox()->setChecked(true);
            box.press(IdOk);
        },
        "Tip of the day", kRememberBox, &params, &shown);
    EXPECT_TRUE(shown);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(label, "Do not show again");
    EXPECT_EQ(readRememberedAnswer(QString(), "Tip", 3), 1u);

    shown = false;
    const size_t soundsBefore = sounds.played.size();
    EXPECT_EQ(showWith([](MarkupMessageBox&) {}, "Tip of the day", kRememberBox, &params, &shown),
              1);
    EXPECT_FALSE(shown);
    EXPECT_EQ(sounds.played.size(), soundsBefore); // nothing shown, nothing played
}

TEST(MessageBoxRemember, CheckedBitIsCarriedOnlyWhenTheStyleAsksAndUncheckedStoresNothing) {
    SoundLog sounds;
    MessageBoxParams params;
    params.rememberName = "Ask";
    params.rememberCompany = "Tervolk";
    params.rememberNumber = 7;
    // Starts checked because of 0x02000000; the result carries the bit.
    const int r = showWith([](MarkupMessageBox& box) { box.press(IdNo); }, "Again?",
                           kRememberBox | kRememberChecked | 4, &params);
    EXPECT_EQ(r, IdNo | int(kRememberChecked));
    EXPECT_EQ(readRememberedAnswer("Tervolk", "Ask", 7), quint32(IdNo) | kRememberChecked);

    params.rememberNumber = 8;
    const int r2 = showWith([](MarkupMessageBox& box) { box.press(IdYes); }, "Again?",
                            kRememberBox | 4, &params);
    EXPECT_EQ(r2, IdYes);
    EXPECT_EQ(readRememberedAnswer("Tervolk", "Ask", 8), 0u);
}

TEST(MessageBoxRemember, UnreadableStoredValueCountsAsNoAnswer) {
    {
        QSettings s(programFileName(), "VxMessageBox");
        s.setValue("Broken1", "not a number");
    }
    EXPECT_EQ(readRememberedAnswer(QString(), "Broken", 1), 0u);
}

TEST(MessageBoxCountdown, TimeoutCountsDownOnTheDefaultButtonAndPressesIt) {
    SoundLog sounds;
    MessageBoxParams params;
    params.timeoutSeconds = 5;
    std::vector<QString> labels;
    const int result = showWith(
        [&](MarkupMessageBox& box) {
            labels.push_back(box.button(IdOk)->text());
            for (int i = 0; i < 4; ++i) {
                box.tick();
                labels.push_back(box.button(IdOk)->text());
            }
            EXPECT_TRUE(box.isVisible());
            box.tick();
        },
        "Closing soon", 0, &params);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(labels, (std::vector<QString>{"OK = 5", "OK = 4", "OK = 3", "OK = 2", "OK = 1"}));
}

TEST(MessageBoxCountdown, DisablePeriodInTheTitleHoldsButtonsAndCloseThenReleasesThem) {
    SoundLog sounds;
    MessageBoxParams params;
    params.disableSeconds = 3;
    params.countdownInTitle = true;
    const int result = showWith(
        [&](MarkupMessageBox& box) {
            EXPECT_EQ(box.windowTitle(), "Wait (3 seconds remaining)");
            for (int id : box.buttonIds())
                EXPECT_FALSE(box.button(id)->isEnabled());
            EXPECT_FALSE(box.closeAllowed());
            pressEscape(box);
            EXPECT_TRUE(box.isVisible());
            box.tick();
            EXPECT_EQ(box.windowTitle(), "Wait (2 seconds remaining)");
            box.tick();
            box.tick();
            EXPECT_EQ(box.windowTitle(), "Wait");
            for (int id : box.buttonIds())
                EXPECT_TRUE(box.button(id)->isEnabled());
            EXPECT_TRUE(box.closeAllowed());
            EXPECT_TRUE(box.button(IdOk)->isDefault());
            pressEscape(box);
        },
        "Read this first", 1, &params, nullptr, nullptr, "Wait");
    EXPECT_EQ(result, IdCancel);
}

TEST(MessageBoxCountdown, DisablePeriodOnTheButtonKeepsOnlyTheDefaultDisabled) {
    SoundLog sounds;
    MessageBoxParams params;
    params.disableSeconds = 2;
    showWith(
        [&](MarkupMessageBox& box) {
            EXPECT_EQ(box.button(IdCancel)->text(), "Cancel = 2"); // default index 1
            EXPECT_FALSE(box.button(IdCancel)->isEnabled());
            EXPECT_TRUE(box.button(IdOk)->isEnabled());
            EXPECT_FALSE(box.closeAllowed()); // the default button is Cancel
            box.tick();
            box.tick();
            EXPECT_EQ(box.button(IdCancel)->text(), "Cancel");
            EXPECT_TRUE(box.closeAllowed());
            box.press(IdOk);
        },
        "x", 0x101, &params);
}

TEST(MessageBoxKeys, EscapeIsIgnoredWithoutCancelAndGivesTwoWithIt) {
    SoundLog sounds;
    bool stayed = false;
    const int ari = showWith(
        [&](MarkupMessageBox& box) {
            EXPECT_EQ(box.buttonIds(), (std::vector<int>{IdAbort, IdRetry, IdIgnore}));
            pressEscape(box);
            box.close();
            box.press(IdCancel); // identifier 2 is ignored without cancel
            stayed = box.isVisible();
            box.press(IdRetry);
        },
        "Read error", 2);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(ari, IdRetry);
    EXPECT_EQ(showWith([](MarkupMessageBox& box) { pressEscape(box); }, "Sure?", 1), IdCancel);
    EXPECT_EQ(showWith([](MarkupMessageBox& box) { box.close(); }, "Sure?", 1), IdCancel);
}

TEST(MessageBoxMore, PressingMoreTwiceRestoresTheHeight) {
    SoundLog sounds;
    MessageBoxParams params;
    params.moreText = "Sector 2048 could not be read after 3 retries.<br>The data there is lost.";
    showWith(
        [&](MarkupMessageBox& box) {
            ASSERT_EQ(box.buttonIds().back(), IdMoreCollapsed);
            QPushButton* more = box.button(IdMoreCollapsed);
            const int height = box.height();
            EXPECT_EQ(more->text(), "More >>");
            more->click();
            EXPECT_TRUE(box.isExpanded());
            EXPECT_GT(box.height(), height);
            EXPECT_EQ(box.areaRect(MarkupMessageBox::MoreArea).height(), box.height() - height);
            EXPECT_EQ(more->text(), "<< More");
            more->click();
            EXPECT_EQ(box.height(), height);
            EXPECT_EQ(more->text(), "More >>");
            EXPECT_TRUE(box.isVisible());
            box.press(IdOk);
        },
        "Some files could not be recovered.", 0, &params);
}

TEST(MessageBoxButtons, FiveCustomLinesGiveFourButtonsWithoutCancel) {
    SoundLog sounds;
    MessageBoxParams params;
    params.customButtons = "Keep\nReplace\n\nRename\nSkip\nAbort everything";
    std::vector<QString> labels;
    const int r = showWith(
        [&](MarkupMessageBox& box) {
            EXPECT_EQ(box.buttonIds(),
                      (std::vector<int>{IdCustom1, IdCustom2, IdCustom3, IdCustom4, IdHelp}));
            for (int id : box.buttonIds())
                labels.push_back(box.button(id)->text());
            EXPECT_FALSE(box.cancelAllowed());
            pressEscape(box);
            EXPECT_TRUE(box.isVisible());
            box.button(IdCustom3)->click();
        },
        "File exists", 0x4000 | 1, &params);
    EXPECT_EQ(r, IdCustom3);
    EXPECT_EQ(labels, (std::vector<QString>{"Keep", "Replace", "Rename", "Skip", "Help"}));
}

TEST(MessageBoxButtons, SetsAllFlagsDefaultsAndRowPlacement) {
    SoundLog sounds;
    MessageBoxParams params;
    params.buttonAlignment = 0;
    showWith(
        [&](MarkupMessageBox& box) {
            EXPECT_EQ(box.buttonIds(),
                      (std::vector<int>{IdYes, IdYesToAll, IdNo, IdNoToAll, IdCancel}));
            EXPECT_EQ(box.defaultButtonId(), IdYes); // index 9 is past the last
            QPushButton* first = box.button(IdYes);
            EXPECT_EQ(first->x(), MarkupMessageBox::kButtonGap);
            EXPECT_GE(first->width(), MarkupMessageBox::kMinButtonWidth);
            EXPECT_GE(first->height(), MarkupMessageBox::kMinButtonHeight);
            EXPECT_EQ(box.button(IdYesToAll)->x(),
                      first->x() + first->width() + MarkupMessageBox::kButtonGap);
            EXPECT_EQ(first->y() + first->height(), box.height() - MarkupMessageBox::kBottomMargin);
            EXPECT_EQ(box.button(IdYesToAll)->text(), "Yes to all");
            box.press(IdNoToAll);
        },
        "Overwrite?", 3 | 0x900 | kYesToAll | kNoToAll, &params);

    params.buttonAlignment = 1;
    params.customLabels[IdOk] = "Fine";
    showWith(
        [&](MarkupMessageBox& box) {
            QPushButton* last = box.button(IdCancel);
            EXPECT_EQ(last->x() + last->width(), box.width() - MarkupMessageBox::kButtonGap);
            EXPECT_EQ(box.button(IdOk)->text(), "Fine");
            box.press(IdOk);
        },
        "x", 1, &params);
}

TEST(MessageBoxButtons, ReportSendsTheOwnerItsMessageAndStaysOpen) {
    SoundLog sounds;
    struct Owner : QWidget {
        std::vector<quint32> got;
        bool event(QEvent* e) override {
            if (e->type() == WindowMessageEvent::eventType()) {
                got.push_back(static_cast<WindowMessageEvent*>(e)->message());
                return true;
            }
            return QWidget::event(e);
        }
    } owner;
    MessageBoxParams params;
    params.reportMessage = 0x8123;
    bool stayed = false;
    showWith(
        [&](MarkupMessageBox& box) {
            box.button(IdReport)->click();
            stayed = box.isVisible();
            box.press(IdOk);
        },
        "Crash", 0, &params, nullptr, &owner);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(owner.got, std::vector<quint32>{0x8123});
}
