#include "platform/cregister.h"
#include "store/accountsecurity.h"
#include "store/reviewqueue.h"
#include "support/coretestbed.h"
#include "support/faketransport.h"
#include "support/filesizelimit.h"
#include "ui/editors/frmaccounteditor.h"
#include "ui/editors/frmaddaccount.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
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
    EXPECT_EQ(dialog.cmbSecurity->currentText(), "SSL/TLS");
    EXPECT_EQ(dialog.Text5->text(), "995");
    // Type and security, chosen in either order, give the port their pair uses while the box
    // holds the previous choice's default.
    const struct
    {
        const char *type;
        const char *security;
        const char *port;
    } choices[] = {
        {"IMAP", "SSL/TLS", "993"},   {"IMAP", "STARTTLS", "143"}, {"POP3", "STARTTLS", "110"},
        {"POP3", "None", "110"},      {"IMAP", "None", "143"},     {"IMAP", "Automatic", "143"},
        {"POP3", "Automatic", "110"}, {"POP3", "SSL/TLS", "995"},
    };
    for (const auto &choice : choices) {
        SCOPED_TRACE(std::string(choice.type) + " " + choice.security);
        dialog.cmbServerType->setCurrentText(choice.type);
        dialog.cmbSecurity->setCurrentText(choice.security);
        EXPECT_EQ(dialog.Text5->text(), choice.port);
        dialog.cmbSecurity->setCurrentText("None");
        dialog.cmbSecurity->setCurrentText(choice.security);
        dialog.cmbServerType->setCurrentText(choice.type == std::string("IMAP") ? "POP3" : "IMAP");
        dialog.cmbServerType->setCurrentText(choice.type);
        EXPECT_EQ(dialog.Text5->text(), choice.port);
    }
    // A port the user typed stays whatever is chosen after it.
    dialog.Text5->setText("27027");
    dialog.cmbSecurity->setCurrentText("STARTTLS");
    dialog.cmbServerType->setCurrentText("IMAP");
    EXPECT_EQ(dialog.Text5->text(), "27027");
    dialog.cmbServerType->setCurrentText("IMAP");

    type(dialog, "Home", "imap.example.com", "joe", "");
    dialog.cmdAdd->click();
    EXPECT_EQ(bed.prompter.warnings, QStringList {"Fill All Text boxes first.!!!"});
    EXPECT_FALSE(dialog.account());

    dialog.Text4->setText("secret");
    const QString notANumber = "Enter a numeric value in port text box.!!";
    const QString outOfRange = "The port must be a whole number from 1 to 32767.";
    const struct
    {
        const char *port;
        QString warning;
    } ports[] = {{"abc", notANumber},   {"", "Fill All Text boxes first.!!!"},
                 {"110.6", outOfRange}, {"0", outOfRange},
                 {"40000", outOfRange}, {"-110", outOfRange}};
    for (const auto &p : ports) {
        SCOPED_TRACE(p.port);
        bed.prompter.warnings.clear();
        dialog.Text5->setText(p.port);
        dialog.cmdAdd->click();
        EXPECT_EQ(bed.prompter.warnings, QStringList {p.warning});
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
    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles, *bed.registry,
                            bed.core->IsChecking);
    EXPECT_EQ(editor.cmbAccount->count(), 0);
    const auto hiddenCharacter = [](const QLineEdit *box) {
        return QChar(box->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, box));
    };
    EXPECT_EQ(hiddenCharacter(editor.txtPassword), u'*');
    editor.cmdEdit->click();
    editor.cmdDelete->click();
    EXPECT_TRUE(bed.prompter.questions.isEmpty());

    whenDialogOpens([&hiddenCharacter](frmAddAccount &d) {
        EXPECT_EQ(hiddenCharacter(d.Text4), u'*');
        type(d, "Home", "pop.example.com", "joe", "abc");
        d.cmdAdd->click();
    });
    editor.cmdAdd->click();
    EXPECT_EQ(editor.cmbAccount->currentText(), "Home");
    EXPECT_EQ(editor.txtMailServer->text(), "pop.example.com");
    editor.cmdOK->click();
    EXPECT_EQ(bed.dir.read("data/Accounts.ini"),
              "POP3\r\nHome\r\npop.example.com\r\njoe\r\nYGFi\r\n995\r\n");
    EXPECT_TRUE(bed.core->lists.AccountsLoaded);
    EXPECT_EQ(LoadAccountSecurity(*bed.registry, bed.core->lists.Accounts.at(0)).mode,
              SecurityMode::SslTls);
}

TEST(AccountEditor, SecurityFollowsTheAccountsKeyAndLeavesWithIt)
{
    CoreTestbed bed;
    bed.dir.write("data/Accounts.ini", threeAccounts);
    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles, *bed.registry,
                            bed.core->IsChecking);
    const MailAccount home = bed.core->lists.Accounts.at(0);
    const MailAccount work = bed.core->lists.Accounts.at(1);
    const MailAccount old = bed.core->lists.Accounts.at(2);
    SaveAccountSecurity(*bed.registry, home, {SecurityMode::None, "AB:CD"});
    SaveAccountSecurity(*bed.registry, old, {SecurityMode::StartTls, {}});
    editor.reload();

    editor.cmbAccount->setCurrentIndex(0);
    whenDialogOpens([](frmAddAccount &d) {
        EXPECT_EQ(d.cmbSecurity->currentText(), "None");
        EXPECT_EQ(d.Text5->text(), "110");
        d.Text2->setText("mail.example.net");
        d.Text4->setText("new");
        d.cmdAdd->click();
    });
    editor.cmdEdit->click();
    // Nothing stored shows as "Automatic", and stays unstored when kept.
    editor.cmbAccount->setCurrentIndex(1);
    whenDialogOpens([](frmAddAccount &d) {
        EXPECT_EQ(d.cmbSecurity->currentText(), "Automatic");
        EXPECT_EQ(d.Text5->text(), "143");
        d.Text4->setText("new");
        d.cmdAdd->click();
    });
    editor.cmdEdit->click();
    bed.prompter.answers = {true};
    editor.cmbAccount->setCurrentIndex(2);
    editor.cmdDelete->click();
    editor.cmdOK->click();

    EXPECT_EQ(bed.dir.read("data/Accounts.ini").count("\r\n"), 12);
    MailAccount moved = home;
    moved.MailServer = "mail.example.net";
    const AccountSecurity atNewKey = LoadAccountSecurity(*bed.registry, moved);
    EXPECT_EQ(atNewKey.mode, SecurityMode::None);
    EXPECT_EQ(atNewKey.trustedSha256, "AB:CD");
    EXPECT_FALSE(LoadAccountSecurity(*bed.registry, home).mode);
    EXPECT_TRUE(LoadAccountSecurity(*bed.registry, home).trustedSha256.isEmpty());
    EXPECT_FALSE(LoadAccountSecurity(*bed.registry, work).mode);
    EXPECT_FALSE(LoadAccountSecurity(*bed.registry, old).mode);
}

TEST(AccountEditor, SecurityStaysWithTheAccountsWhenTheirFileCannotBeWritten)
{
    CoreTestbed bed;
    bed.dir.write("data/Accounts.ini", threeAccounts);
    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles, *bed.registry,
                            bed.core->IsChecking);
    const MailAccount home = bed.core->lists.Accounts.at(0);
    SaveAccountSecurity(*bed.registry, home, {SecurityMode::None, "AB:CD"});
    editor.reload();
    editor.cmbAccount->setCurrentIndex(0);
    whenDialogOpens([](frmAddAccount &d) {
        d.Text2->setText("mail.example.net");
        d.Text4->setText("new");
        d.cmdAdd->click();
    });
    editor.cmdEdit->click();
    {
        const FileSizeLimit fullDisk(16);
        editor.cmdOK->click();
    }

    EXPECT_EQ(bed.dir.read("data/Accounts.ini"), threeAccounts);
    EXPECT_EQ(bed.core->lists.Accounts.at(0).MailServer, home.MailServer);
    const AccountSecurity kept = LoadAccountSecurity(*bed.registry, home);
    EXPECT_EQ(kept.mode, SecurityMode::None);
    EXPECT_EQ(kept.trustedSha256, "AB:CD");
    MailAccount moved = home;
    moved.MailServer = "mail.example.net";
    EXPECT_FALSE(LoadAccountSecurity(*bed.registry, moved).mode);
}

TEST(AccountEditor, EditTakesThePasswordAgain)
{
    CoreTestbed bed;
    bed.dir.write("data/Accounts.ini", threeAccounts);
    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles, *bed.registry,
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
                                *bed.registry, bed.core->IsChecking);
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

    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles, *bed.registry,
                            bed.core->IsChecking);
    bed.prompter.answers = {true, true};
    editor.cmbAccount->setCurrentIndex(1);
    editor.cmdDelete->click();
    editor.cmbAccount->setCurrentIndex(1);
    editor.cmdDelete->click();
    editor.cmdOK->click();
    EXPECT_EQ(bed.dir.read("data/Accounts.ini"),
              "POP3\r\nHome\r\npop.example.com\r\njoe\r\nYGFi\r\n110\r\n");
    ASSERT_EQ(bed.core->lists.Accounts.size(), 1);
    EXPECT_EQ(bed.core->lists.Accounts[0].AccountName, "Home");
    EXPECT_EQ(bed.core->lists.Accounts[0].MailServer, "pop.example.com");

    frmAccountEditor last(bed.core->services, bed.core->lists, bed.core->listFiles, *bed.registry,
                          bed.core->IsChecking);
    bed.prompter.answers = {true};
    last.cmdDelete->click();
    last.cmdOK->click();
    EXPECT_EQ(bed.dir.read("data/Accounts.ini"), "");
    EXPECT_FALSE(bed.core->lists.AccountsLoaded);
}

// Messages awaiting review belong to the mailbox they were found in: OK drops those of an
// account that now reaches another server, or was deleted, and says how many went. A new
// name alone leaves them.
TEST(AccountEditor, OkDropsTheReviewOfChangedAndDeletedAccountsAndSaysHowMany)
{
    CoreTestbed bed;
    bed.dir.write("data/Accounts.ini", threeAccounts);
    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles, *bed.registry,
                            bed.core->IsChecking);
    editor.setReviewQueue(bed.core->reviewQueue);
    ReviewQueue &queue = bed.core->reviewQueue;
    const QList<MailAccount> accounts = bed.core->lists.Accounts;
    const auto held = [](const QByteArray &serverId) {
        ReviewItem item;
        item.serverId = serverId;
        return item;
    };
    ASSERT_TRUE(queue.replaceAccount(accounts.at(0), {held("H1"), held("H2")}));
    ASSERT_TRUE(queue.replaceAccount(accounts.at(1), {held("W1")}));
    ASSERT_TRUE(queue.replaceAccount(accounts.at(2), {held("O1")}));
    ASSERT_TRUE(queue.keep({queue.items().at(0)}));

    editor.cmbAccount->setCurrentIndex(0);
    whenDialogOpens([](frmAddAccount &d) {
        d.Text2->setText("pop.example.net");
        d.Text4->setText("new");
        d.cmdAdd->click();
    });
    editor.cmdEdit->click();
    editor.cmbAccount->setCurrentIndex(1);
    whenDialogOpens([](frmAddAccount &d) {
        d.Text1->setText("Office");
        d.Text4->setText("new");
        d.cmdAdd->click();
    });
    editor.cmdEdit->click();
    bed.prompter.answers = {true};
    editor.cmbAccount->setCurrentIndex(2);
    editor.cmdDelete->click();
    editor.cmdOK->click();

    EXPECT_EQ(bed.prompter.warnings,
              QStringList {"2 messages awaiting review were dropped: their account was deleted "
                           "or now reaches another mailbox."});
    ASSERT_EQ(queue.count(), 1);
    EXPECT_EQ(queue.items().at(0).serverId, "W1");
    EXPECT_FALSE(queue.isKept(identityOf(accounts.at(0)), "H1"));

    // Saved again without a change of mailbox: nothing goes, nothing is said.
    bed.prompter.warnings.clear();
    editor.reload();
    editor.cmdOK->click();
    EXPECT_TRUE(bed.prompter.warnings.isEmpty());
    EXPECT_EQ(queue.count(), 1);
}

// A refused certificate is trusted for its own account only once the box is ticked, and a
// trusted one can be given up the same way.
TEST(AccountEditor, TrustsTheRefusedCertificateOfOneAccount)
{
    CoreTestbed bed;
    bed.dir.write("data/Accounts.ini", threeAccounts);
    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles, *bed.registry,
                            bed.core->IsChecking);
    const MailAccount home = bed.core->lists.Accounts.at(0);
    const MailAccount work = bed.core->lists.Accounts.at(1);
    SaveRefusedCertificate(*bed.registry, home, "AB:CD");
    SaveAccountSecurity(*bed.registry, work, {SecurityMode::SslTls, "12:34"});
    editor.reload();

    const auto edit = [&](int entry, bool trust, const QString &shown) {
        editor.cmbAccount->setCurrentIndex(entry);
        whenDialogOpens([trust, shown](frmAddAccount &d) {
            EXPECT_EQ(d.lblCertificate->text(), shown);
            d.chkTrust->setChecked(trust);
            d.Text4->setText("new");
            d.cmdAdd->click();
        });
        editor.cmdEdit->click();
    };
    edit(0, true, "The server's certificate was refused: AB:CD");
    edit(1, false, "This account trusts the certificate: 12:34");
    editor.cmdOK->click();

    EXPECT_EQ(LoadAccountSecurity(*bed.registry, home).trustedSha256, "AB:CD");
    EXPECT_TRUE(LoadRefusedCertificate(*bed.registry, home).isEmpty());
    EXPECT_EQ(LoadAccountSecurity(*bed.registry, work).mode, SecurityMode::SslTls);
    EXPECT_TRUE(LoadAccountSecurity(*bed.registry, work).trustedSha256.isEmpty());
}

// The test runs on the connection's events with the values as typed, keeps the dialog usable
// and says what happened; a refused certificate can then be trusted from the dialog.
TEST(AccountDialog, TestConnectionLogsInWithTheTypedValues)
{
    CoreTestbed bed;
    frmAddAccount dialog(bed.core->services, false);
    dialog.setConnectionTimeOut(20);
    FakeTransport *net = nullptr;
    int connections = 0;
    dialog.setTransportMaker([&net, &connections] {
        auto transport = std::make_unique<FakeTransport>();
        net = transport.get();
        ++connections;
        return transport;
    });
    dialog.cmbServerType->setCurrentText("IMAP");
    dialog.cmbSecurity->setCurrentText("None");
    type(dialog, "", "imap.example.com", "joe", "");
    dialog.cmdTest->click();
    EXPECT_EQ(bed.prompter.warnings, QStringList {"Fill All Text boxes first.!!!"});
    dialog.Text4->setText("pa ss");
    dialog.Text5->setText("143.5");
    dialog.cmdTest->click();
    EXPECT_EQ(bed.prompter.warnings.value(1), "The port must be a whole number from 1 to 32767.");
    EXPECT_EQ(connections, 0);

    dialog.Text5->setText("1143");
    dialog.cmdTest->click();
    ASSERT_NE(net, nullptr);
    EXPECT_FALSE(dialog.cmdTest->isEnabled());
    EXPECT_EQ(dialog.lblTestResult->text(), "Testing the connection to imap.example.com...");
    EXPECT_EQ(net->host, "imap.example.com");
    EXPECT_EQ(net->port, 1143);
    EXPECT_EQ(net->encryptedConnects, 0);
    net->serverSends("* OK ready\r\n");
    EXPECT_EQ(net->takeWritten(), "a001 LOGIN \"joe\" \"pa ss\"\r\n");
    net->serverSends("a001 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n");
    EXPECT_TRUE(dialog.cmdTest->isEnabled());
    EXPECT_EQ(dialog.lblTestResult->text(),
              "Connected to imap.example.com, but the server refused the user name or the "
              "password: a001 NO [AUTHENTICATIONFAILED] Authentication failed.");
    EXPECT_FALSE(dialog.account());

    // The typed port stays when the mode changes.
    dialog.cmbSecurity->setCurrentText("SSL/TLS");
    dialog.cmdTest->click();
    EXPECT_EQ(connections, 2);
    EXPECT_EQ(net->encryptedConnects, 1);
    EXPECT_EQ(net->port, 1143);
    dialog.cmdTest->click(); // disabled while a test runs
    EXPECT_EQ(connections, 2);
    TlsRefusal refusal;
    refusal.reasons = {TlsRefusal::Reason::SelfSigned};
    refusal.sha256 = "AB:CD";
    net->refuse(refusal);
    EXPECT_TRUE(dialog.lblTestResult->text().startsWith(
        "imap.example.com: the secure connection to imap.example.com was refused"))
        << dialog.lblTestResult->text().toStdString();
    EXPECT_EQ(dialog.lblCertificate->text(), "The server's certificate was refused: AB:CD");
    EXPECT_FALSE(dialog.chkTrust->isChecked());
    EXPECT_TRUE(dialog.security().trustedSha256.isEmpty());
    dialog.chkTrust->setChecked(true);
    EXPECT_EQ(dialog.security().trustedSha256, "AB:CD");
}
