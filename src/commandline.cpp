#include "commandline.h"

#include "engine/remotecommand.h"
#include "engine/singleinstance.h"
#include "platform/datadir.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace {

void print(std::FILE *stream, const char *text)
{
    std::fputs(text, stream);
    std::fputc('\n', stream);
}

int report(RemoteOutcome outcome)
{
    switch (outcome) {
    case RemoteOutcome::NotRunning:
        print(stderr, "Korvane is not running.");
        return 1;
    case RemoteOutcome::CheckStarted:
        print(stdout, "A check has started.");
        return 0;
    case RemoteOutcome::AlreadyChecking:
        print(stdout, "A check is already running.");
        return 0;
    case RemoteOutcome::HasQuit:
        print(stdout, "Korvane has quit.");
        return 0;
    case RemoteOutcome::StillRunning:
        print(stderr, "Korvane has not ended yet.");
        return 1;
    case RemoteOutcome::NoAnswer:
        print(stderr, "Korvane did not answer.");
        return 1;
    }
    return 1;
}

} // namespace

bool isCommandLineRequest(int argc, char **argv)
{
    // Only our own options: Qt's (-platform, -session from a session manager) and anything
    // else are left to the program, as they always were.
    static constexpr const char *options[]
        = {"-h", "-?", "--help", "--help-all", "-v", "--version", "--check-now", "--quit"};
    for (int i = 1; i < argc; ++i)
        for (const char *option : options)
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

int runCommandLine()
{
    QCoreApplication::setApplicationName(QStringLiteral("Korvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Korvane checks your POP3 and IMAP mailboxes and deletes spam on the "
                       "server."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption checkNow(
        QStringLiteral("check-now"),
        QStringLiteral("Asks the running Korvane to check the mail accounts now."));
    const QCommandLineOption quit(
        QStringLiteral("quit"),
        QStringLiteral("Asks the running Korvane to exit, and waits until it has."));
    parser.addOptions({checkNow, quit});
    // Help, version and a wrong option are answered here, and the program ends.
    parser.process(QCoreApplication::arguments());

    if (parser.isSet(checkNow) == parser.isSet(quit)) {
        print(stderr, "Give one of --check-now and --quit.");
        return 1;
    }
    // The data folder of the running copy, where its marker is without a runtime folder.
    const SingleInstance instance(resolveDataDir(QCoreApplication::applicationDirPath()).path);
    return report(askRunningCopy(
        instance, parser.isSet(quit) ? RemoteRequest::Quit : RemoteRequest::CheckNow));
}
