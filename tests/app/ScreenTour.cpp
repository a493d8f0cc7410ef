// Walks the desktop program through its steps on one image and saves a picture
// of the window at each: the drive page with the image selected, the scan while
// it runs, and the results. Run it under Xvfb to see the program as a user does:
//   xvfb-run -a -s "-screen 0 1280x800x24" app_screen_tour IMAGE OUTDIR

#include "app/FileTypes.h"
#include "app/RecoveryWindow.h"
#include "platform/DriveDiscovery.h"
#include "platform/PosixDevice.h"
#include "ui/PictureButton.h"

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// Slows every read a little so that the scan stays on screen long enough to be pictured.
class SlowSource final : public sarvik::disk::BlockSource {
public:
    explicit SlowSource(std::shared_ptr<const sarvik::disk::BlockSource> base) : m_base(std::move(base)) {}
    [[nodiscard]] std::uint64_t size() const override { return m_base->size(); }
    [[nodiscard]] sarvik::disk::ReadStatus read(std::uint64_t offset, sarvik::disk::MutableByteSpan buffer) const override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        return m_base->read(offset, buffer);
    }

private:
    std::shared_ptr<const sarvik::disk::BlockSource> m_base;
};

class SlowDevices final : public sarvik::disk::DeviceProvider {
public:
    std::shared_ptr<const sarvik::disk::BlockSource> open(const std::string& path) override
    {
        auto base = m_real.open(path);
        return base ? std::make_shared<SlowSource>(base) : nullptr;
    }
    std::optional<std::string> volumeLabel(const std::string& path) override { return m_real.volumeLabel(path); }

private:
    sarvik::platform::PosixDeviceProvider m_real;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: app_screen_tour IMAGE OUTDIR\n");
        return 2;
    }
    sarvik::app::useSystemIconTheme();
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    SlowDevices devices;
    sarvik::app::RecoveryWindow w({sarvik::platform::imageDriveItem(argv[1])}, devices);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    auto save = [&](const char* name) {
        QTest::qWait(150);
        w.grab().save(out + QLatin1Char('/') + QLatin1String(name));
    };
    QTreeWidget* tree = w.driveTree();
    QTreeWidgetItem* item = tree->topLevelItem(0)->child(0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    save("1-drive-page.png");

    QSignalSpy done(&w, &sarvik::app::RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    QTest::qWait(400);
    if (done.isEmpty())
        save("2-scanning.png");
    if (done.isEmpty() && !done.wait(60000))
        return 1;
    save("3-results.png");
    QTreeWidgetItem* root = w.folderTree()->topLevelItem(0);
    if (root != nullptr && root->childCount() > 0) {
        QTest::mouseClick(w.folderTree()->viewport(), Qt::LeftButton, {},
                          w.folderTree()->visualItemRect(root->child(0)).center());
        save("4-folder.png");
    }
    // The dialogs of the results step.
    auto grabDialog = [&](int command, const char* name) {
        QTimer::singleShot(300, [&out, name] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                dialog->grab().save(out + QLatin1Char('/') + QLatin1String(name));
                dialog->close();
            }
        });
        w.action(command)->trigger();
    };
    grabDialog(sarvik::app::Command::DriveInformation, "5-drive-information.png");
    grabDialog(sarvik::app::Command::Settings, "6-settings.png");
    grabDialog(sarvik::app::Command::Contents, "7-message.png");
    if (qEnvironmentVariableIsSet("SARVIK_TOUR_HOLD"))
        QTest::qWait(qEnvironmentVariableIntValue("SARVIK_TOUR_HOLD"));
    return 0;
}
