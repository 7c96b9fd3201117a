// Classification and recording of one large mailbox against parsing the same messages.
//
// 10,000 messages from the shared mailbox generator (one in ten a second copy of an earlier
// one, as a resent message would be) are parsed: the reference. Then CheckAllMessages and
// Add2Hist run over them with a history of 100,000 records, 200 friends, 200 blocked
// senders and 300 spam words. Each phase runs three times on fresh state; medians count.

#include "classify/classifier.h"
#include "lang/language.h"
#include "message/cmessages.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/prompter.h"
#include "platform/textfile.h"
#include "store/actionlog.h"
#include "store/appsettings.h"
#include "store/history.h"
#include "store/maillists.h"
#include "store/services.h"
#include "support/mailboxgenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

namespace {

constexpr int messageCount = 10'000;
constexpr int historyRecords = 100'000;
constexpr int runs = 3;

class SilentNotifier final : public Notifier
{
public:
    void ShowTrayWindow(const QString &) override { }
};

class SilentPrompter final : public Prompter
{
public:
    void warning(const QString &) override { }
    void critical(const QString &) override { }
    bool question(const QString &) override { return false; }
};

QByteArray senderAddress(int n)
{
    const QList<QByteArray> &vocab = MailboxGenerator::vocabulary();
    return vocab.at(n % vocab.size()) + QByteArray::number(n % 100) + "@example.com";
}

QByteArray historyFile(std::mt19937 &random)
{
    QByteArray bytes;
    bytes.reserve(historyRecords * 150);
    for (int n = 1; n <= historyRecords; ++n) {
        const QByteArray number = QByteArray::number(n);
        bytes += "\"Old " + number + "\" <" + senderAddress(int(random() % 50'000))
            + ">\r\n"
              "Old subject "
            + number
            + "\r\n"
              "Mon, 2 Feb 2026 09:00:00 +0000\r\n"
            + QByteArray::number(1000 + int(random() % 9000)) + "\r\n"
            + (n % 3 ? "70044\r\n10152\r\n" : "70043\r\n10154\r\n")
            + "2026-02-02 09:10:00\r\nold account\r\n" + number + "\r\n";
    }
    return bytes;
}

void fillLists(MailLists &lists)
{
    for (int n = 0; n < 200; ++n) {
        lists.FriendList.append(senderAddress(n * 7));
        lists.BlockedList.append(n % 2 ? "*@domain" + QByteArray::number(n) + ".spam"
                                       : senderAddress(n * 7 + 3));
    }
    lists.FriendListLoaded = lists.BlockedListLoaded = true;
    // Words of the generator's texts, so that scores build up, and phrases that never occur.
    const QList<QByteArray> &vocab = MailboxGenerator::vocabulary();
    for (int n = 0; n < 300; ++n) {
        const QByteArray word = n % 10 == 0 ? vocab.at((n * 13) % vocab.size())
                                            : "spam phrase " + QByteArray::number(n);
        lists.BadWords.append(SpamWord {word, qint16(1 + n % 3)});
    }
    lists.BadWordsLoaded = true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Timings
{
    double parse = 0;
    double classify = 0;
    double record = 0;
    int deleted = 0;
    int newRecords = 0;
    QMap<QByteArray, int> reasons;
};

// Parses the messages, then classifies and records them in a fresh data folder under base
// holding the old history. Nothing when recording failed.
std::optional<Timings> runOnce(const QString &base, const std::vector<QByteArray> &raw,
                               const QByteArray &historyBytes, const AppSettings &settings,
                               const MailLists &lists, Services &services, const Clock &clock)
{
    Timings timings;
    QElapsedTimer timer;
    timer.start();
    CMessages messages;
    for (size_t i = 0; i < raw.size(); ++i) {
        CMessage message;
        message.ParseMessage(raw[i]);
        if (!messages.Add(std::move(message), QString::number(i + 1)))
            return std::nullopt;
    }
    timings.parse = timer.nsecsElapsed() / 1e6;

    QTemporaryDir dataDir(base + QStringLiteral("/korvane-bench-XXXXXX"));
    if (!dataDir.isValid() || !QDir().mkpath(dataDir.filePath(QStringLiteral("Mails")))
        || !TextFile::writeAll(dataDir.filePath(QStringLiteral("History.ini")), historyBytes))
        return std::nullopt;
    History history(dataDir.path(), services, clock);
    history.LoadHistory();
    Classifier classifier(settings, lists, services, clock);

    timer.restart();
    const DeleteFlags flags = classifier.CheckAllMessages(messages);
    timings.classify = timer.nsecsElapsed() / 1e6;
    timer.restart();
    const bool recorded = history.Add2Hist(messages, "bench");
    timings.record = timer.nsecsElapsed() / 1e6;
    timings.deleted = NumberOfMes2Del(flags);
    for (const CMessage &message : messages)
        ++timings.reasons[message.Reason];
    timings.newRecords = history.count() - historyRecords;
    if (!recorded || timings.newRecords <= 0)
        return std::nullopt;
    return timings;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SystemClock clock;
    std::mt19937 random(20260314);
    MailboxGenerator generator;

    std::vector<QByteArray> raw;
    raw.reserve(messageCount);
    qint64 rawBytes = 0;
    for (int i = 0; i < messageCount; ++i) {
        raw.push_back(i % 10 == 9 ? raw[random() % raw.size()] : generator.nextMessage());
        rawBytes += raw.back().size();
    }
    const QByteArray historyBytes = historyFile(random);

    AppSettings settings;
    settings.CheckLargerThan = true;
    settings.Days = 9000; // the generated mail is from 2005 to 2008: the rule runs, never fires
    MailLists lists;
    fillLists(lists);
    QTemporaryDir serviceDir;
    Language lang(serviceDir.path());
    ActionLog log(serviceDir.path(), settings, clock);
    SilentNotifier notifier;
    SilentPrompter prompter;
    Services services {lang, log, notifier, prompter};

    // The figure is measured in a memory-backed folder, so that it weighs Korvane's own work
    // and not the disk of a busy shared machine; one run on the disk is shown beside it.
    const QString memoryBase
        = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    std::vector<double> parseMs, classifyMs, recordMs;
    Timings last;
    for (int run = 0; run < runs; ++run) {
        const auto timings
            = runOnce(memoryBase, raw, historyBytes, settings, lists, services, clock);
        if (!timings) {
            std::fprintf(stderr, "recording failed in %s\n", qPrintable(memoryBase));
            return 1;
        }
        parseMs.push_back(timings->parse);
        classifyMs.push_back(timings->classify);
        recordMs.push_back(timings->record);
        last = *timings;
    }
    const auto onDisk
        = runOnce(QDir::tempPath(), raw, historyBytes, settings, lists, services, clock);
    if (!onDisk) {
        std::fprintf(stderr, "recording failed in %s\n", qPrintable(QDir::tempPath()));
        return 1;
    }

    const double parse = median(parseMs);
    const double classify = median(classifyMs);
    const double record = median(recordMs);
    std::printf("messages: %d (%.1f MB), history: %d records, marked for deletion: %d, "
                "newly recorded: %d\n",
                messageCount, rawBytes / 1048576.0, historyRecords, last.deleted, last.newRecords);
    QByteArray reasons;
    for (auto it = last.reasons.cbegin(); it != last.reasons.cend(); ++it)
        reasons += ' ' + it.key() + '=' + QByteArray::number(it.value());
    std::printf("reasons:%s\n", reasons.constData());
    std::printf("in %s, medians of %d: parse %.1f ms, CheckAllMessages %.1f ms, Add2Hist %.1f ms\n",
                qPrintable(memoryBase), runs, parse, classify, record);
    std::printf("in %s, one run: parse %.1f ms, CheckAllMessages %.1f ms, Add2Hist %.1f ms "
                "(ratio %.3f)\n",
                qPrintable(QDir::tempPath()), onDisk->parse, onDisk->classify, onDisk->record,
                (onDisk->classify + onDisk->record) / onDisk->parse);
    std::printf("figure: classify_and_record_vs_parse = %.3f (target <= 1)\n",
                (classify + record) / parse);
    return 0;
}
