#include "store/verdictkeys.h"
#include "support/coretestbed.h"
#include "ui/editors/korvanewindows.h"
#include "ui/tray/trayicon.h"
#include "ui/tray/traymenu.h"
#include "ui/viewer/celldirectiondelegate.h"
#include "ui/viewer/frmstat.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

const QString shippedLang = QStringLiteral(TEST_DATA_DIR "/../../lang/");

// A data folder whose Lang folder holds the given shipped files, and the history viewer
// loaded over it by load().
struct ViewerBed : CoreTestbed
{
    explicit ViewerBed(const QStringList &shipped, const QString &languageFile)
    {
        QDir().mkpath(dir.file("data/Lang"));
        for (const QString &name : shipped)
            QFile::copy(shippedLang + name, dir.file("data/Lang/" + name));
        core->lang.LanguageFile = languageFile;
    }
    frmStat &load()
    {
        windows.loadViewer();
        return windows.viewer();
    }
    frmStat &viewer() { return windows.viewer(); }
    // Files as an installed program ships them, in its shared folder.
    void ship(const QStringList &shipped)
    {
        QDir().mkpath(dir.file("share/Lang"));
        for (const QString &name : shipped)
            QFile::copy(shippedLang + name, dir.file("share/Lang/" + name));
    }
    void pick(const QString &entry)
    {
        const int index = viewer().ComboLang->findText(entry);
        ASSERT_GE(index, 0) << entry.toStdString();
        viewer().ComboLang->setCurrentIndex(index);
        emit viewer().ComboLang->activated(index);
    }
    TrayMenu menu;
    TrayIcon trayIcon {menu};
    KorvaneWindows windows {*core, trayIcon, menu};
};

QStringList itemsOf(const QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

// Column 5 (status) and 6 (reason) of every row.
QStringList tableWords(const QTreeWidget *table)
{
    QStringList words;
    for (int i = 0; i < table->topLevelItemCount(); ++i)
        words << table->topLevelItem(i)->text(5) + " / " + table->topLevelItem(i)->text(6);
    return words;
}

// The colour in the middle of an entry's picture, above its stripe.
QRgb pictureColour(const QComboBox *box, int index)
{
    const QImage image = box->itemIcon(index).pixmap(box->iconSize()).toImage();
    return image.pixel(2, image.height() / 4);
}

} // namespace

TEST(LanguageSelector, SwitchesTheViewerToArabicAndBack)
{
    ViewerBed bed({"English.ini", "Arabic.ini", "English.bmp", "Arabic.bmp"}, "English.ini");
    const auto add = [&](MessageStatus status, Reason reason, int number) {
        bed.core->history.append(HistoryRecord {"a@b.example", "s", "d", "1024", keyOf(status),
                                                keyOf(reason), "2026-03-14 09:00:00", "Home",
                                                number});
    };
    add(MessageStatus::Kept, Reason::NoRule, 1);
    add(MessageStatus::Deleted, Reason::BlockedSender, 2);
    frmStat &viewer = bed.load();
    viewer.FillCombos();
    QComboBox *languages = viewer.ComboLang;
    ASSERT_EQ(itemsOf(languages), QStringList({"Arabic", "English"}));
    EXPECT_EQ(languages->currentText(), "English");
    // Each pack beside its own picture: the green badge is the Arabic one.
    EXPECT_EQ(pictureColour(languages, 0), qRgb(31, 122, 77));
    EXPECT_EQ(pictureColour(languages, 1), qRgb(36, 64, 122));

    bed.pick("Arabic");
    EXPECT_EQ(bed.core->lang.LanguageFile, "Arabic.ini");
    EXPECT_EQ(viewer.layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(viewer.optToday->text(), "اليوم");
    EXPECT_EQ(viewer.lstStat->headerItem()->text(5), "الحالة");
    EXPECT_EQ(itemsOf(viewer.cmbMessages),
              QStringList({"الكل", "محذوفة", "موجودة", "بانتظار المراجعة", "بانتظار تأكيد الحذف"}));
    EXPECT_EQ(itemsOf(viewer.cmbSender), QStringList({"الكل", "صديق", "محظور", "آخرون"}));
    EXPECT_EQ(viewer.cmbAccounts->itemText(0), "جميع الحسابات");
    EXPECT_EQ(tableWords(viewer.lstStat),
              QStringList({"موجودة / لم تنطبق أي قاعدة", "محذوفة / مرسل محظور"}));
    // The status filter compares the words of the new pack.
    viewer.cmbMessages->setCurrentIndex(1);
    emit viewer.cmbMessages->activated(1);
    EXPECT_EQ(tableWords(viewer.lstStat), QStringList({"محذوفة / مرسل محظور"}));

    bed.pick("English");
    EXPECT_EQ(bed.core->lang.LanguageFile, "English.ini");
    EXPECT_EQ(viewer.layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(viewer.optToday->text(), "Today");
    EXPECT_EQ(viewer.lstStat->headerItem()->text(5), "Status");
    EXPECT_EQ(itemsOf(viewer.cmbSender), QStringList({"All", "Friend", "Blocked", "Others"}));
    EXPECT_EQ(viewer.cmbMessages->currentText(), "Deleted");
    EXPECT_EQ(tableWords(viewer.lstStat), QStringList({"Deleted / Blocked sender"}));
}

TEST(LanguageSelector, ListsTheShippedPacksWithTheUsersOwn)
{
    ViewerBed bed({}, "Arabic.ini");
    bed.ship({"English.ini", "Arabic.ini", "English.bmp", "Arabic.bmp"});
    bed.dir.write("data/Lang/English.ini", "[Korvane]\r\n70001=Only today\r\n");
    bed.dir.write("data/Lang/Zulu.ini", "[Korvane]\r\n70001=Namhlanje\r\n");
    frmStat &viewer = bed.load();
    QComboBox *languages = viewer.ComboLang;
    ASSERT_EQ(itemsOf(languages), QStringList({"Arabic", "English", "Zulu"}));
    EXPECT_EQ(languages->currentText(), "Arabic");
    EXPECT_EQ(pictureColour(languages, 0), qRgb(31, 122, 77));
    EXPECT_EQ(pictureColour(languages, 1), qRgb(36, 64, 122));
    EXPECT_TRUE(languages->itemIcon(2).isNull());
    EXPECT_EQ(viewer.layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(viewer.optToday->text(), "اليوم");

    // The user's English pack, not the shipped one.
    bed.pick("English");
    EXPECT_EQ(viewer.optToday->text(), "Only today");
    EXPECT_EQ(viewer.layoutDirection(), Qt::LeftToRight);
    bed.pick("Zulu");
    EXPECT_EQ(viewer.optToday->text(), "Namhlanje");
    EXPECT_TRUE(bed.prompter.criticals.isEmpty());
}

TEST(LanguageSelector, ShowsNoEntryWhenTheActivePackIsNotThere)
{
    ViewerBed bed({"English.ini", "Arabic.ini"}, "German.ini");
    const frmStat &viewer = bed.load();
    EXPECT_EQ(viewer.ComboLang->count(), 2);
    EXPECT_EQ(viewer.ComboLang->currentIndex(), -1);
    EXPECT_TRUE(bed.prompter.criticals.isEmpty());
}

TEST(LanguageSelector, UnreadablePictureLeavesThePacksUnused)
{
    ViewerBed bed({"English.ini", "Arabic.ini", "English.bmp"}, "Arabic.ini");
    bed.dir.write("data/Lang/Arabic.bmp", "not a picture");
    const frmStat &viewer = bed.load();
    EXPECT_TRUE(bed.core->lang.LanguageFailed);
    EXPECT_EQ(bed.prompter.criticals,
              QStringList {"Error in language files,language pack will not loaded."});
    EXPECT_EQ(viewer.ComboLang->count(), 0);
    EXPECT_EQ(viewer.optToday->text(), "Today");
}

// In a right-to-left table a Latin sender keeps its own order, and every cell stays at the
// table's side.
TEST(LanguageSelector, TableCellsKeepTheDirectionOfTheirText)
{
    QStandardItemModel model(1, 2);
    model.setData(model.index(0, 0), QStringLiteral("\"Ann\" <ann@example.com>"));
    model.setData(model.index(0, 1), QStringLiteral("مرسل محظور"));
    CellDirectionDelegate delegate;
    const struct
    {
        Qt::LayoutDirection table;
        int column;
        Qt::LayoutDirection text;
        Qt::Alignment side;
    } cases[] = {
        {Qt::RightToLeft, 0, Qt::LeftToRight, Qt::AlignRight},
        {Qt::RightToLeft, 1, Qt::RightToLeft, Qt::AlignRight},
        {Qt::LeftToRight, 0, Qt::LeftToRight, Qt::AlignLeft},
        {Qt::LeftToRight, 1, Qt::RightToLeft, Qt::AlignLeft},
    };
    for (const auto &c : cases) {
        QStyleOptionViewItem option;
        option.direction = c.table;
        option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        delegate.initStyleOption(&option, model.index(0, c.column));
        EXPECT_EQ(option.direction, c.text) << c.column;
        EXPECT_EQ(option.displayAlignment & Qt::AlignHorizontal_Mask, c.side | Qt::AlignAbsolute)
            << c.column;
    }
}
