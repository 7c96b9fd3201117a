// One check of a data folder's account against a mail server, killed with SIGKILL as the
// given message text arrives, as a program killed in the middle of a check:
//
//   korvane_killed_check DATA_DIR POP3|IMAP PORT USER PASSWORD N
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

namespace {

int killAt = 0;
int arrived = 0;

// The protocol log names every message text as it arrives, before the session handles it:
// "S: 1234 bytes of message text" (POP3), "S: * 3 FETCH (... BODY[] {1234})" (IMAP).
void countArrivals(QtMsgType, const QMessageLogContext &context, const QString &text)
{
    static const QRegularExpression messageText(
        QStringLiteral(R"(^S: (?:\d+ bytes of message text$|\* \d+ FETCH .*BODY\[\] \{\d+\}))"));
    if (qstrcmp(context.category, "korvane.protocol") != 0 || !messageText.match(text).hasMatch())
        return;
    if (++arrived == killAt) {
        std::fputs("killed\n", stdout);
        std::fflush(stdout);
        std::raise(SIGKILL);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 7 || args.at(6).toInt() < 1)
        return 2;
    killAt = args.at(6).toInt();

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
