#include "imap/imapdialogue.h"

#include "imap/imapreader.h"
#include "support/qtprinters.h"
#include "support/recordingdialogueclient.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <gtest/gtest.h>

#include <string>

namespace {

// Tags unlike any session's, so that a tag written into the dialogue shows.
const ImapDialogue::Tags tags {"t1", "t2", "t3", "t4"};
const QByteArray loginCommand = R"(t3 LOGIN "joe" "se\"c\\ret")";

// Hands the dialogue every response the server's bytes hold, given whole or one byte per
// arrival, as a session does: until it is done or has failed.
void feed(ImapDialogue &dialogue, ImapReader &reader, const RecordingClient &client,
          const QByteArray &bytes, bool isBytewise)
{
    const qsizetype chunk = isBytewise ? 1 : qMax<qsizetype>(bytes.size(), 1);
    for (qsizetype at = 0; at < bytes.size(); at += chunk) {
        reader.append(QByteArrayView(bytes).sliced(at, qMin(chunk, bytes.size() - at)));
        while (!dialogue.isDone() && !client.hasFailed) {
            const std::optional<ImapResponse> response = reader.take();
            if (!response)
                break;
            dialogue.onResponse(*response);
        }
    }
}

// The server's bytes in clear, then, once the dialogue asked for encryption, those of the
// encrypted connection: the harness drops what was read in clear, as the session does, and
// marks with "<encrypted>" where it tells the dialogue the handshake passed.
void converse(ImapDialogue &dialogue, ImapReader &reader, RecordingClient &client,
              const QByteArray &inClear, const QByteArray &encrypted, bool isBytewise)
{
    feed(dialogue, reader, client, inClear, isBytewise);
    if (!client.calls.contains("<startEncryption>") || client.hasFailed)
        return;
    reader.clear();
    client.calls << "<encrypted>";
    dialogue.onEncrypted();
    feed(dialogue, reader, client, encrypted, isBytewise);
}

struct Transcript
{
    QList<QByteArray> calls;
    QList<QByteArray> untagged; // as handed on, without the line end
    QString step;
    QByteArray uidValidity;
    QByteArray selectReply;
};

struct Login
{
    QByteArray mailboxCommand = "SELECT INBOX";
    QByteArray userName = "joe";
    QByteArray password = R"(se"c\ret)";
};

Transcript run(Encryption encryption, const QByteArray &inClear, const QByteArray &encrypted,
               bool isBytewise, const Login &login = {})
{
    RecordingClient client;
    Transcript t;
    ImapDialogue dialogue(
        client, [&t](const ImapResponse &response) { t.untagged << response.text.trimmed(); }, tags,
        login.mailboxCommand, login.userName, login.password);
    dialogue.restart(encryption);
    ImapReader reader;
    converse(dialogue, reader, client, inClear, encrypted, isBytewise);
    t.calls = client.calls;
    t.step = dialogue.stepName();
    t.uidValidity = dialogue.uidValidity();
    t.selectReply = dialogue.selectReply();
    return t;
}

std::string trace(const char *name, Encryption mode, bool isBytewise)
{
    return std::string(name) + ", " + modeName(mode) + (isBytewise ? ", byte by byte" : ", whole");
}

const QByteArray startTlsOffered = "* OK IMAP4rev1 ready\r\n"
                                   "* CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED\r\n"
                                   "t1 OK Pre-login capabilities listed\r\n"
                                   "t2 OK Begin TLS negotiation now\r\n";

} // namespace

TEST(ImapDialogue, LogsInOrFailsAtTheRightStep)
{
    const QList<Encryption> all = {Encryption::None, Encryption::Implicit, Encryption::StartTls,
                                   Encryption::StartTlsWhenOffered};
    const QList<Encryption> plain = {Encryption::None, Encryption::Implicit};
    const QList<Encryption> startTls = {Encryption::StartTls, Encryption::StartTlsWhenOffered};
    struct Case
    {
        const char *name;
        QList<Encryption> modes;
        QByteArray inClear;
        QByteArray encrypted;
        QList<QByteArray> calls;
        QString step;
    };
    const Case cases[] = {
        {"greeting, LOGIN, SELECT",
         plain,
         "* OK IMAP4rev1 ready\r\nt3 OK LOGIN completed\r\nt4 OK [READ-WRITE] SELECT completed\r\n",
         {},
         {loginCommand, "t4 SELECT INBOX", "<done>"},
         "Ready"},
        {"greeting BYE",
         all,
         "* BYE too many connections\r\n",
         {},
         {"<failed GreetingRefused> * BYE too many connections\r\n"},
         "Greeting"},
        {"tagged greeting",
         all,
         "a001 OK IMAP4rev1 ready\r\n",
         {},
         {"<failed GreetingRefused> a001 OK IMAP4rev1 ready\r\n"},
         "Greeting"},
        {"LOGIN NO",
         plain,
         "* OK IMAP4rev1 ready\r\nt3 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n",
         {},
         {loginCommand,
          "<failed LoginRefused> t3 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n"},
         "LoginSent"},
        {"LOGIN BAD",
         plain,
         "* OK IMAP4rev1 ready\r\nt3 BAD Error in IMAP command\r\n",
         {},
         {loginCommand, "<failed LoginRefused> t3 BAD Error in IMAP command\r\n"},
         "LoginSent"},
        {"answers under other tags are not the login's",
         plain,
         "* OK IMAP4rev1 ready\r\na001 OK LOGIN completed\r\nt4 OK done\r\n",
         {},
         {loginCommand},
         "LoginSent"},
        {"STARTTLS offered and taken",
         startTls,
         startTlsOffered,
         "t3 OK LOGIN completed\r\nt4 OK SELECT completed\r\n",
         {"t1 CAPABILITY", "t2 STARTTLS", "<startEncryption>", "<encrypted>", loginCommand,
          "t4 SELECT INBOX", "<done>"},
         "Ready"},
        {"answers in clear after the go-ahead are not taken",
         startTls,
         startTlsOffered + "t3 OK LOGIN completed\r\nt4 OK SELECT completed\r\n",
         "t3 OK LOGIN completed\r\nt4 OK SELECT completed\r\n",
         {"t1 CAPABILITY", "t2 STARTTLS", "<startEncryption>", "<encrypted>", loginCommand,
          "t4 SELECT INBOX", "<done>"},
         "Ready"},
        {"LOGIN NO after TLS",
         startTls,
         startTlsOffered,
         "t3 NO Authentication failed.\r\n",
         {"t1 CAPABILITY", "t2 STARTTLS", "<startEncryption>", "<encrypted>", loginCommand,
          "<failed LoginRefused> t3 NO Authentication failed.\r\n"},
         "LoginSent"},
        {"required, list without STARTTLS",
         {Encryption::StartTls},
         "* OK ready\r\n* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\nt1 OK\r\nt3 OK\r\nt4 OK\r\n",
         {},
         {"t1 CAPABILITY", "<failed NoStartTls> "},
         "CapabilitySent"},
        {"required, CAPABILITY BAD",
         {Encryption::StartTls},
         "* OK ready\r\nt1 BAD Error in IMAP command\r\nt3 OK\r\nt4 OK\r\n",
         {},
         {"t1 CAPABILITY", "<failed NoStartTls> t1 BAD Error in IMAP command\r\n"},
         "CapabilitySent"},
        // Offered, then refused: no fallback to clear, whether required or when offered.
        {"STARTTLS offered, then NO",
         {Encryption::StartTls, Encryption::StartTlsWhenOffered},
         "* OK ready\r\n* CAPABILITY IMAP4rev1 STARTTLS\r\nt1 OK\r\nt2 NO TLS unavailable\r\n"
         "t3 OK\r\nt4 OK\r\n",
         {},
         {"t1 CAPABILITY", "t2 STARTTLS", "<failed StartTlsRefused> t2 NO TLS unavailable\r\n"},
         "StartTlsSent"},
        // No mode chosen: nothing goes in clear until the user chooses "None".
        {"no mode, list without STARTTLS",
         {Encryption::StartTlsWhenOffered},
         "* OK ready\r\n* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\nt1 OK\r\nt3 OK\r\nt4 OK\r\n",
         {},
         {"t1 CAPABILITY", "<failed ClearNotChosen> "},
         "CapabilitySent"},
        {"no mode, CAPABILITY BAD",
         {Encryption::StartTlsWhenOffered},
         "* OK ready\r\nt1 BAD Error in IMAP command\r\nt3 OK\r\nt4 OK\r\n",
         {},
         {"t1 CAPABILITY", "<failed ClearNotChosen> t1 BAD Error in IMAP command\r\n"},
         "CapabilitySent"},
    };
    for (const Case &c : cases) {
        for (Encryption mode : c.modes) {
            for (bool isBytewise : {false, true}) {
                SCOPED_TRACE(trace(c.name, mode, isBytewise));
                const Transcript t = run(mode, c.inClear, c.encrypted, isBytewise);
                EXPECT_EQ(t.calls, c.calls);
                EXPECT_EQ(t.step, c.step);
            }
        }
    }
}

// Neither the user name nor the password goes out when either holds a line end or a NUL:
// a quoted string cannot carry them, and the rest would reach the server as a command.
TEST(ImapDialogue, SendsNeitherCredentialWhenOneCannotBeQuoted)
{
    struct Case
    {
        const char *name;
        Encryption mode;
        QByteArray userName;
        QByteArray password;
        QByteArray inClear;
        QByteArray encrypted;
        QString step;
    };
    const QByteArray plainServer = "* OK ready\r\nt3 OK\r\nt4 OK\r\n";
    const Case cases[] = {
        {"CR LF in the user name",
         Encryption::None,
         "joe\r\nt9 DELETE INBOX",
         "secret",
         plainServer,
         {},
         "Greeting"},
        {"LF in the password",
         Encryption::Implicit,
         "joe",
         "sec\nret",
         plainServer,
         {},
         "Greeting"},
        {"CR in the password", Encryption::None, "joe", "sec\rret", plainServer, {}, "Greeting"},
        {"NUL in the password",
         Encryption::None,
         "joe",
         QByteArray("se\0cret", 7),
         plainServer,
         {},
         "Greeting"},
        {"after TLS", Encryption::StartTls, "joe", "sec\r\nret", startTlsOffered,
         "t3 OK\r\nt4 OK\r\n", "Encrypting"},
    };
    for (const Case &c : cases) {
        for (bool isBytewise : {false, true}) {
            SCOPED_TRACE(trace(c.name, c.mode, isBytewise));
            const Transcript t = run(c.mode, c.inClear, c.encrypted, isBytewise,
                                     {"SELECT INBOX", c.userName, c.password});
            ASSERT_FALSE(t.calls.isEmpty());
            EXPECT_EQ(t.calls.constLast(), "<failed CannotQuote> ");
            for (const QByteArray &call : t.calls)
                EXPECT_FALSE(call.contains("LOGIN")) << call.toStdString();
            EXPECT_EQ(t.step, c.step);
        }
    }
}

// After the login, or at once after a PREAUTH greeting: the mailbox command given, with the
// select tag, or done when none is given.
TEST(ImapDialogue, OpensTheMailboxOnceLoggedIn)
{
    struct Case
    {
        const char *name;
        QByteArray mailboxCommand;
        QByteArray server;
        QList<QByteArray> calls;
        QString step;
        QList<QByteArray> untagged;
        QByteArray uidValidity;
        QByteArray selectReply;
    };
    const Case cases[] = {
        {"SELECT keeps UIDVALIDITY",
         "SELECT INBOX",
         "* OK IMAP4rev1 ready\r\n"
         "t3 OK LOGIN completed\r\n"
         "* 172 EXISTS\r\n"
         "* 1 RECENT\r\n"
         "* OK [UNSEEN 12] Message 12 is first unseen\r\n"
         "* OK [UIDVALIDITY 3857529045] UIDs valid\r\n"
         "* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)\r\n"
         "t4 OK [READ-WRITE] SELECT completed\r\n",
         {loginCommand, "t4 SELECT INBOX", "<done>"},
         "Ready",
         {"* 172 EXISTS", "* 1 RECENT", "* OK [UNSEEN 12] Message 12 is first unseen",
          "* OK [UIDVALIDITY 3857529045] UIDs valid",
          "* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)"},
         "3857529045",
         "t4 OK [READ-WRITE] SELECT completed\r\n"},
        {"EXAMINE without UIDVALIDITY",
         "EXAMINE Spam",
         "* OK ready\r\nt3 OK\r\n* 3 EXISTS\r\nt4 OK [READ-ONLY] EXAMINE completed\r\n",
         {loginCommand, "t4 EXAMINE Spam", "<done>"},
         "Ready",
         {"* 3 EXISTS"},
         {},
         "t4 OK [READ-ONLY] EXAMINE completed\r\n"},
        {"SELECT refused",
         "SELECT Spam",
         "* OK ready\r\nt3 OK\r\nt4 NO Mailbox doesn't exist: Spam\r\n",
         {loginCommand, "t4 SELECT Spam",
          "<failed SelectRefused> t4 NO Mailbox doesn't exist: Spam\r\n"},
         "SelectSent",
         {},
         {},
         {}},
        {"UIDVALIDITY before the SELECT is not the mailbox's",
         "SELECT INBOX",
         "* OK ready\r\n* OK [UIDVALIDITY 5] UIDs valid\r\nt3 OK\r\nt4 OK\r\n",
         {loginCommand, "t4 SELECT INBOX", "<done>"},
         "Ready",
         {"* OK [UIDVALIDITY 5] UIDs valid"},
         {},
         "t4 OK\r\n"},
        {"no mailbox asked for",
         {},
         "* OK ready\r\nt3 OK\r\nt4 OK\r\n",
         {loginCommand, "<done>"},
         "Ready",
         {},
         {},
         {}},
        {"PREAUTH, then SELECT",
         "SELECT INBOX",
         "* PREAUTH IMAP4rev1 server logged in as joe\r\n"
         "* OK [UIDVALIDITY 17] UIDs valid\r\n"
         "t4 OK [READ-WRITE] SELECT completed\r\n",
         {"t4 SELECT INBOX", "<done>"},
         "Ready",
         {"* OK [UIDVALIDITY 17] UIDs valid"},
         "17",
         "t4 OK [READ-WRITE] SELECT completed\r\n"},
        {"PREAUTH, no mailbox asked for",
         {},
         "* PREAUTH logged in\r\n",
         {"<done>"},
         "Ready",
         {},
         {},
         {}},
    };
    for (const Case &c : cases) {
        for (Encryption mode : {Encryption::None, Encryption::Implicit}) {
            for (bool isBytewise : {false, true}) {
                SCOPED_TRACE(trace(c.name, mode, isBytewise));
                const Transcript t = run(mode, c.server, {}, isBytewise, {c.mailboxCommand});
                EXPECT_EQ(t.calls, c.calls);
                EXPECT_EQ(t.step, c.step);
                EXPECT_EQ(t.untagged, c.untagged);
                EXPECT_EQ(t.uidValidity, c.uidValidity);
                EXPECT_EQ(t.selectReply, c.selectReply);
            }
        }
    }
}

// RFC 3501 §6.2.1: no STARTTLS can follow PREAUTH, so where one was to come the dialogue
// ends at the greeting with nothing sent and nothing handed on.
TEST(ImapDialogue, PreauthWhereStartTlsIsWantedEndsTheDialogue)
{
    for (Encryption mode : {Encryption::StartTls, Encryption::StartTlsWhenOffered}) {
        for (bool isBytewise : {false, true}) {
            SCOPED_TRACE(trace("PREAUTH", mode, isBytewise));
            const Transcript t
                = run(mode, "* PREAUTH logged in as joe\r\n* 1 EXISTS\r\n", {}, isBytewise);
            EXPECT_EQ(t.calls,
                      QList<QByteArray> {"<failed PreauthInClear> * PREAUTH logged in as joe\r\n"});
            EXPECT_EQ(t.step, "Greeting");
            EXPECT_TRUE(t.untagged.isEmpty());
        }
    }
}

// The session follows EXISTS, EXPUNGE and CAPABILITY itself, on either layer; the greeting
// is the dialogue's alone.
TEST(ImapDialogue, HandsOnEveryUntaggedResponseAfterTheGreeting)
{
    for (bool isBytewise : {false, true}) {
        SCOPED_TRACE(isBytewise ? "byte by byte" : "whole");
        const Transcript t = run(Encryption::StartTls, startTlsOffered,
                                 "* CAPABILITY IMAP4rev1 UIDPLUS\r\n"
                                 "t3 OK LOGIN completed\r\n"
                                 "* 3 EXISTS\r\n"
                                 "* 2 EXPUNGE\r\n"
                                 "t4 OK SELECT completed\r\n",
                                 isBytewise);
        EXPECT_EQ(t.calls.constLast(), "<done>");
        EXPECT_EQ(
            t.untagged,
            (QList<QByteArray> {"* CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED",
                                "* CAPABILITY IMAP4rev1 UIDPLUS", "* 3 EXISTS", "* 2 EXPUNGE"}));
    }
}

TEST(ImapDialogue, RunsWithoutAnUntaggedHandler)
{
    RecordingClient client;
    ImapDialogue dialogue(client, {}, tags, "SELECT INBOX", "joe", "secret");
    dialogue.restart(Encryption::StartTls);
    ImapReader reader;
    converse(dialogue, reader, client, startTlsOffered,
             "t3 OK\r\n* 3 EXISTS\r\n* OK [UIDVALIDITY 9] UIDs valid\r\nt4 OK\r\n", false);
    EXPECT_EQ(client.calls.constLast(), "<done>");
    EXPECT_EQ(dialogue.uidValidity(), "9");
}

// Each connection starts from nothing: a STARTTLS offer, the mailbox's UIDVALIDITY and the
// SELECT's answer of the previous one do not carry over.
TEST(ImapDialogue, RestartForgetsThePreviousConnection)
{
    RecordingClient client;
    ImapDialogue dialogue(client, {}, tags, "SELECT INBOX", "joe", "secret");
    ImapReader reader;
    dialogue.restart(Encryption::None);
    converse(dialogue, reader, client,
             "* OK ready\r\nt3 OK\r\n* OK [UIDVALIDITY 9] UIDs valid\r\nt4 OK\r\n", {}, false);
    ASSERT_EQ(dialogue.uidValidity(), "9");

    dialogue.restart(Encryption::StartTls);
    EXPECT_EQ(dialogue.stepName(), "Greeting");
    EXPECT_EQ(dialogue.uidValidity(), "");
    EXPECT_EQ(dialogue.selectReply(), "");

    // Dropped after the offer, before CAPABILITY's tagged answer.
    reader.clear();
    client.calls.clear();
    converse(dialogue, reader, client, "* OK ready\r\n* CAPABILITY IMAP4rev1 STARTTLS\r\n", {},
             false);
    ASSERT_EQ(client.calls, QList<QByteArray> {"t1 CAPABILITY"});

    dialogue.restart(Encryption::StartTls);
    reader.clear();
    client.calls.clear();
    converse(dialogue, reader, client, "* OK ready\r\n* CAPABILITY IMAP4rev1\r\nt1 OK\r\n", {},
             false);
    EXPECT_EQ(client.calls, (QList<QByteArray> {"t1 CAPABILITY", "<failed NoStartTls> "}));
}

// Implicit TLS tells its handshake too, before the greeting or after it: only the one that
// STARTTLS asked for moves the dialogue on.
TEST(ImapDialogue, TakesTheHandshakeOnlyAfterStartTls)
{
    RecordingClient client;
    ImapDialogue dialogue(client, {}, tags, "SELECT INBOX", "joe", "secret");
    dialogue.restart(Encryption::Implicit);
    ImapReader reader;
    dialogue.onEncrypted();
    EXPECT_TRUE(client.calls.isEmpty());
    converse(dialogue, reader, client, "* OK ready\r\n", {}, false);
    dialogue.onEncrypted();
    EXPECT_EQ(client.calls, QList<QByteArray> {R"(t3 LOGIN "joe" "secret")"});
    EXPECT_EQ(dialogue.stepName(), "LoginSent");
}
