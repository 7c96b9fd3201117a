// One check of a data folder's account against a mail server, killed with SIGKILL as the
// given message text arrives, as a program killed in the middle of a check:
//
//   korvane_killed_check DATA_DIR POP3|IMAP PORT USER PASSWORD N|confirm
//
// With "confirm" it dies when the history has been written and the server is about to be
// asked to make the deletions final: as POP3 QUIT or the IMAP CAPABILITY before the expunge
// is sent.
//
// The core has the rules of the end-to-end tests and writes no log (the log is the test's).
// It tells "killed" on the standard output just before it dies, and ends with 3 when the
// check ended before the Nth message arrived, 2 on wrong arguments.

#include "e2erules.h"
#include "engine/korvanecore.h"
#include "platform/cregister.h"
#include "store/accountsecurity.h"
#include "support/fakes.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

int killAt = 0; // 0: at the confirmation
int arrived = 0;

[[noreturn]] void die()
{
    std::fputs("killed\n", stdout);
    std::fflush(stdout);
    std::raise(SIGKILL);
    std::abort();
}

// The protocol log names every message text as it arrives, before the session handles it:
// "S: 1234 bytes of message text" (POP3), "S: * 3 FETCH (... BODY[] {1234})" (IMAP).
void countArrivals(QtMsgType, const QMessageLogContext &context, const QString &text)
{
    static const QRegularExpression messageText(
        QStringLiteral(R"(^S: (?:\d+ bytes of message text$|\* \d+ FETCH .*BODY\[\] \{\d+\}))"));
    static const QRegularExpression confirmation(
        QStringLiteral(R"(^C: (?:QUIT|a203 CAPABILITY)$)"));
    if (qstrcmp(context.category, "korvane.protocol") != 0)
        return;
    if (killAt == 0 && confirmation.match(text).hasMatch())
        die();
    if (killAt > 0 && messageText.match(text).hasMatch() && ++arrived == killAt)
        die();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 7 || (args.at(6) != QStringLiteral("confirm") && args.at(6).toInt() < 1))
        return 2;
    killAt = args.at(6) == QStringLiteral("confirm") ? 0 : args.at(6).toInt();

    QTemporaryDir home;
    FakePrompter prompter;
    FakeNotifier notifier;
    FakeClock clock;
    FakeTray tray;
    CRegister registry(home.filePath(QStringLiteral("Korvane.conf")));
    KorvaneCore core(CoreEnvironment {args.at(1), prompter, notifier, clock, registry, tray,
                                      QStringLiteral("/opt/Korvane/korvane"),
                                      home.filePath(QStringLiteral("Korvane.desktop"))});
    core.armTimers();
    applyE2eRules(core);
    core.settings.WriteLog = false;
    core.history.LoadHistory();

    MailAccount account;
    account.ServerType = args.at(2).toUtf8();
    account.AccountName = "Home";
    account.MailServer = "127.0.0.1";
    account.Port = qint16(args.at(3).toUInt());
    account.UserName = args.at(4).toUtf8();
    account.Password = args.at(5).toUtf8();
    core.lists.Accounts = {account};
    core.lists.AccountsLoaded = true;
    if (!SaveAccountSecurity(registry, account, {SecurityMode::None, {}}))
        return 2;

    qInstallMessageHandler(countArrivals);
    QLoggingCategory::setFilterRules(QStringLiteral("korvane.protocol.debug=true"));
    core.checkCycle.CheckNow();
    QDeadlineTimer deadline(60000);
    while (core.IsChecking && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return 3;
}
