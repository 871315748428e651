#pragma once
// DiskImageCommands: the disk images of the disk list. Images named on the
// command line, dropped on the window or chosen with Open Disk Image (which
// offers the map an imaging run left beside an image, so that what the map
// does not mark read is never read), and Create Disk Image, which copies the
// selected disk, or one of its volumes, into an image under a map.

#include <QStringList>

#include <functional>

class QWidget;

namespace dorvak {

class WizardController;
class WizardState;

class DiskImageCommands {
public:
    DiskImageCommands(WizardState& state, WizardController& wizard, QWidget* window);

    // Adds an image to the disk list, read through the map at `mapPath` when
    // one is given; false (with a message) when either cannot be used.
    bool addDiskImage(const QString& path, const QString& mapPath = QString());
    // Images named on the command line: a failure is said once the window
    // shows, and on the terminal.
    void addStartupImages(const QStringList& images);
    void openDiskImage();
    void createDiskImage();

    // Chooses the images Open Disk Image adds (tests replace the dialog).
    using ImageChooser = std::function<QStringList()>;
    void setImageChooser(ImageChooser chooser) { imageChooser_ = std::move(chooser); }

private:
    WizardState& state_;
    WizardController& wizard_;
    QWidget* window_;
    ImageChooser imageChooser_;
};

} // namespace dorvak
