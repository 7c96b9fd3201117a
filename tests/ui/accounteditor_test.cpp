#include "support/coretestbed.h"
#include "ui/editors/frmaccounteditor.h"
#include "ui/editors/frmaddaccount.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

namespace {

const QByteArray threeAccounts = "POP3\r\nHome\r\npop.example.com\r\njoe\r\nYGFi\r\n110\r\n"
                                 "IMAP\r\nWork\r\nimap.example.com\r\nann\r\nYGFi\r\n143\r\n"
                                 "POP3\r\nOld\r\nold.example.com\r\nbob\r\nYGFi\r\n110\r\n";

// Runs `fill` on the account dialog as soon as the editor opens it.
void whenDialogOpens(std::function<void(frmAddAccount &)> fill)
{
    QTimer::singleShot(0, [fill] {
        auto *dialog = qobject_cast<frmAddAccount *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        fill(*dialog);
    });
}

void type(frmAddAccount &d, const QString &name, const QString &server, const QString &user,
          const QString &password)
{
    d.Text1->setText(name);
    d.Text2->setText(server);
    d.Text3->setText(user);
    d.Text4->setText(password);
}

} // namespace

TEST(AccountDialog, ServerTypeSetsItsPortAndEveryFieldIsChecked)
{
    CoreTestbed bed;
    frmAddAccount dialog(bed.core->services, false);
    EXPECT_EQ(dialog.cmbServerType->currentText(), "POP3");
    EXPECT_EQ(dialog.Text5->text(), "110");
    dialog.Text5->setText("995");
    dialog.cmbServerType->setCurrentText("IMAP");
    EXPECT_EQ(dialog.Text5->text(), "143");

    type(dialog, "Home", "imap.example.com", "joe", "");
    dialog.cmdAdd->click();
    EXPECT_EQ(bed.prompter.warnings, QStringList {"Fill All Text boxes first.!!!"});
    EXPECT_FALSE(dialog.account());

    dialog.Text4->setText("secret");
    for (const char *port : {"abc", "110.6", "70000", "0"}) {
        SCOPED_TRACE(port);
        bed.prompter.warnings.clear();
        dialog.Text5->setText(port);
        dialog.cmdAdd->click();
        EXPECT_EQ(bed.prompter.warnings, QStringList {"Enter a numeric value in port text box.!!"});
        EXPECT_FALSE(dialog.account());
    }
    dialog.Text5->setText(" 993 ");
    dialog.cmdAdd->click();
    ASSERT_TRUE(dialog.account());
    EXPECT_EQ(dialog.account()->ServerType, "IMAP");
    EXPECT_EQ(dialog.account()->Password, "secret");
    EXPECT_EQ(dialog.account()->Port, 993);
}

TEST(AccountEditor, AddOnAFreshInstallationWritesSixLines)
{
    CoreTestbed bed;
    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles,
                            bed.core->IsChecking);
    EXPECT_EQ(editor.cmbAccount->count(), 0);
    editor.cmdEdit->click();
    editor.cmdDelete->click();
    EXPECT_TRUE(bed.prompter.questions.isEmpty());

    whenDialogOpens([](frmAddAccount &d) {
        type(d, "Home", "pop.example.com", "joe", "abc");
        d.cmdAdd->click();
    });
    editor.cmdAdd->click();
    EXPECT_EQ(editor.cmbAccount->currentText(), "Home");
    EXPECT_EQ(editor.txtMailServer->text(), "pop.example.com");
    editor.cmdOK->click();
    EXPECT_EQ(bed.dir.read("data/Accounts.ini"),
              "POP3\r\nHome\r\npop.example.com\r\njoe\r\nYGFi\r\n110\r\n");
    EXPECT_TRUE(bed.core->lists.AccountsLoaded);
}

TEST(AccountEditor, EditTakesThePasswordAgain)
{
    CoreTestbed bed;
    bed.dir.write("data/Accounts.ini", threeAccounts);
    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles,
                            bed.core->IsChecking);
    editor.cmbAccount->setCurrentIndex(1);
    whenDialogOpens([](frmAddAccount &d) {
        EXPECT_EQ(d.windowTitle(), "Edit an account");
        EXPECT_EQ(d.Text1->text(), "Work");
        EXPECT_EQ(d.Text5->text(), "143");
        EXPECT_TRUE(d.Text4->text().isEmpty());
        d.Text1->setText("Office");
        d.Text4->setText("new");
        d.cmdAdd->click();
    });
    editor.cmdEdit->click();
    EXPECT_EQ(editor.cmbAccount->itemText(1), "Office");
    editor.cmdOK->click();
    ASSERT_EQ(bed.core->lists.Accounts.size(), 3);
    EXPECT_EQ(bed.core->lists.Accounts[1].AccountName, "Office");
    EXPECT_EQ(bed.core->lists.Accounts[1].Password, "new");
}

TEST(AccountEditor, DeletedAccountsLeaveTheFileOnlyOnOk)
{
    CoreTestbed bed;
    bed.dir.write("data/Accounts.ini", threeAccounts);
    {
        frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles,
                                bed.core->IsChecking);
        editor.cmbAccount->setCurrentIndex(1);
        bed.prompter.answers = {false};
        editor.cmdDelete->click();
        EXPECT_EQ(editor.cmbAccount->count(), 3);

        bed.prompter.answers = {true};
        editor.cmdDelete->click();
        EXPECT_EQ(editor.cmbAccount->count(), 2);
        EXPECT_TRUE(editor.txtMailServer->text().isEmpty());
        editor.cmdCancel->click();
    }
    EXPECT_EQ(bed.dir.read("data/Accounts.ini"), threeAccounts);
    EXPECT_EQ(bed.core->lists.Accounts[1].AccountName, "Work");

    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles,
                            bed.core->IsChecking);
    bed.prompter.answers = {true, true};
    editor.cmbAccount->setCurrentIndex(1);
    editor.cmdDelete->click();
    editor.cmbAccount->setCurrentIndex(1);
    editor.cmdDelete->click();
    editor.cmdOK->click();
    EXPECT_EQ(bed.dir.read("data/Accounts.ini"),
              "POP3\r\nHome\r\npop.example.com\r\njoe\r\nYGFi\r\n110\r\n");
    EXPECT_EQ(bed.core->lists.Accounts.size(), 1);

    frmAccountEditor last(bed.core->services, bed.core->lists, bed.core->listFiles,
                          bed.core->IsChecking);
    bed.prompter.answers = {true};
    last.cmdDelete->click();
    last.cmdOK->click();
    EXPECT_EQ(bed.dir.read("data/Accounts.ini"), "");
    EXPECT_FALSE(bed.core->lists.AccountsLoaded);
}
