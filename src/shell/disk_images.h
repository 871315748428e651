#pragma once
// DiskImageCommands: the disk images of the disk list. Images named on the
// command line, dropped on the window or chosen with Open Disk Image (which
// offers the map an imaging run left beside an image, or another the user
// picks, or takes a map file chosen with the image, so that what the map
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
    // Chooses a map file for an image (empty: none; tests replace the dialog).
    using MapChooser = std::function<QString(const QString& image)>;
    void setMapChooser(MapChooser chooser) { mapChooser_ = std::move(chooser); }

private:
    // The map to read `image` through: the one beside it, another one the
    // user picks, or none, as the user answers (none asked: none beside).
    QString offerMap(const QString& image);
    QString chooseMap(const QString& image);

    WizardState& state_;
    WizardController& wizard_;
    QWidget* window_;
    ImageChooser imageChooser_;
    MapChooser mapChooser_;
};

} // namespace dorvak
