// The demo's mailbox and the data folder that goes with it, for scripts/start.sh --demo.
//
//   korvane_demo mailbox FOLDER
//       writes the demo messages as FOLDER/0001.eml, 0002.eml, ... (for mailserver.sh load)
//       and FOLDER/expected.txt: per message, in mailbox order, the reason key the rules
//       give it, a tab and its subject.
//   korvane_demo setup DATAFOLDER SETTINGSFILE PORT USER PASSWORD
//       writes the account of the demo mailbox (POP3 on 127.0.0.1:PORT, in clear), a starter
//       spam word list, blocked senders and friends into DATAFOLDER and the demo's settings
//       into SETTINGSFILE.
//
// The messages come from the tests' mailbox generator with a fixed seed: ham in the words of
// office mail, spam in the words the starter list weighs, senders that the lists name. Dates
// are counted back from now, so that the age rule spares all but a few old ones.
#include "platform/cregister.h"
#include "store/accountsecurity.h"
#include "store/password.h"
#include "support/mailboxgenerator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSaveFile>
#include <QSet>

#include <cstdio>
#include <random>

namespace {

// Words of office and family mail: none of them is on the starter spam word list.
const QList<QByteArray> hamWords {
    "the",      "of",        "and",     "to",       "in",       "is",      "you",      "that",
    "it",       "was",       "for",     "on",       "are",      "as",      "with",     "they",
    "at",       "be",        "this",    "have",     "from",     "or",      "one",      "had",
    "by",       "but",       "not",     "what",     "all",      "were",    "we",       "when",
    "your",     "can",       "said",    "there",    "use",      "each",    "which",    "do",
    "how",      "their",     "if",      "will",     "up",       "other",   "about",    "out",
    "then",     "them",      "these",   "so",       "some",     "would",   "make",     "like",
    "into",     "time",      "has",     "look",     "two",      "more",    "write",    "go",
    "see",      "number",    "no",      "way",      "could",    "people",  "my",       "than",
    "first",    "been",      "call",    "who",      "now",      "find",    "long",     "down",
    "day",      "did",       "get",     "come",     "made",     "may",     "part",     "meeting",
    "report",   "invoice",   "project", "friday",   "monday",   "lunch",   "please",   "attached",
    "thanks",   "regards",   "review",  "schedule", "budget",   "draft",   "agenda",   "update",
    "question", "answer",    "team",    "office",   "client",   "order",   "delivery", "garden",
    "holiday",  "photos",    "family",  "weekend",  "football", "music",   "concert",  "ticket",
    "train",    "station",   "airport", "hotel",    "booking",  "confirm", "cancel",   "price",
    "list",     "catalogue", "release", "version",  "server",   "backup",  "printer",  "network",
    "upgrade",  "license",   "support", "service",  "contract",
};

// Words of spam: most of them are on the starter list.
const QList<QByteArray> spamWords {
    "free",       "offer",   "cheap",       "pills",       "viagra",      "casino",      "winner",
    "prize",      "lottery", "money",       "credit",      "loan",        "mortgage",    "discount",
    "click",      "here",    "unsubscribe", "limited",     "guarantee",   "deal",        "save",
    "investment", "bonus",   "exclusive",   "claim",       "refund",      "pharmacy",    "replica",
    "watches",    "dating",  "singles",     "weight",      "loss",        "diet",        "miracle",
    "cure",       "million", "dollars",     "transfer",    "beneficiary", "inheritance", "prince",
    "stock",      "alert",   "hot",         "tips",        "profit",      "risk",        "income",
    "home",       "work",    "business",    "opportunity", "you",         "your",        "now",
    "the",        "and",     "to",          "of",
};

// The starter spam word list: weights that a few dozen hits add up past the Normal level's
// threshold of 200, while a single word in a friend's joke or a real offer stays below it.
const QList<std::pair<QByteArray, int>> starterSpamWords {
    {"viagra", 50},      {"casino", 40},    {"lottery", 40},     {"inheritance", 40},
    {"beneficiary", 30}, {"winner", 30},    {"prize", 30},       {"pills", 30},
    {"pharmacy", 30},    {"replica", 30},   {"weight loss", 30}, {"miracle", 25},
    {"click here", 25},  {"exclusive", 15}, {"guarantee", 15},   {"bonus", 15},
    {"cheap", 15},       {"mortgage", 15},  {"loan", 10},        {"unsubscribe", 10},
    {"free", 5},         {"discount", 5},
};

struct Person
{
    QByteArray name;
    QByteArray address;
};

const QList<Person> colleagues {
    {"Dana Whitfield", "dana.whitfield@example.com"},
    {"Omar Haddad", "omar.haddad@example.org"},
    {"Priya Natarajan", "priya@projects.example.net"},
    {"Helpdesk", "helpdesk@example.com"},
    {"Tom Becker", "tom.becker@example.net"},
    {"Accounts Payable", "billing@supplier.example"},
    {"Rail Bookings", "noreply@rail.example"},
    {"City Library", "news@library.example.org"},
};

const QList<Person> friends {
    {"Alice Moreau", "alice@example.org"},
    {"Mum", "mum@family.example"},
    {"Sam", "sam@family.example"},
    {"Ben Ortiz", "ben.ortiz@example.net"},
};
const QList<QByteArray> friendList {"alice@example.org", "*@family.example",
                                    "ben.ortiz@example.net"};

const QList<Person> blockedSenders {
    {"Royal Casino", "vip@casino.example"},
    {"Royal Casino", "bonus@casino.example"},
    {"MegaStore", "promo@megastore.example.com"},
    {"National Lottery Board", "claims@lottery.example.net"},
};
const QList<QByteArray> blockedList {"*@casino.example", "promo@megastore.example.com",
                                     "*@lottery.example.net"};

const QList<QByteArray> spamDomains {"bestdeals.example",   "prizes.example.net",
                                     "cheap-meds.example",  "stocktips.example.com",
                                     "singles.example.org", "inheritance.example"};

const QList<QByteArray> hamSubjects {
    "Agenda for %1's team meeting",
    "Budget review, draft %2",
    "Invoice %3 attached",
    "Printer on floor %4 is back",
    "Minutes of the project meeting (%1)",
    "Holiday schedule update",
    "Server backup report %3",
    "Question about contract %3",
    "Lunch on %1?",
    "Train booking confirmation %3",
    "Library newsletter, issue %2",
    "Release notes for version 3.%2",
    "Client visit on %1",
    "Network upgrade this weekend",
};
const QList<QByteArray> friendSubjects {
    "Photos from the weekend", "Dinner on %1?",
    "Concert tickets for %1",  "Garden party",
    "Happy birthday!",         "Football on %1",
    "Our holiday plans",       "Free tickets for %1 - a prize I won at work",
};
const QList<QByteArray> spamSubjects {
    "Congratulations, you are a winner",
    "Cheap pills, limited offer",
    "Claim your prize now",
    "Exclusive bonus for you",
    "Make money from home",
    "Hot stock alert: %3",
    "Miracle diet: weight loss guaranteed",
    "Replica watches at %2% discount",
    "Transfer of inheritance to beneficiary",
    "Singles near you are waiting",
};
const QList<QByteArray> blockedSubjects {
    "Your weekly casino newsletter",
    "Table reserved for you on %1",
    "Spring catalogue %2",
    "Your ticket number %3",
};
const QList<QByteArray> oldSubjects {"Library newsletter, issue %2", "Spring catalogue %2",
                                     "Summer timetable %2"};

const char *const weekdays[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday"};

enum class Category { Ham, Friend, SpamWords, Blocked, Repeated, Old };

// The reason key each kind of message ends with.
QByteArray reasonOf(Category category)
{
    switch (category) {
    case Category::Ham:
        return "10152";
    case Category::Friend:
        return "10160";
    case Category::SpamWords:
        return "10154";
    case Category::Blocked:
        return "10155";
    case Category::Repeated:
        return "10161";
    case Category::Old:
        return "10159";
    }
    return {};
}

// RFC 5322 §3.3 date, in English whatever the locale.
QByteArray mailDate(const QDateTime &utc)
{
    static const char *const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const months[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = utc.date();
    return QByteArray(days[d.dayOfWeek() - 1]) + ", " + QByteArray::number(d.day()) + " "
        + months[d.month() - 1] + " " + QByteArray::number(d.year()) + " "
        + utc.time().toString(QStringLiteral("HH:mm:ss")).toLatin1() + " +0000";
}

// Replaces the value of the first header line that starts with name (and ": ").
void setHeader(QByteArray &message, const QByteArray &name, const QByteArray &value)
{
    const qsizetype headEnd = message.indexOf("\r\n\r\n");
    const QByteArray start = name + ": ";
    qsizetype at = message.startsWith(start) ? 0 : message.indexOf("\r\n" + start);
    if (at < 0 || at > headEnd)
        return;
    if (at > 0)
        at += 2;
    const qsizetype valueStart = at + start.size();
    const qsizetype lineEnd = message.indexOf("\r\n", valueStart);
    message.replace(valueStart, lineEnd - valueStart, value);
}

struct DemoMessage
{
    Category category;
    Person sender;
    QByteArray subject;
    QByteArray text;
};

class DemoMailbox
{
public:
    QList<DemoMessage> make();

private:
    QByteArray subjectFrom(const QList<QByteArray> &templates);
    Person spammer();
    QByteArray message(const QList<QByteArray> &words, const Person &sender,
                       const QByteArray &subject, const QDateTime &date);

    std::mt19937 m_random {20261211};
    MailboxGenerator m_generator {20261211};
};

QByteArray DemoMailbox::subjectFrom(const QList<QByteArray> &templates)
{
    QByteArray s = templates[int(m_random() % templates.size())];
    s.replace("%1", weekdays[m_random() % 5]);
    s.replace("%2", QByteArray::number(int(m_random() % 40) + 2));
    s.replace("%3", QByteArray::number(int(m_random() % 9000) + 1000));
    s.replace("%4", QByteArray::number(int(m_random() % 6) + 1));
    return s;
}

Person DemoMailbox::spammer()
{
    static const QList<QByteArray> names {"offers", "winner", "deals",   "pharmacy", "invest",
                                          "alerts", "info",   "rewards", "promo",    "club"};
    const QByteArray &name = names[int(m_random() % names.size())];
    const QByteArray &domain = spamDomains[int(m_random() % spamDomains.size())];
    return {name.left(1).toUpper() + name.mid(1) + " Team",
            name + QByteArray::number(int(m_random() % 100)) + "@" + domain};
}

QByteArray DemoMailbox::message(const QList<QByteArray> &words, const Person &sender,
                                const QByteArray &subject, const QDateTime &date)
{
    // Text shapes only: the spam words must be found in the body.
    static const MailboxGenerator::Kind kinds[] = {
        MailboxGenerator::Kind::PlainText,       MailboxGenerator::Kind::Alternative,
        MailboxGenerator::Kind::QuotedPrintable, MailboxGenerator::Kind::MixedAttachments,
        MailboxGenerator::Kind::Base64Text,      MailboxGenerator::Kind::Nested,
        MailboxGenerator::Kind::EncodedWordName, MailboxGenerator::Kind::DotStuffed,
    };
    m_generator.setWords(words);
    QByteArray text = m_generator.message(kinds[m_random() % std::size(kinds)],
                                          qsizetype(1200 + m_random() % 2400));
    setHeader(text, "Return-Path", "<" + sender.address + ">");
    setHeader(text, "From", "\"" + sender.name + "\" <" + sender.address + ">");
    setHeader(text, "To", "Demo User <demo@example.com>");
    setHeader(text, "Subject", subject);
    setHeader(text, "Date", mailDate(date));
    return text;
}

QList<DemoMessage> DemoMailbox::make()
{
    // How many of each, in an order shuffled with a fixed seed; a few old messages first, as
    // at the top of a mailbox nobody has cleaned for a while.
    QList<Category> order;
    const std::pair<Category, int> counts[] = {{Category::Ham, 150},
                                               {Category::Friend, 36},
                                               {Category::SpamWords, 70},
                                               {Category::Blocked, 30},
                                               {Category::Repeated, 8}};
    for (const auto &[category, count] : counts)
        order.append(QList<Category>(count, category));
    std::shuffle(order.begin(), order.end(), m_random);
    for (int i = 0; i < 6; ++i)
        order.prepend(Category::Old);

    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<DemoMessage> mailbox;
    QSet<QByteArray> taken; // sender and subject: only a resent message repeats them
    QList<qsizetype> spamSoFar;
    for (qsizetype i = 0; i < order.size(); ++i) {
        const Category category = order[i];
        // The newest message is an hour old, the others about 40 minutes apart; the old ones
        // are half a year to a year old.
        const QDateTime date = category == Category::Old
            ? now.addDays(-180 - qint64(m_random() % 180))
            : now.addSecs(-3600 - (order.size() - i) * 2400 - qint64(m_random() % 1200));
        DemoMessage m {category, {}, {}, {}};
        for (;;) {
            switch (category) {
            case Category::Ham:
                m.sender = colleagues[int(m_random() % colleagues.size())];
                m.subject = subjectFrom(hamSubjects);
                break;
            case Category::Friend:
                m.sender = friends[int(m_random() % friends.size())];
                m.subject = subjectFrom(friendSubjects);
                break;
            case Category::SpamWords:
                m.sender = spammer();
                m.subject = subjectFrom(spamSubjects);
                break;
            case Category::Blocked:
                m.sender = blockedSenders[int(m_random() % blockedSenders.size())];
                m.subject = subjectFrom(blockedSubjects);
                break;
            case Category::Repeated:
                if (spamSoFar.isEmpty()) {
                    m.category = Category::SpamWords;
                    m.sender = spammer();
                    m.subject = subjectFrom(spamSubjects);
                    break;
                }
                // The same sender and subject as an earlier spam message: sent again.
                {
                    const DemoMessage &first
                        = mailbox[spamSoFar[int(m_random() % spamSoFar.size())]];
                    m.sender = first.sender;
                    m.subject = first.subject;
                }
                break;
            case Category::Old:
                m.sender = colleagues[7];
                m.subject = subjectFrom(oldSubjects);
                break;
            }
            const QByteArray key = m.sender.address + '\n' + m.subject;
            if (m.category == Category::Repeated || !taken.contains(key)) {
                taken.insert(key);
                break;
            }
        }
        const bool isSpam = m.category == Category::SpamWords || m.category == Category::Repeated;
        if (m.category == Category::SpamWords)
            spamSoFar << mailbox.size();
        m.text = message(isSpam ? spamWords : hamWords, m.sender, m.subject, date);
        mailbox << m;
    }
    return mailbox;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit())
        return true;
    std::fprintf(stderr, "korvane_demo: cannot write %s\n", qPrintable(path));
    return false;
}

int writeMailbox(const QString &folder)
{
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "korvane_demo: cannot make %s\n", qPrintable(folder));
        return 1;
    }
    const QList<DemoMessage> mailbox = DemoMailbox().make();
    QByteArray expected;
    for (qsizetype i = 0; i < mailbox.size(); ++i) {
        const QString name = QStringLiteral("%1.eml").arg(i + 1, 4, 10, QLatin1Char('0'));
        if (!writeFile(QDir(folder).filePath(name), mailbox[i].text))
            return 1;
        expected += reasonOf(mailbox[i].category) + '\t' + mailbox[i].subject + '\n';
    }
    return writeFile(QDir(folder).filePath(QStringLiteral("expected.txt")), expected) ? 0 : 1;
}

QByteArray lines(const QList<QByteArray> &items)
{
    QByteArray text;
    for (const QByteArray &item : items)
        text += item + "\r\n";
    return text;
}

int writeSetup(const QString &dataFolder, const QString &settingsFile, qint16 port,
               const QByteArray &user, const QByteArray &password)
{
    const MailAccount account {"POP3", "Demo mailbox", "127.0.0.1", user, password, port};
    QList<QByteArray> words;
    for (const auto &[word, weight] : starterSpamWords)
        words << word << QByteArray::number(weight);
    const QDir data(dataFolder);
    if (!writeFile(
            data.filePath(QStringLiteral("Accounts.ini")),
            lines({account.ServerType, account.AccountName, account.MailServer, account.UserName,
                   EncodePassword(account.Password), QByteArray::number(account.Port)}))
        || !writeFile(data.filePath(QStringLiteral("BadWords.ini")), lines(words))
        || !writeFile(data.filePath(QStringLiteral("BlockedList.ini")), lines(blockedList))
        || !writeFile(data.filePath(QStringLiteral("FriendList.ini")), lines(friendList)))
        return 1;

    CRegister store(settingsFile);
    // Nothing deleted without the user's word, no sound and no entry in the desktop's
    // autostart; start.sh asks for the first check as soon as the program runs.
    const std::pair<const char *, const char *> settings[] = {
        {"ChekPeriod", "10"},   {"AskBeforeDel", "1"}, {"NotifyAfterDel", "1"},
        {"NotifyNew", "1"},     {"PlaySound", "0"},    {"StartWithWindows", "0"},
        {"WriteLog", "1"},      {"DelOld", "1"},       {"Days", "30"},
        {"SecurityLevel", "3"}, {"Enabled", "True"},
    };
    bool isSaved = true;
    for (const auto &[name, value] : settings)
        isSaved = store.REGSaveSetting(QString::fromLatin1(name), QString::fromLatin1(value))
            && isSaved;
    // The server on 127.0.0.1 speaks in clear: the choice "None" of the account editor.
    isSaved = SaveAccountSecurity(store, account, {SecurityMode::None, {}}) && isSaved;
    if (!isSaved) {
        std::fprintf(stderr, "korvane_demo: cannot write %s\n", qPrintable(settingsFile));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QLatin1String("mailbox"))
        return writeMailbox(args[2]);
    bool isPort = false;
    const int port = args.size() == 7 ? args[4].toInt(&isPort) : 0;
    if (args.size() == 7 && args[1] == QLatin1String("setup") && isPort && port > 0
        && port <= 32767)
        return writeSetup(args[2], args[3], qint16(port), args[5].toUtf8(), args[6].toUtf8());
    std::fprintf(stderr,
                 "usage: korvane_demo mailbox FOLDER\n"
                 "       korvane_demo setup DATAFOLDER SETTINGSFILE PORT USER PASSWORD\n");
    return 2;
}
