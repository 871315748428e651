// The window's side of failing disks and the images people bring: Create
// Disk Image, Open Disk Image with the map beside an image, image containers
// in the disk tree, names in old encodings, and the out of memory exit.
#include "window_fixture.h"

#include "common/tree_builder.h"
#include "reiserfs/mount.h"
#include "shell/disk_images.h"
#include "shell/find_dialog.h"
#include "shell/imaging_dialog.h"
#include "shell/tool_dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iconv.h>
#include <iterator>

namespace dorvak::test {
namespace {

namespace fs = std::filesystem;

std::string fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

class DiskImages : public WindowTest {
protected:
    void SetUp() override {
        DORVAK_SKIP_WITHOUT_IMAGE("sample.img");
        useEmptySettings();
        WindowTest::SetUp();
        ASSERT_TRUE(dir.isValid());
    }
    fs::path scratch(const char* name) const { return fs::path(dir.path().toStdString()) / name; }
    // Runs Create Disk Image: `fill` sets the dialog up before Start.
    void createImage(const std::function<void(ImagingDialog&)>& fill) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<ImagingDialog*>(QApplication::activeModalWidget());
            if (!d) return;
            // Nothing else that reads the disk starts while it may run.
            for (int command : {cmd::CreateImage, cmd::OpenImage, cmd::RecoverAll, cmd::OpenScan})
                EXPECT_EQ(window->menuState(command), 0x101u) << command;
            fill(*d);
            QSignalSpy ended(d, &ImagingDialog::runEnded);
            d->startButton()->click();
            ran = ended.count() > 0 || ended.wait(20000);
            if (d->isVisible()) d->reject();
        });
        window->runCommand(cmd::CreateImage);
        ASSERT_TRUE(ran);
        EXPECT_EQ(window->menuState(cmd::CreateImage), 0x100u);
    }
    QTemporaryDir dir;
};

TEST_F(DiskImages, CreateImageCopiesTheDiskOrOneVolumeUnderAMapAndOffersToOpenIt) {
    MainWindow& w = open({"sample.img"});
    const std::string sample = fileBytes(testImage("sample.img"));
    clickChild(w.wizard().diskTree(), 0);
    const fs::path image = scratch("disk.img");
    // At the disk step only the whole disk is offered; the map follows the
    // image's name as it is typed.
    answers = {2}; // not opened
    createImage([&](ImagingDialog& d) {
        EXPECT_EQ(d.sourceList()->count(), 1);
        d.imageField()->setFocus();
        QTest::keyClicks(d.imageField(), QString::fromStdString(image.string()));
        EXPECT_EQ(d.mapField()->text().toStdString(), image.string() + ".map");
        EXPECT_EQ(d.retriesBox()->value(), 3);
    });
    EXPECT_EQ(fileBytes(image), sample);
    char line[64];
    std::snprintf(line, sizeof line, "0x00000000  0x%08zX  +\n", sample.size());
    const std::string map = fileBytes(image.string() + ".map");
    EXPECT_NE(map.find(line), std::string::npos) << map;
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().yesNo);
    EXPECT_TRUE(messages.back().text.contains("complete")) << messages.back().text.toStdString();
    EXPECT_EQ(w.state().disks.diskCount, 1u);

    // Once the volumes are listed, one of them can be copied alone; Yes
    // opens its image, read through its map.
    click(w.controls().nextButton);
    ASSERT_EQ(w.state().WizardStep, Step::Volume);
    const VolumeInfo v = w.state().volumes.records[0];
    const fs::path volume = scratch("volume.img");
    answers = {1};
    createImage([&](ImagingDialog& d) {
        ASSERT_EQ(d.sourceList()->count(), 1 + int(w.state().volumes.volumeCount));
        d.sourceList()->setCurrentIndex(1);
        d.imageField()->setText(QString::fromStdString(volume.string()));
        d.mapField()->setText(QString::fromStdString(volume.string() + ".map"));
    });
    EXPECT_EQ(fileBytes(volume), sample.substr(v.startSector * 512, v.sectorCount * 512));
    ASSERT_EQ(w.state().disks.diskCount, 2u);
    EXPECT_EQ(w.state().rescueMaps.count(1), 1u);
    EXPECT_EQ(w.state().rescueMaps.count(0), 0u);

    // The same image again is refused: nothing the user holds is overwritten.
    messages.clear();
    createImage([&](ImagingDialog& d) {
        d.imageField()->setText(QString::fromStdString(image.string()));
        d.mapField()->setText(QString::fromStdString(scratch("other.map").string()));
    });
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().kind, MessageKind::Error);
    EXPECT_EQ(fileBytes(image), sample);
}

TEST_F(DiskImages, StopAsksNothingAndTheSameImageAndMapResume) {
    MainWindow& w = open({"sample.img"});
    clickChild(w.wizard().diskTree(), 0);
    const QString image = QString::fromStdString(scratch("disk.img").string());
    bool stopped = false, resumed = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<ImagingDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        d->imageField()->setText(image);
        d->mapField()->setText(image + ".map");
        QSignalSpy ended(d, &ImagingDialog::runEnded);
        d->startImaging();
        EXPECT_TRUE(d->stopButton()->isEnabled());
        EXPECT_FALSE(d->closeButton()->isEnabled());
        d->stopButton()->click(); // before the worker's first request ends
        if (!ended.wait(20000)) return d->reject();
        stopped = d->result().ok() && d->result().stopped && d->result().status.untried > 0;
        EXPECT_EQ(d->valueText(4), "Stopped");
        d->startImaging();
        if (!ended.wait(20000)) return d->reject();
        resumed = d->result().ok() && d->result().resumed && !d->result().stopped;
        d->reject();
    });
    answers = {2, 2}; // neither run's image is opened
    window->runCommand(cmd::CreateImage);
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(resumed);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[0].text.startsWith("Stopped.")) << messages[0].text.toStdString();
    EXPECT_EQ(fileBytes(image.toStdString()), fileBytes(testImage("sample.img")));
}

TEST_F(DiskImages, OpenImageOffersTheMapBesideItAndReadsNothingTheMapMarksBad) {
    MainWindow& w = open({});
    const std::string sample = fileBytes(testImage("sample.img"));
    const fs::path image = scratch("copy.img");
    writeBytes(image, sample);
    char map[128];
    std::snprintf(map, sizeof map, "0x00000000  -  1\n0x00000000  0x%08zX  -\n", sample.size());
    writeBytes(image.string() + ".map", map);
    w.diskImages().setImageChooser(
        [&] { return QStringList{QString::fromStdString(image.string())}; });

    choices = {3, 1}; // the first time without the map, then with it
    w.runCommand(cmd::OpenImage);
    w.runCommand(cmd::OpenImage);
    ASSERT_EQ(w.state().disks.diskCount, 2u);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[0].text.contains(QString::fromStdString(image.string() + ".map")));
    EXPECT_EQ(messages[0].buttons.size(), 3);
    // The disk tree says which image is read through which map.
    EXPECT_EQ(w.wizard().diskTree()->child(0).data().toString(), "Storage Device0  (copy.img)");
    EXPECT_EQ(w.wizard().diskTree()->child(1).data().toString(),
              "Storage Device1 + map  (copy.img)");
    EXPECT_EQ(w.wizard().diskTree()->child(1).data(Qt::ToolTipRole).toString().toStdString(),
              "Read through the map " + image.string() + ".map");

    // With the map every sector is bad: the walk reads none and finds nothing.
    messages.clear();
    clickChild(w.wizard().diskTree(), 1);
    click(w.controls().nextButton);
    EXPECT_EQ(w.state().WizardStep, Step::Disk);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, QString::fromLatin1(kNoPartitionFound));
    EXPECT_EQ(w.state().reader.stats().requests, 0u);
    // Without it the same bytes hold the sample's volumes.
    clickChild(w.wizard().diskTree(), 0);
    click(w.controls().nextButton);
    EXPECT_EQ(w.state().WizardStep, Step::Volume);

    // A file that is no map is said, and the image is not listed.
    writeBytes(image.string() + ".map", "this is no map\n");
    choices = {1};
    messages.clear();
    click(w.controls().backButton);
    w.runCommand(cmd::OpenImage);
    EXPECT_EQ(w.state().disks.diskCount, 2u);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].kind, MessageKind::Error);

    // Any map can be used: another one picked in the offer, or one chosen
    // with the image in the file dialog (then nothing is asked).
    const fs::path other = scratch("rescue.log");
    writeBytes(other, map);
    QString askedFor;
    w.diskImages().setMapChooser([&](const QString& img) {
        askedFor = img;
        return QString::fromStdString(other.string());
    });
    choices = {2};
    w.runCommand(cmd::OpenImage);
    ASSERT_EQ(w.state().disks.diskCount, 3u);
    EXPECT_EQ(askedFor.toStdString(), image.string());
    EXPECT_EQ(w.wizard().diskTree()->child(2).data(Qt::ToolTipRole).toString().toStdString(),
              "Read through the map " + other.string());
    messages.clear();
    w.diskImages().setImageChooser([&] {
        return QStringList{QString::fromStdString(other.string()),
                           QString::fromStdString(image.string())};
    });
    w.runCommand(cmd::OpenImage);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(w.state().disks.diskCount, 4u);
    EXPECT_EQ(w.state().rescueMaps.count(3), 1u);
    EXPECT_EQ(w.wizard().diskTree()->child(3).data().toString(),
              "Storage Device3 + map  (copy.img)");
}

TEST_F(DiskImages, TheDiskTreeNamesAnImagesContainer) {
    const fs::path qcow = scratch("sample.qcow2"), vhdx = scratch("sample.vhdx");
    for (const auto& [out, format] : {std::pair{qcow, "qcow2"}, std::pair{vhdx, "vhdx"}}) {
        const std::string command = "qemu-img convert -O " + std::string(format) + " '" +
                                    testImage("sample.img").string() + "' '" + out.string() +
                                    "' 2>/dev/null";
        if (std::system(command.c_str()) != 0) {
            if (imagesRequired()) FAIL() << "qemu-img is needed: " << command;
            GTEST_SKIP() << "qemu-img is not installed";
        }
    }
    MainWindow& w = open({"sample.img", qcow.string(), vhdx.string()});
    StepTree* tree = w.wizard().diskTree();
    EXPECT_EQ(tree->child(0).data().toString(), "Storage Device0  (sample.img)");
    EXPECT_EQ(tree->child(1).data().toString(), "Storage Device1  (sample.qcow2, qcow2)");
    EXPECT_EQ(tree->child(2).data().toString(), "Storage Device2  (sample.vhdx, VHDX)");
    // The container is read as the disk it holds.
    clickChild(tree, 2);
    click(w.controls().nextButton);
    EXPECT_EQ(w.state().WizardStep, Step::Volume);
}

// UTF-8 text in `encoding`, by iconv itself.
std::string encode(const std::string& text, const char* encoding) {
    const iconv_t h = iconv_open(encoding, "UTF-8");
    std::string out(text.size() * 4, '\0');
    char* in = const_cast<char*>(text.data());
    char* to = out.data();
    std::size_t inLeft = text.size(), outLeft = out.size();
    iconv(h, &in, &inLeft, &to, &outLeft);
    iconv_close(h);
    out.resize(out.size() - outLeft);
    return out;
}

TEST_F(DiskImages, NamesInAnOldEncodingAreProposedOnceShownAndRecoveredInUtf8) {
    TreeBuilder t(4096, 64);
    const std::uint32_t docs = t.folder(2, encode("Документы", "KOI8-R"));
    t.file(docs, encode("письмо.doc", "KOI8-R"), pattern(70, 2));
    t.file(2, encode("Отчет.txt", "KOI8-R"), pattern(10, 4));
    t.finish();
    const fs::path image = scratch("koi8.img");
    writeBytes(image, std::string(t.vb.image.data.begin(), t.vb.image.data.end()));

    MainWindow& w = open({image.string()});
    w.wizard().setModeChooser([](RecoveryMode& m) {
        m = RecoveryMode::Normal;
        return true;
    });
    auto mount = [&] {
        clickChild(w.wizard().volumeTree(), 0);
        click(w.controls().nextButton);
        return waitForStep(Step::Browse);
    };
    clickChild(w.wizard().diskTree(), 0);
    click(w.controls().nextButton);
    answers = {1};
    ASSERT_TRUE(mount());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].yesNo);
    EXPECT_TRUE(messages[0].text.contains("KOI8-R")) << messages[0].text.toStdString();
    EXPECT_EQ(w.state().names.encoding(), "KOI8-R");
    EXPECT_GE(row(QStringLiteral("Документы")), 0);
    EXPECT_EQ(w.folderModel()->index(0, 0, w.folderModel()->rootIndex()).data().toString(),
              QStringLiteral("Документы"));

    // Found by the name as shown.
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<FindDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        d->patternEdit()->setText(QStringLiteral("письмо*"));
        QSignalSpy ended(d, &FindDialog::searchEnded);
        d->startButton()->click();
        if (ended.count() > 0 || ended.wait(10000)) EXPECT_EQ(d->results()->rowCount(), 1);
        d->reject();
    });
    w.runCommand(cmd::FindFiles);

    // Recovered under UTF-8 names.
    QTemporaryDir dest;
    w.browseCommands().setFolderChooser([&] { return dest.path(); });
    answers = {2};
    w.runCommand(cmd::RecoverAll);
    EXPECT_TRUE(fs::exists(fs::path(dest.path().toStdString()) / "Документы" / "письмо.doc"));
    // Again with Skip: the summary names the skipped files as the list does.
    w.state().settings.duplicatePolicy = 3;
    answers = {2};
    w.runCommand(cmd::RecoverAll);
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().more.contains(QStringLiteral("/Документы/письмо.doc")))
        << messages.back().more.toStdString();

    // The default again through the settings: the names show as Latin-1.
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<SettingsDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        EXPECT_EQ(d->encodingList()->currentText(), "KOI8-R");
        d->encodingList()->setCurrentIndex(0);
        EXPECT_EQ(d->encodingList()->currentText(), SettingsDialog::kDefaultEncoding);
        d->accept();
    });
    w.runCommand(cmd::Settings);
    EXPECT_FALSE(w.state().names.chosen());
    EXPECT_LT(row(QStringLiteral("Документы")), 0);
    EXPECT_GE(row(QString::fromStdString(latin1ToUtf8(encode("Документы", "KOI8-R")))), 0);

    // Mounted again, the volume is not asked about a second time.
    messages.clear();
    click(w.controls().backButton);
    ASSERT_TRUE(mount());
    EXPECT_TRUE(messages.empty());
}

#ifdef DORVAK_ALLOCATION_FAULTS
TEST_F(DiskImages, OutOfMemoryInTheMountSaysSoAndEndsTheProgramWithItsStatus) {
    MainWindow& w = open({"sample.img"});
    clickChild(w.wizard().diskTree(), 0);
    click(w.controls().nextButton);
    w.wizard().setModeChooser([](RecoveryMode& m) {
        m = RecoveryMode::Normal;
        return true;
    });
    clickChild(w.wizard().volumeTree(), 0);
    ::setenv("DORVAK_FAIL_ALLOCATIONS", "1", 1);
    QTimer::singleShot(0, [&] { click(w.controls().nextButton); });
    QTimer guard; // ends a run that never exits, and goes with the test
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(30000);
    const int status = QApplication::exec();
    ::unsetenv("DORVAK_FAIL_ALLOCATIONS");
    EXPECT_EQ(status, kOutOfMemoryExitStatus);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, QString::fromLatin1(kOutOfMemoryText));
    EXPECT_EQ(messages.back().kind, MessageKind::Error);
}
#endif

} // namespace
} // namespace dorvak::test
