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
#include <QTreeWidget>

#include <cstdio>

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
    sarvik::platform::PosixDeviceProvider devices;
    sarvik::app::RecoveryWindow w({sarvik::platform::imageDriveItem(argv[1])}, devices);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    auto save = [&](const char* name) {
        QTest::qWait(300);
        w.grab().save(out + QLatin1Char('/') + QLatin1String(name));
    };
    QTreeWidget* tree = w.driveTree();
    QTreeWidgetItem* item = tree->topLevelItem(0)->child(0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    save("1-drive-page.png");

    QSignalSpy done(&w, &sarvik::app::RecoveryWindow::scanFinished);
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    QTest::qWait(20);
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
    if (qEnvironmentVariableIsSet("SARVIK_TOUR_HOLD"))
        QTest::qWait(qEnvironmentVariableIntValue("SARVIK_TOUR_HOLD"));
    return 0;
}
