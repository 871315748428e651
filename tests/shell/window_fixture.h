#pragma once
// A main window over disk images with its messages and desktop calls
// captured: each message is recorded and answered from a script (Yes or
// No), so a test drives the wizard without a modal box waiting for a click.

#include "shell/browse_commands.h"
#include "shell/catalog_models.h"
#include "shell/info_panel.h"
#include "shell/list_pane.h"
#include "shell/main_window.h"
#include "shell/messages.h"
#include "shell/step_tree.h"
#include "shell/wizard_controller.h"
#include "test_images.h"
#include "ui/controls/hover_button.h"
#include "ui/controls/text_progress_bar.h"
#include "ui/controls/transparent_static.h"
#include "ui/controls/xp_group_box.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <deque>
#include <memory>

namespace dorvak::test {

// Settings of this test program alone, emptied: test programs run side by
// side, and one that clears a shared settings file would take another's
// remembered answers away in the middle of its test.
inline void useEmptySettings() {
    static QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    QSettings().clear();
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        setMessageHook([this](const MessageRequest& r) {
            messages.push_back(r);
            if (onMessage) onMessage(r);
            if (!r.buttons.isEmpty() && !choices.empty()) {
                const int c = choices.front();
                choices.pop_front();
                return c;
            }
            if (!r.yesNo) return 1;
            if (answers.empty()) return 2;
            const int a = answers.front();
            answers.pop_front();
            return a;
        });
        MainWindow::setDesktopOpener([this](const QUrl& u) {
            opened.push_back(u);
            return true;
        });
    }
    void TearDown() override {
        window.reset();
        setMessageHook({});
    }

    MainWindow& open(const std::vector<std::string>& imageNames) {
        QStringList images;
        for (const auto& n : imageNames)
            images << QString::fromStdString(n.front() == '/' ? n : testImage(n).string());
        window = std::make_unique<MainWindow>(images, false);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return *window;
    }

    // A left click on a tree's child item, as the user makes it.
    static void clickChild(StepTree* tree, int row) {
        const QRect r = tree->visualRect(tree->child(row));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, r.center());
    }
    static void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    // Waits (in the event loop, never sleeping) for the wizard to reach `step`.
    bool waitForStep(Step step) {
        if (window->state().WizardStep == step && !window->state().workerBusy) return true;
        QSignalSpy spy(window.get(), &MainWindow::stepChanged);
        while (spy.wait(20000))
            if (window->state().WizardStep == step) return true;
        return false;
    }
    // Opens the sample image and mounts its first volume in Normal mode, as
    // the user does with the mouse, up to the browsing step.
    void browseSample() {
        MainWindow& w = open({"sample.img"});
        clickChild(w.wizard().diskTree(), 0);
        click(w.controls().nextButton);
        ASSERT_EQ(w.state().WizardStep, Step::Volume);
        w.wizard().setModeChooser([](RecoveryMode& m) {
            m = RecoveryMode::Normal;
            return true;
        });
        clickChild(w.wizard().volumeTree(), 0);
        click(w.controls().nextButton);
        ASSERT_TRUE(waitForStep(Step::Browse));
    }
    // The list's row named `name`, or -1.
    int row(const QString& name) const {
        for (int r = 0; r < window->listModel()->rowCount(); ++r)
            if (window->listModel()->index(r, 0).data().toString() == name) return r;
        return -1;
    }
    const WindowControls& ctl() const { return window->controls(); }
    // The information panel's pairs, first to fifth.
    QString value(int pair) const { return window->infoPanel().value(pair); }
    QString caption(int pair) const { return window->infoPanel().caption(pair); }
    static bool shown(const QWidget* w) { return w->isVisible(); }

    std::unique_ptr<MainWindow> window;
    std::vector<MessageRequest> messages;
    std::deque<int> answers; // 1 Yes, 2 No, for the questions in order
    // The buttons pressed (1-based) in messages with buttons of their own;
    // the first button once none is left.
    std::deque<int> choices;
    std::function<void(const MessageRequest&)> onMessage;
    std::vector<QUrl> opened;
};

} // namespace dorvak::test
