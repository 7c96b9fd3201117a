#include "support/coretestbed.h"
#include "ui/editors/frmaddext.h"
#include "ui/editors/frmmain.h"
#include "ui/tray/traymenu.h"

#include <QComboBox>
#include <QMimeDatabase>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

struct SettingsBed : CoreTestbed
{
    TrayMenu menu;
    frmMain main {*core, menu};
};

QString rowText(const QTreeWidget &list, int row)
{
    return list.topLevelItem(row)->text(0);
}

} // namespace

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
