#include "pop3/pop3dialogue.h"

#include "pop3/linereader.h"
#include "support/qtprinters.h"
#include "support/recordingdialogueclient.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <gtest/gtest.h>

#include <string>

namespace {

// Hands the dialogue every reply the server's bytes hold, given whole or one byte per
// arrival, as a session does: until it is done or has failed.
void feed(Pop3Dialogue &dialogue, LineReader &reader, const RecordingClient &client,
          const QByteArray &bytes, bool isBytewise)
{
    const qsizetype chunk = isBytewise ? 1 : qMax<qsizetype>(bytes.size(), 1);
    for (qsizetype at = 0; at < bytes.size(); at += chunk) {
        reader.append(QByteArrayView(bytes).sliced(at, qMin(chunk, bytes.size() - at)));
        while (!dialogue.isDone() && !client.hasFailed) {
            const std::optional<QByteArray> reply = dialogue.take(reader);
            if (!reply)
                break;
            dialogue.onReply(*reply);
        }
    }
}

// The server's bytes in clear, then, once the dialogue asked for encryption, those of the
// encrypted connection: the harness drops what was read in clear, as the session does, and
// marks with "<encrypted>" where it tells the dialogue the handshake passed.
void converse(Pop3Dialogue &dialogue, LineReader &reader, RecordingClient &client,
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
    QString step;
    bool knowsCapabilities = false;
    bool isPipelining = false;
};

Transcript run(Encryption encryption, const QByteArray &inClear, const QByteArray &encrypted,
               bool isBytewise, const QByteArray &userName = "joe",
               const QByteArray &password = "secret")
{
    RecordingClient client;
    Pop3Dialogue dialogue(client, userName, password);
    dialogue.restart(encryption);
    LineReader reader;
    converse(dialogue, reader, client, inClear, encrypted, isBytewise);
    return {client.calls, dialogue.stepName(), dialogue.knowsCapabilities(),
            dialogue.isPipelining()};
}

const QByteArray stlsOffered = "+OK POP3 ready\r\n"
                               "+OK capability list follows\r\n"
                               "TOP\r\nUIDL\r\nSTLS\r\n.\r\n"
                               "+OK begin TLS negotiation\r\n";

} // namespace

TEST(Pop3Dialogue, LogsInOrFailsAtTheRightStep)
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
        {"greeting, USER, PASS",
         plain,
         "+OK POP3 ready\r\n+OK\r\n+OK maildrop has 2 messages\r\n",
         {},
         {"USER joe", "PASS secret", "<done>"},
         "LoggedIn"},
        {"lines ended by LF alone",
         plain,
         "+OK POP3 ready\n+OK\n+OK\n",
         {},
         {"USER joe", "PASS secret", "<done>"},
         "LoggedIn"},
        {"greeting refused",
         all,
         "-ERR too many connections\r\n",
         {},
         {"<failed GreetingRefused> -ERR too many connections\r\n"},
         "Greeting"},
        {"USER refused",
         plain,
         "+OK POP3 ready\r\n-ERR no such user\r\n",
         {},
         {"USER joe", "<failed LoginRefused> -ERR no such user\r\n"},
         "UserSent"},
        {"PASS refused",
         plain,
         "+OK POP3 ready\r\n+OK\r\n-ERR [AUTH] invalid password\r\n",
         {},
         {"USER joe", "PASS secret", "<failed LoginRefused> -ERR [AUTH] invalid password\r\n"},
         "PassSent"},
        {"STLS offered and taken",
         startTls,
         stlsOffered,
         "+OK\r\n+OK logged in\r\n",
         {"CAPA", "STLS", "<startEncryption>", "<encrypted>", "USER joe", "PASS secret", "<done>"},
         "LoggedIn"},
        {"replies in clear after the go-ahead are not answered",
         startTls,
         stlsOffered + "+OK\r\n+OK\r\n",
         "+OK\r\n+OK\r\n",
         {"CAPA", "STLS", "<startEncryption>", "<encrypted>", "USER joe", "PASS secret", "<done>"},
         "LoggedIn"},
        {"USER refused after TLS",
         startTls,
         stlsOffered,
         "-ERR no such user\r\n",
         {"CAPA", "STLS", "<startEncryption>", "<encrypted>", "USER joe",
          "<failed LoginRefused> -ERR no such user\r\n"},
         "UserSent"},
        {"required, CAPA list without STLS",
         {Encryption::StartTls},
         "+OK POP3 ready\r\n+OK\r\nTOP\r\nUIDL\r\n.\r\n+OK\r\n+OK\r\n",
         {},
         {"CAPA", "<failed NoStartTls> "},
         "CapaSent"},
        {"required, CAPA refused",
         {Encryption::StartTls},
         "+OK POP3 ready\r\n-ERR unknown command\r\n+OK\r\n+OK\r\n",
         {},
         {"CAPA", "<failed NoStartTls> -ERR unknown command\r\n"},
         "CapaSent"},
        // Offered, then refused: no fallback to clear, whether required or when offered.
        {"STLS offered, then refused",
         {Encryption::StartTls, Encryption::StartTlsWhenOffered},
         "+OK POP3 ready\r\n+OK\r\nSTLS\r\n.\r\n-ERR TLS not available\r\n+OK\r\n+OK\r\n",
         {},
         {"CAPA", "STLS", "<failed StartTlsRefused> -ERR TLS not available\r\n"},
         "StlsSent"},
        // No mode chosen: nothing goes in clear until the user chooses "None".
        {"no mode, CAPA list without STLS",
         {Encryption::StartTlsWhenOffered},
         "+OK POP3 ready\r\n+OK\r\nTOP\r\nUIDL\r\n.\r\n+OK\r\n+OK\r\n",
         {},
         {"CAPA", "<failed ClearNotChosen> "},
         "CapaSent"},
        {"no mode, CAPA refused",
         {Encryption::StartTlsWhenOffered},
         "+OK POP3 ready\r\n-ERR unknown command\r\n+OK\r\n+OK\r\n",
         {},
         {"CAPA", "<failed ClearNotChosen> -ERR unknown command\r\n"},
         "CapaSent"},
    };
    for (const Case &c : cases) {
        for (Encryption mode : c.modes) {
            for (bool isBytewise : {false, true}) {
                SCOPED_TRACE(std::string(c.name) + ", " + modeName(mode)
                             + (isBytewise ? ", byte by byte" : ", whole"));
                const Transcript t = run(mode, c.inClear, c.encrypted, isBytewise);
                EXPECT_EQ(t.calls, c.calls);
                EXPECT_EQ(t.step, c.step);
            }
        }
    }
}

// Neither the user name nor the password goes out when either holds a line end or a NUL:
// the rest of it would reach the server as a command of its own.
TEST(Pop3Dialogue, SendsNeitherCredentialWhenOneCannotBeQuoted)
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
    const Case cases[] = {
        {"CR LF in the user name",
         Encryption::None,
         "joe\r\nDELE 1",
         "secret",
         "+OK POP3 ready\r\n+OK\r\n+OK\r\n",
         {},
         "Greeting"},
        {"LF in the password",
         Encryption::Implicit,
         "joe",
         "sec\nret",
         "+OK POP3 ready\r\n+OK\r\n+OK\r\n",
         {},
         "Greeting"},
        {"CR in the password",
         Encryption::None,
         "joe",
         "sec\rret",
         "+OK POP3 ready\r\n+OK\r\n+OK\r\n",
         {},
         "Greeting"},
        {"NUL in the user name",
         Encryption::None,
         QByteArray("jo\0e", 4),
         "secret",
         "+OK POP3 ready\r\n+OK\r\n+OK\r\n",
         {},
         "Greeting"},
        {"after TLS", Encryption::StartTls, "joe", "sec\r\nret", stlsOffered, "+OK\r\n+OK\r\n",
         "Encrypting"},
    };
    for (const Case &c : cases) {
        for (bool isBytewise : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (isBytewise ? ", byte by byte" : ", whole"));
            const Transcript t
                = run(c.mode, c.inClear, c.encrypted, isBytewise, c.userName, c.password);
            ASSERT_FALSE(t.calls.isEmpty());
            EXPECT_EQ(t.calls.constLast(), "<failed CannotQuote> ");
            for (const QByteArray &call : t.calls) {
                EXPECT_FALSE(call.startsWith("USER")) << call.toStdString();
                EXPECT_FALSE(call.startsWith("PASS")) << call.toStdString();
            }
            EXPECT_EQ(t.step, c.step);
        }
    }
}

// What CAPA told holds for the layer it was told on: a list in clear says nothing of the
// encrypted session.
TEST(Pop3Dialogue, KnowsTheCapabilitiesOfTheCurrentLayer)
{
    struct Case
    {
        const char *name;
        Encryption mode;
        QByteArray inClear;
        QByteArray encrypted;
        bool knowsCapabilities;
        bool isPipelining;
    };
    const Case cases[] = {
        {"not asked", Encryption::None, "+OK POP3 ready\r\n+OK\r\n+OK\r\n", {}, false, false},
        {"list with PIPELINING, then STLS", Encryption::StartTls,
         "+OK POP3 ready\r\n+OK\r\nPIPELINING\r\nSTLS\r\n.\r\n+OK begin TLS\r\n", "+OK\r\n+OK\r\n",
         false, false},
    };
    for (const Case &c : cases) {
        for (bool isBytewise : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (isBytewise ? ", byte by byte" : ", whole"));
            const Transcript t = run(c.mode, c.inClear, c.encrypted, isBytewise);
            EXPECT_EQ(t.calls.constLast(), "<done>");
            EXPECT_EQ(t.knowsCapabilities, c.knowsCapabilities);
            EXPECT_EQ(t.isPipelining, c.isPipelining);
        }
    }
}

// Each connection starts from nothing: neither what CAPA told on the previous one nor a CAPA
// list cut off half-way carries over, so a new greeting is read as a status line.
TEST(Pop3Dialogue, RestartForgetsThePreviousConnection)
{
    RecordingClient client;
    Pop3Dialogue dialogue(client, "joe", "secret");
    LineReader reader;
    dialogue.restart(Encryption::StartTlsWhenOffered);
    converse(dialogue, reader, client, "+OK POP3 ready\r\n+OK\r\nPIPELINING\r\n.\r\n+OK\r\n+OK\r\n",
             {}, false);
    ASSERT_TRUE(dialogue.isPipelining());

    dialogue.restart(Encryption::None);
    EXPECT_EQ(dialogue.stepName(), "Greeting");
    EXPECT_FALSE(dialogue.knowsCapabilities());
    EXPECT_FALSE(dialogue.isPipelining());

    // Dropped after CAPA's "+OK", half-way through its list: the next CAPA is answered anew.
    dialogue.restart(Encryption::StartTlsWhenOffered);
    reader.clear();
    client.calls.clear();
    client.hasFailed = false;
    converse(dialogue, reader, client, "+OK POP3 ready\r\n+OK\r\nTOP\r\n", {}, false);
    ASSERT_EQ(client.calls, QList<QByteArray> {"CAPA"});

    dialogue.restart(Encryption::StartTlsWhenOffered);
    reader.clear();
    client.calls.clear();
    client.hasFailed = false;
    converse(dialogue, reader, client, "+OK POP3 ready\r\n-ERR unknown command\r\n+OK\r\n+OK\r\n",
             {}, false);
    EXPECT_EQ(client.calls,
              (QList<QByteArray> {"CAPA", "<failed ClearNotChosen> -ERR unknown command\r\n"}));
}

// Implicit TLS tells its handshake too, before the greeting or after it: only the one that
// STLS asked for moves the dialogue on.
TEST(Pop3Dialogue, TakesTheHandshakeOnlyAfterStls)
{
    RecordingClient client;
    Pop3Dialogue dialogue(client, "joe", "secret");
    dialogue.restart(Encryption::Implicit);
    LineReader reader;
    dialogue.onEncrypted();
    EXPECT_TRUE(client.calls.isEmpty());
    converse(dialogue, reader, client, "+OK POP3 ready\r\n", {}, false);
    dialogue.onEncrypted();
    EXPECT_EQ(client.calls, QList<QByteArray> {"USER joe"});
    EXPECT_EQ(dialogue.stepName(), "UserSent");
}
