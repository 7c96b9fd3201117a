#include "store/verdictkeys.h"
#include "support/coretestbed.h"
#include "ui/editors/frmmain.h"
#include "ui/editors/korvanewindows.h"
#include "ui/tray/trayicon.h"
#include "ui/tray/traymenu.h"
#include "ui/viewer/frmstat.h"

#include <QDir>
#include <QFile>
#include <QPixmap>

#include <gtest/gtest.h>

// Renders the main windows offscreen. With KORVANE_SCREENSHOT_DIR set, the pictures are
// kept there (the README shows them); otherwise they only have to render.
TEST(Screenshots, SettingsWindowAndHistoryViewerRender)
{
    CoreTestbed bed;
    QDir().mkpath(bed.dir.file("data/Lang"));
    QFile::copy(QStringLiteral(TEST_DATA_DIR "/../../lang/English.ini"),
                bed.dir.file("data/Lang/English.ini"));
    bed.core->lang.LanguageFile = "English.ini";
    TrayMenu menu;
    TrayIcon tray(menu);
    KorvaneWindows windows(*bed.core, tray, menu);
    windows.loadViewer();
    bed.core->history.append(HistoryRecord {
        "\"Ann\" <ann@example.com>", "Minutes of Monday", "Mon, 9 Mar 2026 10:12:00 +0100", "2048",
        keyOf(MessageStatus::Kept), keyOf(Reason::NoRule), "2026-03-14 09:05:07", "Home", 1});
    bed.core->history.append(
        HistoryRecord {"winner@lottery.example", "You have WON!!!",
                       "Sat, 14 Mar 2026 03:00:00 +0000", "51200", keyOf(MessageStatus::Deleted),
                       keyOf(Reason::BlockedSender), "2026-03-14 09:05:08", "Home", 2});
    frmMain &main = windows.settingsWindow();
    main.resize(620, 460);
    main.show();
    frmStat &viewer = windows.viewer();
    viewer.resize(1260, 480);
    viewer.show();
    viewer.FillCombos();

    const QString folder = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
    const QPixmap settings = main.grab();
    const QPixmap history = viewer.grab();
    EXPECT_FALSE(settings.isNull());
    EXPECT_FALSE(history.isNull());
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(settings.save(folder + "/settings-window.png"));
        EXPECT_TRUE(history.save(folder + "/history-viewer.png"));
    }
}
