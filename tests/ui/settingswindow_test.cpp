#include "platform/cregister.h"
#include "support/coretestbed.h"
#include "ui/editors/filepicker.h"
#include "ui/editors/frmaddext.h"
#include "ui/editors/frmmain.h"
#include "ui/tray/traymenu.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

// Answers the file dialog in the user's place and notes what it was asked.
class FakeFilePicker final : public FilePicker
{
public:
    QString openFile(QWidget *, const QString &title, const QString &filter) override
    {
        asked << title + QLatin1Char('|') + filter;
        return answer;
    }
    QString answer;
    QStringList asked;
};

struct SettingsBed : CoreTestbed
{
    TrayMenu menu;
    frmMain main {*core, menu};
};

QStringList comboItems(const QComboBox &box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

QString rowText(const QTreeWidget &list, int row)
{
    return list.topLevelItem(row)->text(0);
}

QString describe(const QWidget &w)
{
    const auto *label = qobject_cast<const QLabel *>(&w);
    const auto *button = qobject_cast<const QAbstractButton *>(&w);
    return QStringLiteral("%1 \"%2\"")
        .arg(w.objectName().isEmpty() ? w.metaObject()->className() : w.objectName(),
             label        ? label->text()
                 : button ? button->text()
                          : QString());
}

// The captions of the window's current view that are cut: a label or button smaller than
// its text needs, or reaching out of a widget that holds it, and tabs the bar cannot show.
QStringList cutCaptions(QWidget &window)
{
    QApplication::processEvents();
    QStringList cut;
    for (QWidget *w : window.findChildren<QWidget *>()) {
        const auto *label = qobject_cast<const QLabel *>(w);
        const auto *button = qobject_cast<const QAbstractButton *>(w);
        if (!w->isVisibleTo(&window) || (!label && !button)
            || (label ? label->text() : button->text()).isEmpty())
            continue;
        const QSize needed = w->minimumSizeHint();
        bool whole = w->width() >= needed.width() && w->height() >= needed.height();
        if (label && label->wordWrap())
            whole = w->width() >= needed.width() && w->height() >= w->heightForWidth(w->width());
        for (QWidget *holder = w->parentWidget(); whole && holder;
             holder = holder->parentWidget()) {
            whole = holder->rect().contains(QRect(w->mapTo(holder, QPoint(0, 0)), w->size()));
            if (holder == &window)
                break;
        }
        if (!whole)
            cut << describe(*w);
    }
    for (QHeaderView *header : window.findChildren<QHeaderView *>()) {
        for (int i = 0; header->isVisibleTo(&window) && i < header->count(); ++i) {
            if (header->sectionSize(i) < header->sectionSizeHint(i))
                cut << QStringLiteral("column \"%1\"")
                           .arg(header->model()->headerData(i, Qt::Horizontal).toString());
        }
    }
    for (QTabBar *bar : window.findChildren<QTabBar *>()) {
        for (int i = 0; i < bar->count(); ++i) {
            if (!bar->rect().contains(bar->tabRect(i)))
                cut << QStringLiteral("tab \"%1\"").arg(bar->tabText(i));
        }
    }
    return cut;
}

} // namespace

TEST(SettingsWindow, LeavingPeriodOrDaysBelowTwoPutsTheUsualValueBack)
{
    const struct
    {
        const char *name;
        QLineEdit *frmMain::*box;
        const char *typed;
        const char *shown;
        int setting; // the live value after leaving; 15 was in effect before
        bool warned;
    } cases[] = {
        {"period 1", &frmMain::txtCheckPeriod, "1", "10", 10, true},
        {"period 0", &frmMain::txtCheckPeriod, "0", "10", 10, true},
        {"period no number", &frmMain::txtCheckPeriod, "soon", "10", 10, true},
        {"period 2 stays", &frmMain::txtCheckPeriod, "2", "2", 2, false},
        {"days 1", &frmMain::txtDelMess, "1", "30", 30, true},
        {"days -4", &frmMain::txtDelMess, "-4", "30", 30, true},
        {"days 45 stay", &frmMain::txtDelMess, "45", "45", 45, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SettingsBed bed;
        bed.core->settings.ChekPeriod = 15;
        bed.core->settings.Days = 15;
        bed.main.showSettings();
        QLineEdit *box = bed.main.*c.box;
        box->selectAll();
        QTest::keyClicks(box, c.typed);
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(box->text(), c.shown);
        const int live
            = box == bed.main.txtDelMess ? bed.core->settings.Days : bed.core->settings.ChekPeriod;
        EXPECT_EQ(live, c.setting);
        EXPECT_EQ(bed.prompter.warnings,
                  c.warned ? QStringList {"Invalid peroid, Enter a value > 1"} : QStringList());
    }
}

TEST(SettingsWindow, OkRefusesBoxesWithoutAWholeNumberAfterCommittingTheLevel)
{
    const QString range = "\"%1\" is not a whole number from %2 to 32767.";
    const struct
    {
        const char *name;
        QLineEdit *frmMain::*box;
        const char *typed;
        QString warning;
        int tab;
    } cases[] = {
        {"days abc", &frmMain::txtDelMess, "abc",
         "Days and minutes text boxes must be integers and greater than 1.", 1},
        {"period 2.5", &frmMain::txtCheckPeriod, "2.5",
         "Days and minutes text boxes must be integers and greater than 1.", 0},
        {"period too large", &frmMain::txtCheckPeriod, "40000", range.arg("40000").arg(2), 0},
        {"threshold", &frmMain::txtThreshold, "12x", range.arg("12x").arg(0), 1},
        {"size", &frmMain::txtMaxSize, "", range.arg("").arg(0), 1},
        {"time-out", &frmMain::txtTimeOut, "-5", range.arg("-5").arg(0), 0},
        {"log size", &frmMain::txtLogSize, "9.5", range.arg("9.5").arg(0), 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SettingsBed bed;
        bed.main.show();
        bed.main.SSTab1->setCurrentIndex(2);
        QTest::mouseClick(bed.main.cmdVeryHigh, Qt::LeftButton);
        (bed.main.*c.box)->setText(c.typed);
        bed.main.cmdOK->click();
        EXPECT_EQ(bed.prompter.warnings, QStringList {c.warning});
        EXPECT_EQ(bed.core->settings.SecurityLevel, 1);
        EXPECT_FLOAT_EQ(bed.core->settings.EffectiveThreshold, 80.0f);
        EXPECT_TRUE(bed.main.isVisible());
        EXPECT_EQ(bed.main.SSTab1->currentIndex(), c.tab);
        EXPECT_FALSE(QFile::exists(bed.settingsPath()));
    }
}

TEST(SettingsWindow, OkStoresTheLastGoodLogSizeWhileNoLogIsWritten)
{
    // The size box is switched off with the log, so it could not be corrected if refused.
    SettingsBed bed;
    bed.main.show();
    QTest::keyClicks(bed.main.txtLogSize, "x");
    bed.main.chkLog->setChecked(false);
    bed.main.cmdOK->click();
    EXPECT_TRUE(bed.prompter.warnings.isEmpty());
    EXPECT_FALSE(bed.main.isVisible());
    EXPECT_EQ(CRegister(bed.settingsPath()).REGGetSetting("LogSize", "?"), "200");
    EXPECT_EQ(bed.main.txtLogSize->text(), "200");
}

TEST(SettingsWindow, BrowseTakesTheSoundFileTheDialogGives)
{
    SettingsBed bed;
    FakeFilePicker picker;
    bed.main.setFilePicker(picker);
    bed.main.txtSoundFile->setText("/home/ann/old.wav");

    picker.answer = "/home/ann/sounds/ding dong.wav";
    QTest::mouseClick(bed.main.cmdBrowse, Qt::LeftButton);
    EXPECT_EQ(picker.asked, QStringList {"Open Sound file|Wav files (*.wav)"});
    EXPECT_EQ(bed.main.txtSoundFile->text(), "/home/ann/sounds/ding dong.wav");
    EXPECT_EQ(bed.core->settings.SoundPath, "/home/ann/sounds/ding dong.wav");

    picker.answer.clear(); // cancelled
    QTest::mouseClick(bed.main.cmdBrowse, Qt::LeftButton);
    EXPECT_EQ(bed.main.txtSoundFile->text(), "/home/ann/sounds/ding dong.wav");
}

TEST(SettingsWindow, LevelButtonShowsItsPictureNameAndDescription)
{
    const struct
    {
        QToolButton *frmMain::*button;
        const char *name;
        const char *firstLine;
    } cases[] = {
        {&frmMain::cmdVeryHigh, "Very High", "*Only E-Mails from friend list will be accepted."},
        {&frmMain::cmdHigh, "High",
         "*Attachment Filter(.exe, .scr only) will be run on friend list"},
        {&frmMain::cmdNormal, "Normal", "*Attachment Filter(.exe, .scr only) will be run"},
        {&frmMain::cmdLow, "Low",
         "*Attachment Filter(.exe, .scr only) will be run on non-friend senders"},
        {&frmMain::cmdVeryLow, "Very Low", "*Only Messages from Blocked list will be deleted"},
    };
    SettingsBed bed;
    bed.main.show();
    bed.main.SSTab1->setCurrentIndex(2);
    QList<QImage> pictures;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QToolButton *button = bed.main.*c.button;
        QTest::mouseClick(button, Qt::LeftButton);
        for (const auto &other : cases)
            EXPECT_EQ((bed.main.*other.button)->isChecked(), &other == &c);
        EXPECT_EQ(bed.main.lblLevel->text(), c.name);
        EXPECT_EQ(bed.main.lblSecurity->text().section("\r\n", 0, 0), c.firstLine);
        EXPECT_EQ(button->toolTip(), c.name);
        const QImage picture = button->icon().pixmap(40, 40).toImage();
        ASSERT_FALSE(picture.isNull());
        EXPECT_FALSE(pictures.contains(picture)) << "each level has a picture of its own";
        pictures << picture;
    }
}

TEST(SettingsWindow, OpensCentredWithThePickerCentredOverIt)
{
    SettingsBed bed;
    bed.main.show();
    const QPoint screenCentre = bed.main.screen()->availableGeometry().center();
    EXPECT_LE((bed.main.frameGeometry().center() - screenCentre).manhattanLength(), 2);

    bed.main.move(10, 20);
    QTest::mouseClick(bed.main.cmdAddExt, Qt::LeftButton);
    frmAddExt *picker = bed.main.addExtWindow();
    ASSERT_NE(picker, nullptr);
    EXPECT_TRUE(picker->isVisible());
    EXPECT_LE(
        (picker->frameGeometry().center() - bed.main.frameGeometry().center()).manhattanLength(),
        2);
}

TEST(SettingsWindow, EveryCaptionIsWholeInEnglishAndInALongerLanguage)
{
    SettingsBed bed;
    const auto check = [&bed](const char *language) {
        SCOPED_TRACE(language);
        bed.main.hide();
        bed.main.show();
        for (int tab = 0; tab < bed.main.SSTab1->count(); ++tab) {
            bed.main.SSTab1->setCurrentIndex(tab);
            EXPECT_EQ(cutCaptions(bed.main), QStringList()) << "tab " << tab;
        }
        QTest::mouseClick(bed.main.cmdAddExt, Qt::LeftButton);
        ASSERT_NE(bed.main.addExtWindow(), nullptr);
        EXPECT_EQ(cutCaptions(*bed.main.addExtWindow()), QStringList());
    };
    check("built-in English");

    // Every caption the two windows use, about twice as long as a typical English one.
    QByteArray pack = "[Korvane]\r\n";
    for (const auto &[first, last] : {std::pair {10000, 10163}, {60000, 60004}, {280240, 280259}}) {
        for (int key = first; key <= last; ++key)
            pack += QByteArray::number(key) + "=Eine recht ausf\xc3\xbchrliche Beschriftung "
                + QByteArray::number(key) + " f\xc3\xbcr diese Stelle\r\n";
    }
    bed.dir.write("data/Lang/Arabic.ini", pack);
    bed.core->lang.LanguageFile = "Arabic.ini";
    check("long captions, right to left");
    EXPECT_EQ(bed.main.cmdOK->text(),
              "Eine recht ausf\u00fchrliche Beschriftung 10001 f\u00fcr diese Stelle");
}

TEST(AttachmentPicker, ListsEveryKnownTypeOnceWithItsDescription)
{
    SettingsBed bed;
    frmAddExt picker(bed.core->services, *bed.main.cmbExt);
    const QTreeWidget &list = *picker.lstFile;
    ASSERT_GT(list.topLevelItemCount(), 0);
    const QMimeDatabase db;
    bool pdfSeen = false;
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        const QString extension = rowText(list, row);
        ASSERT_TRUE(extension.startsWith('.')) << extension.toStdString();
        EXPECT_FALSE(extension.contains(QRegularExpression("[][*?]"))) << extension.toStdString();
        if (row > 0) {
            const QString before = rowText(list, row - 1);
            const int order = before.compare(extension, Qt::CaseInsensitive);
            ASSERT_TRUE(order < 0 || (order == 0 && before < extension))
                << before.toStdString() << " before " << extension.toStdString();
        }
        if (extension == ".pdf") {
            pdfSeen = true;
            EXPECT_EQ(list.topLevelItem(row)->text(1),
                      db.mimeTypeForName("application/pdf").comment());
        }
    }
    EXPECT_TRUE(pdfSeen);
}

TEST(AttachmentPicker, AddsTypedAndPickedTypesWithoutTheirDotOnce)
{
    SettingsBed bed;
    bed.main.show();
    QTest::mouseClick(bed.main.cmdAddExt, Qt::LeftButton);
    ASSERT_NE(bed.main.addExtWindow(), nullptr);
    frmAddExt &picker = *bed.main.addExtWindow();
    EXPECT_TRUE(bed.main.isEnabled()); // not modal

    const struct
    {
        const char *typed;
        bool enter; // else the Add button
        const char *added; // nullptr: nothing is added
    } cases[] = {
        {".PDF", true, "PDF"}, {"PDF", false, nullptr}, {".PDF", false, nullptr},
        {"pdf", false, "pdf"}, {".", true, nullptr},    {"", false, nullptr},
        {"..gz", true, ".gz"}, {" doc", false, " doc"},
    };
    QStringList expected = comboItems(*bed.main.cmbExt);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        picker.txtCustom->setText(c.typed);
        if (c.enter)
            QTest::keyClick(picker.txtCustom, Qt::Key_Return);
        else
            QTest::mouseClick(picker.cmdAdd, Qt::LeftButton);
        if (c.added)
            expected << c.added;
        EXPECT_EQ(comboItems(*bed.main.cmbExt), expected);
        if (c.added) {
            EXPECT_EQ(bed.main.cmbExt->currentText(), c.added);
        }
    }

    // A picked row fills the box with its extension, dot and all.
    const auto png = picker.lstFile->findItems(".png", Qt::MatchExactly);
    ASSERT_EQ(png.size(), 1);
    picker.lstFile->setCurrentItem(png.first());
    EXPECT_EQ(picker.txtCustom->text(), ".png");
    QTest::mouseClick(picker.cmdAdd, Qt::LeftButton);
    EXPECT_EQ(bed.main.cmbExt->currentText(), "png");
    EXPECT_TRUE(picker.isVisible());
    // The rules see the new types at once; the file waits for OK.
    EXPECT_EQ(bed.core->settings.WatchedExtensions.last(), "png");

    QTest::mouseClick(picker.cmdClose, Qt::LeftButton);
    EXPECT_FALSE(picker.isVisible());
}

TEST(SettingsWindow, DeleteRemovesTheSelectedTypeAndSelectsTheFirst)
{
    SettingsBed bed;
    bed.main.show();
    QComboBox &types = *bed.main.cmbExt;
    types.setCurrentIndex(2);
    QTest::mouseClick(bed.main.cmdDelExt, Qt::LeftButton);
    EXPECT_EQ(comboItems(types), QStringList({"EXE", "SRC", "BMP", "JPG"}));
    EXPECT_EQ(types.currentIndex(), 0);
    EXPECT_EQ(bed.core->settings.WatchedExtensions,
              QList<QByteArray>({"EXE", "SRC", "BMP", "JPG"}));

    types.setCurrentIndex(-1); // nothing selected: nothing goes
    QTest::mouseClick(bed.main.cmdDelExt, Qt::LeftButton);
    EXPECT_EQ(types.count(), 4);
    EXPECT_EQ(types.currentIndex(), 0);

    for (int i = 0; i < 5; ++i) // one more than there are
        QTest::mouseClick(bed.main.cmdDelExt, Qt::LeftButton);
    EXPECT_EQ(types.count(), 0);
    bed.main.cmdOK->click();
    EXPECT_EQ(bed.dir.read("data/Settings.ini"), "\r\n");
}
