#pragma once

// What the benchmarks that check a mailbox on a private Dovecot share: the private server,
// quiet stand-ins for the desktop, an event loop runner and a core with one account over a
// fresh data folder in memory.

#include "engine/korvanecore.h"
#include "platform/clock.h"
#include "platform/cregister.h"
#include "platform/notifier.h"
#include "platform/prompter.h"
#include "platform/trayhost.h"
#include "store/accountsecurity.h"

#include <QByteArray>
#include <QList>
#include <QString>

class MailboxGenerator;
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

class SilentPrompter final : public Prompter
{
public:
    void warning(const QString &) override { }
    void critical(const QString &text) override;
    bool question(const QString &) override { return false; }
};

class RecordingNotifier final : public Notifier
{
public:
    void ShowTrayWindow(const QString &text) override { popups << text; }
    QStringList popups;
};

class NoTray final : public TrayHost
{
public:
    void AddTrayIcon() override { }
    void SetTrayIcon(int) override { }
    void RemoveTrayIcon() override { }
};

// The private Dovecot of scripts/mailserver.sh, stopped when this goes out of scope.
class MailServer
{
public:
    MailServer();
    ~MailServer();
    MailServer(const MailServer &) = delete;
    MailServer &operator=(const MailServer &) = delete;

    // Creates the user (password "pw") and puts the messages into its inbox.
    bool load(const QString &user, const QList<QByteArray> &messages);
    // Puts the messages into the inbox of an existing user, after the ones it holds.
    bool deliver(const QString &user, const QList<QByteArray> &messages);

    // Makes this process trust the server's test authority, as the end-to-end tests do.
    bool trustTestAuthority() const;

    quint16 pop3Port = 0;
    quint16 imapPort = 0;
    quint16 pop3sPort = 0; // TLS from the first byte
    quint16 imapsPort = 0;

private:
    bool run(const QStringList &arguments);

    QString m_script;
    QString m_pointer;
    QString m_folder;
};

// Runs the event loop until isDone, sleeping while nothing happens, as the program does: a
// busy loop would take a core from the server on a small machine.
void runUntil(const std::function<bool()> &isDone, int seconds = 300);

double median(std::vector<double> values);

// What a minimal POP3 client fetched: messages is -1 when the fetch failed.
struct MinimalFetch
{
    int messages = -1;
    qint64 bytes = 0; // received, after decryption
};
// The reference a check is measured against: USER, PASS, STAT, RETR 1..N one at a time and
// QUIT, in clear or over TLS, keeping nothing; each command goes out at once, as the
// program's transport sends it, and the end of a message is looked for in the new bytes only.
MinimalFetch minimalPop3Fetch(quint16 port, const QByteArray &user, bool isEncrypted = false);
// The other reference, for a first check: what one client that asks for the whole mailbox at
// once reads. POP3: USER, PASS, STAT, then every RETR 1..N written in one go, QUIT.
// IMAP: LOGIN, SELECT INBOX, one "FETCH 1:* BODY.PEEK[]", LOGOUT. bytes counts the message
// texts read (the POP3 texts still dot-stuffed, the IMAP literals), received everything.
struct BulkFetch
{
    int messages = -1; // -1 when the fetch failed
    qint64 bytes = 0;
    qint64 received = 0;
};
BulkFetch bulkPop3Fetch(quint16 port, const QByteArray &user);
BulkFetch bulkImapFetch(quint16 port, const QByteArray &user);
// A first check (the program's whole check on a fresh data folder, so that nothing of the
// mailbox is known) of the user's mailbox against the bulk fetch of the same mailbox by
// bulkPop3Fetch or bulkImapFetch, alternating, three runs each; prints what both sides read
// in every run. The median check time over the median fetch time; -1 when either side
// failed or read other than the whole mailbox (messages, and texts of textBytes in all).
double firstCheckOverBulkFetch(const QByteArray &serverType, quint16 port, const QByteArray &user,
                               int messages, qint64 textBytes);
// The size of the list of ids a check asks for first, as the server sends it: POP3 the
// reply to UIDL, IMAP the replies to "FETCH 1:N (UID RFC822.SIZE)" after SELECT INBOX, down to the
// tagged OK. -1 when the client failed.
qint64 idListBytes(const QByteArray &serverType, quint16 port, const QByteArray &user);
// CPU time of this process so far, in seconds.
double cpuSeconds();
// The next count messages of the generator; their size in all is added to *bytes.
QList<QByteArray> generatedMailbox(MailboxGenerator &generator, int count, qint64 *bytes);
// Loads a mailbox of count generated messages for the user "bulk" and gives
// firstCheckOverBulkFetch of it; -1 when it could not be loaded or measured.
double bulkFirstCheck(MailServer &server, MailboxGenerator &generator, const QByteArray &serverType,
                      quint16 port, int count);

// A core over a fresh data folder in memory with one account on 127.0.0.1 and no rule that
// can fire, so a check deletes nothing and the mailbox stays the same between runs. The
// account's connection is in clear unless another mode is given: the private Dovecot offers
// STARTTLS on its plain ports, which an account with no mode stored would take.
// With stateOf, the data folder starts as a copy of that one, with its history loaded, so
// that several checks can start from the same state (a message cache filled by an earlier
// check, say).
class BenchCore
{
public:
    BenchCore(const QByteArray &serverType, quint16 port, const QByteArray &user,
              SecurityMode mode = SecurityMode::None, const QString &stateOf = QString());

    // Checks the account once, waiting at most seconds for it; true when the check ended by
    // itself with nothing to report.
    bool check(int seconds = 300);
    KorvaneCore &core() { return *m_core; }
    // The bytes the sessions received from the server, after decryption, since the core was made.
    qint64 receivedBytes() const { return m_received; }
    // In how many pieces they arrived: each piece is one turn of the session's parser.
    qint64 receivedPieces() const { return m_pieces; }
    // How many message texts the sessions asked for (POP3 RETR, IMAP FETCH of BODY.PEEK[]).
    int messageRequests() const { return m_requests; }
    QString dataDir() const { return m_data.path(); }

private:
    QTemporaryDir m_data;
    SilentPrompter m_prompter;
    RecordingNotifier m_notifier;
    SystemClock m_clock;
    NoTray m_tray;
    std::unique_ptr<CRegister> m_registry;
    std::unique_ptr<KorvaneCore> m_core;
    qint64 m_received = 0;
    qint64 m_pieces = 0;
    int m_requests = 0;
};
