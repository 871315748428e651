#pragma once
// The main window's controls as its layout table places them. The table
// (window_layout.cpp) is the one place that knows the controls' ids and
// their positions in dialog units; everything else reaches a control
// through the named pointers of WindowControls, and the window's parts
// (InfoPanel, ListPane, WizardController) each keep the ones they own.

#include <QRect>

#include <array>

class QLineEdit;
class QListView;
class QRadioButton;
class QTreeView;
class QWidget;

namespace dorvak {

class HoverButton;
class TransparentStatic;
class XPGroupBox;
class TextProgressBar;

// Dialog units of the dialog font: a quarter of its average character width
// across, an eighth of its height down.
struct DialogUnits {
    int baseX = 6, baseY = 13;
    QRect rect(int x, int y, int w, int h) const {
        return QRect((x * baseX + 2) / 4, (y * baseY + 4) / 8, (w * baseX + 2) / 4,
                     (h * baseY + 4) / 8);
    }
};

// The toolbar's buttons, left to right as the table lists them.
enum class ToolButton {
    RecoverSelected,
    RecoverAll,
    SaveSnapshot,
    LoadSnapshot,
    FindFiles,
    Settings,
    LiveUpdate,
    Count
};

inline constexpr int kInfoPairCount = 5;
inline constexpr int kDialogWidth = 528, kDialogHeight = 311;

struct WindowControls {
    std::array<HoverButton*, std::size_t(ToolButton::Count)> tools{};
    HoverButton* homePage = nullptr;
    HoverButton* buyOnline = nullptr;
    XPGroupBox* listFrame = nullptr;
    // The list pane's details view and, at the same place, its icon and list view.
    QTreeView* list = nullptr;
    QListView* iconView = nullptr;
    // The information panel: caption and value of each pair, and the status line.
    std::array<TransparentStatic*, kInfoPairCount> captions{};
    std::array<TransparentStatic*, kInfoPairCount> values{};
    TransparentStatic* status = nullptr;
    // Volume identify options.
    XPGroupBox* optionsGroup = nullptr;
    TransparentStatic* optionsTitle = nullptr;
    QRadioButton* useTable = nullptr;
    QRadioButton* searchOption = nullptr;
    HoverButton* optionsHelp = nullptr;
    // The search range.
    XPGroupBox* rangeGroup = nullptr;
    TransparentStatic* rangeTitle = nullptr;
    TransparentStatic* startCaption = nullptr;
    QLineEdit* startField = nullptr;
    TransparentStatic* endCaption = nullptr;
    QLineEdit* endField = nullptr;
    HoverButton* rangeHelp = nullptr;
    TextProgressBar* progress = nullptr;
    HoverButton* stopButton = nullptr;
    TransparentStatic* quickHelp = nullptr;
    HoverButton* backButton = nullptr;
    HoverButton* nextButton = nullptr;

    HoverButton* tool(ToolButton b) const { return tools[std::size_t(b)]; }
};

// Creates the controls on `client` at their places, in the table's order
// (later ones lie above earlier ones), shown or hidden as the window starts.
WindowControls buildWindowControls(QWidget* client, const DialogUnits& units);
// Puts one of the left pane's trees in its place on `client` and shows it.
void placeTree(QWidget* tree, QWidget* client, const DialogUnits& units);
// Places the controls for the client's present size (see the .cpp).
void fitToClient(QWidget* client, const DialogUnits& units);

} // namespace dorvak
