#include "ui/tray/messageboxprompter.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

// A box belongs to the dialog the user is in, not to the window the prompter was given: owned
// by that one, it would bring it up over the dialog that asked.
TEST(MessageBoxPrompter, ABoxBelongsToTheWindowThatAsked)
{
    QWidget settings;
    MessageBoxPrompter prompter(&settings);
    settings.show();
    QDialog editor;
    editor.show();
    editor.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));

    QWidget *owner = nullptr;
    QTimer::singleShot(0, [&owner] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        owner = box->parentWidget();
        box->accept();
    });
    prompter.warning(QStringLiteral("Fill All Text boxes first.!!!"));
    EXPECT_EQ(owner, &editor);
}
