#include "imapsession.h"

#include "mailboxfilter.h"
#include "message/separate.h"
#include "platform/notifier.h"
#include "platform/showntext.h"
#include "protocoltexts.h"
#include "store/actionlog.h"
#include "store/appsettings.h"
#include "store/services.h"
#include "store/verdictkeys.h"
#include "transport.h"

#include <limits>
#include <utility>

namespace {

// The commands' fixed tags, as the engine has always sent them.
constexpr char loginTag[] = "a001";
constexpr char selectTag[] = "a142";
constexpr char searchTag[] = "a282";
constexpr char fetchTag[] = "a654";
constexpr char storeTag[] = "a005";
constexpr char expungeTag[] = "a202";
constexpr char closeTag[] = "a341";
constexpr char uidFetchTag[] = "a610";
constexpr char capabilityTag[] = "a120";
constexpr char startTlsTag[] = "a121";

using ImapTexts::canBeQuoted;
using ImapTexts::quoted;

bool isOk(const ImapResponse &response)
{
    return response.status() == "OK";
}

} // namespace

std::optional<qint16> GetIMAPInbox(QByteArrayView text)
{
    const QList<QByteArray> words = Separate(text, " ");
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (!words.at(i).toLower().contains("exists"))
            continue;
        if (i == 0)
            return std::nullopt;
        bool isNumber = false;
        const int count = words.at(i - 1).trimmed().toInt(&isNumber);
        if (!isNumber || count < 0 || count > std::numeric_limits<qint16>::max())
            return std::nullopt;
        return qint16(count);
    }
    return 0;
}

ImapSession::ImapSession(std::unique_ptr<Transport> transport, const MailAccount &account,
                         const AppSettings &settings, Services &services, MailboxFilter &filter,
                         QObject *parent)
    : MailSession(std::move(transport), account, services, filter, parent)
    , m_settings(settings)
{
}

QString ImapSession::step() const
{
    return stateName(m_state);
}

void ImapSession::reset()
{
    m_messages.Clear();
    m_reader.clear();
    m_deleteFlags.clear();
    m_fetchedText.reset();
    m_unparsedText.reset();
    m_state = State::Greeting;
    m_messageCount = -1;
    m_currentMessage = 0;
    m_unseenCount = 0;
    m_offersStartTls = false;
    m_storing = 0;
    m_hasStored = false;
    m_uidValidity.clear();
    m_serverIds.clear();
    m_hasServerIds = false;
    m_isHolding = false;
    m_held.clear();
}

void ImapSession::buffer(const QByteArray &data)
{
    m_reader.append(data);
}

QString ImapSession::serverErrorCaption() const
{
    return ImapTexts::serverErrorCaption(m_services);
}

std::pair<QString, QString> ImapSession::connectionErrorCaptions() const
{
    return ImapTexts::connectionErrorCaptions(m_services);
}

// Responses are judged only once they are whole, literals included, however the server's
// bytes were split.
void ImapSession::processBuffered()
{
    while (!hasEnded() && !isWaiting()) {
        const std::optional<ImapResponse> response = m_reader.take();
        if (!response) {
            if (m_reader.hasFailed())
                failUnexpected(
                    QStringLiteral("The server announced a literal of more than %1 bytes")
                        .arg(ImapReader::maxLiteralSize));
            return;
        }
        logReply(response->text);
        onResponse(*response);
    }
}

// Untagged data is collected until the tagged reply of the command in flight decides:
// Greeting:    * OK -> LOGIN, or CAPABILITY when STARTTLS is wanted | * PREAUTH -> SELECT
//              | else -> "IMAP Error:", next account (ConnectFailed)
// CapabilitySent: * CAPABILITY ... STARTTLS -> offered; a120 OK -> STARTTLS when offered;
//              not offered, or NO, BAD -> LOGIN in clear when only offered STARTTLS is
//              wanted, else next account (TlsFailed)
// StartTlsSent: a121 OK -> TLS handshake | NO, BAD -> as not offered
// Encrypting:  the certificate passed -> LOGIN | refused -> next account (TlsFailed)
// LoginSent:   a001 OK -> SELECT | NO, BAD -> "IMAP Error:", next account (AuthRejected)
// SelectSent:  * n EXISTS -> count; * OK [UIDVALIDITY v] -> validity; a142 OK -> SEARCH
//              UNSEEN (when announcing new mail), FETCH 1 (in ask mode first a610), or
//              "no messages" and CLOSE | NO, BAD -> "IMAP Error:", next account
// SearchSent:  * SEARCH ... -> unseen count; a282 OK -> "You have n New messages", FETCH 1
//              (in ask mode first a610) | NO, BAD -> the same without the announcement
// UidFetchSent: * n FETCH (UID u) -> id; a610 OK -> FETCH 1 | NO, BAD -> "no message ids",
//              FETCH 1 (nothing held)
// Fetching:    * n FETCH (... BODY[] {k}) -> text; a654 OK -> FETCH n+1, or after the last:
//              verdicts -> STORE, or history + CLOSE; in ask mode no STORE: history, review
//              queue + CLOSE | NO, BAD -> "IMAP Error:", next account
// Storing:     a005 OK -> next STORE, or history + EXPUNGE | NO, BAD -> "IMAP Error:", kept
// ExpungeSent: a202 OK -> CLOSE, disconnect | NO, BAD -> "IMAP Error:", the flagged messages
//              recorded as kept again, CLOSE, disconnect
// Any other refusal or unusable reply ends the session as a ProtocolError; CLOSE as Ok.
void ImapSession::onResponse(const ImapResponse &response)
{
    const QByteArray tag = response.tag();
    const bool isUntagged = tag == "*";
    switch (m_state) {
    case State::Greeting:
        if (!isUntagged)
            return failWithReply(SessionStatus::ConnectFailed, response.text);
        if (response.status() == "PREAUTH") {
            m_state = State::SelectSent;
            send(QByteArray(selectTag) + " SELECT INBOX");
            return;
        }
        if (!isOk(response))
            return failWithReply(SessionStatus::ConnectFailed, response.text);
        if (wantsStartTls()) {
            // RFC 3501 §6.2.1: STARTTLS only where the server names it among its capabilities.
            m_state = State::CapabilitySent;
            send(QByteArray(capabilityTag) + " CAPABILITY");
            return;
        }
        return sendLogin();
    case State::CapabilitySent:
        if (isUntagged) {
            if (response.status().toUpper() == "CAPABILITY")
                m_offersStartTls = m_offersStartTls
                    || response.text.toUpper().simplified().split(' ').contains("STARTTLS");
            return;
        }
        if (tag != capabilityTag)
            return;
        if (isOk(response) && m_offersStartTls) {
            m_state = State::StartTlsSent;
            send(QByteArray(startTlsTag) + " STARTTLS");
            return;
        }
        if (goesOnWithoutStartTls(isOk(response) ? QByteArray() : response.text))
            sendLogin();
        return;
    case State::StartTlsSent:
        if (tag != startTlsTag)
            return;
        if (!isOk(response)) {
            if (goesOnWithoutStartTls(response.text))
                sendLogin();
            return;
        }
        m_state = State::Encrypting;
        // What the server sent before the handshake is not part of the encrypted session.
        m_reader.clear();
        transport().startEncryption();
        return;
    case State::Encrypting:
        return;
    case State::LoginSent:
        if (tag != loginTag)
            return;
        if (!isOk(response))
            return failWithReply(SessionStatus::AuthRejected, response.text);
        m_state = State::SelectSent;
        send(QByteArray(selectTag) + " SELECT INBOX");
        return;
    case State::SelectSent:
        if (isUntagged) {
            // RFC 3501 §7.1: the UIDs of this inbox hold only while its UIDVALIDITY does.
            if (isOk(response)) {
                const QByteArray validity = response.numberAfter("UIDVALIDITY");
                if (!validity.isEmpty())
                    m_uidValidity = validity;
                return;
            }
            if (response.word(2).toUpper() != "EXISTS")
                return;
            const std::optional<qint16> count = GetIMAPInbox(response.text);
            if (!count)
                return failUnexpected(QStringLiteral("The SELECT reply holds no message count: %1")
                                          .arg(shownServerText(response.text.trimmed())),
                                      response.text);
            m_messageCount = *count;
            return;
        }
        if (tag != selectTag)
            return;
        if (!isOk(response))
            return failWithReply(SessionStatus::ProtocolError, response.text);
        afterSelect(response);
        return;
    case State::SearchSent:
        if (isUntagged) {
            if (response.status() == "SEARCH")
                m_unseenCount = int(response.text.simplified().split(' ').size()) - 2;
            return;
        }
        if (tag != searchTag)
            return;
        // The announcement is a courtesy: a server that refuses the search is still checked.
        if (isOk(response))
            announceUnseen();
        startFetching();
        return;
    case State::UidFetchSent:
        if (isUntagged) {
            if (response.word(2).toUpper() != "FETCH")
                return;
            bool isNumber = false;
            const int number = response.status().toInt(&isNumber);
            const QByteArray uid = response.numberAfter("UID");
            if (isNumber && !uid.isEmpty())
                m_serverIds.insert(number, m_uidValidity + ':' + uid);
            return;
        }
        if (tag != uidFetchTag)
            return;
        if (isOk(response))
            m_hasServerIds = true;
        else
            tellNoServerIds(noServerIdsCaption());
        m_state = State::Fetching;
        continueLater([this] { fetchNext(); });
        return;
    case State::Fetching:
        if (isUntagged) {
            // RFC 3501 §7.4.2: the text comes as "BODY[]" whether or not it was peeked.
            if (response.status() != QByteArray::number(m_currentMessage))
                return;
            if (std::optional<QByteArray> text = response.literalAfter("BODY[]"))
                m_fetchedText = std::move(text);
            return;
        }
        if (tag != fetchTag)
            return;
        if (!isOk(response))
            return failWithReply(SessionStatus::ProtocolError, response.text);
        if (!m_fetchedText)
            return failUnexpected(
                QStringLiteral("The server sent no text for message %1").arg(m_currentMessage),
                response.text);
        m_unparsedText = *std::exchange(m_fetchedText, std::nullopt);
        m_unparsedNumber = m_currentMessage;
        // The next FETCH goes out before this message is parsed, so that the server works
        // while we parse; it is still one command in flight.
        if (m_currentMessage < m_messageCount)
            fetchNext();
        continueLater([this] { parseFetched(); });
        return;
    case State::Storing:
        if (tag != storeTag)
            return;
        if (isOk(response)) {
            m_hasStored = true;
        } else {
            // The server keeps the message, and so does the history.
            tellServerError(response.text);
            if (CMessage *message = m_messages.Item(QString::number(m_storing))) {
                message->Status = keyOf(MessageStatus::Kept);
                m_filter.recordKept(*message);
            }
        }
        storeNext();
        return;
    case State::ExpungeSent:
        if (tag != expungeTag)
            return;
        if (!isOk(response)) {
            onExpungeRefused(response);
            if (hasEnded())
                return;
        }
        closeMailbox();
        return;
    }
}

void ImapSession::onEncrypted()
{
    if (m_state == State::Encrypting)
        sendLogin();
}

void ImapSession::sendLogin()
{
    // A line break in a quoted string would end the command and start another one.
    if (!canBeQuoted(m_account.UserName) || !canBeQuoted(m_account.Password))
        return failUnexpected(QStringLiteral("The user name or the password holds a line break"));
    m_state = State::LoginSent;
    send(QByteArray(loginTag) + " LOGIN " + quoted(m_account.UserName) + ' '
         + quoted(m_account.Password));
}

void ImapSession::afterSelect(const ImapResponse &reply)
{
    // RFC 3501 §6.3.1 makes the EXISTS count part of every SELECT reply.
    if (m_messageCount < 0)
        return failUnexpected(QStringLiteral("The SELECT reply holds no message count: %1")
                                  .arg(shownServerText(reply.text.trimmed())),
                              reply.text);
    if (m_messageCount == 0) {
        const QString none = m_services.caption(
            QStringLiteral("10049"), QStringLiteral("There are no messages in this account."));
        m_services.notifier.ShowTrayWindow(shownText(m_account.AccountName) + QStringLiteral(", ")
                                           + none);
        m_services.log.Log(none);
        return closeMailbox();
    }
    if (m_settings.NotifyNew) {
        m_state = State::SearchSent;
        send(QByteArray(searchTag) + " SEARCH UNSEEN");
        return;
    }
    startFetching();
}

// In ask mode the ids of every message come first, in one command.
void ImapSession::startFetching()
{
    if (m_settings.AskBeforeDel) {
        if (!m_uidValidity.isEmpty()) {
            m_state = State::UidFetchSent;
            send(QByteArray(uidFetchTag) + " FETCH 1:" + QByteArray::number(m_messageCount)
                 + " (UID)");
            return;
        }
        // Without UIDVALIDITY a UID may name another message next time: nothing is held.
        tellNoServerIds(noServerIdsCaption());
    }
    m_state = State::Fetching;
    continueLater([this] { fetchNext(); });
}

QString ImapSession::noServerIdsCaption() const
{
    return m_services.caption(
        QStringLiteral("280032"),
        QStringLiteral("This server gives no message ids (UIDVALIDITY): its messages can only be "
                       "deleted with \"Ask me before deleting\" off."));
}

void ImapSession::announceUnseen()
{
    if (m_unseenCount < 1)
        return;
    m_services.notifier.ShowTrayWindow(
        m_services.caption(QStringLiteral("270010"), QStringLiteral("You have")) + QLatin1Char(' ')
        + QString::number(m_unseenCount) + QLatin1Char(' ')
        + m_services.caption(QStringLiteral("270011"), QStringLiteral(" New messages in"))
        + QLatin1Char(' ') + shownText(m_account.AccountName) + QLatin1Char(' ')
        + m_services.caption(QStringLiteral("270012"), QStringLiteral(" account.")));
}

void ImapSession::fetchNext()
{
    ++m_currentMessage;
    // BODY.PEEK leaves the \Seen flag alone: checking never marks the user's mail read.
    send(QByteArray(fetchTag) + " FETCH " + QByteArray::number(m_currentMessage)
         + " (FLAGS BODY.PEEK[])");
}

// Runs from the event loop, so that a stop or a time-out between two messages ends the
// session before its next step.
void ImapSession::parseFetched()
{
    CMessage message;
    message.ParseMessage(*std::exchange(m_unparsedText, std::nullopt));
    const bool isAdded = m_messages.Add(std::move(message), QString::number(m_unparsedNumber));
    Q_ASSERT(isAdded);
    if (m_unparsedNumber == m_messageCount)
        classifyMailbox();
}

void ImapSession::classifyMailbox()
{
    if (!guarded([this] { m_deleteFlags = m_filter.CheckAllMessages(m_messages); }))
        return;
    m_deleteFlags.resize(std::max<qsizetype>(m_deleteFlags.size(), m_messageCount + 1));
    // Read now, not at the start: the user may have switched it while the mail came in.
    m_isHolding = m_settings.AskBeforeDel;
    if (m_isHolding
        && !guarded([this] { m_held = holdForReview(m_messages, m_deleteFlags, m_serverIds); }))
        return;
    // Every message is in the history before the first one is flagged for deletion, so a
    // stop or a time-out between the STOREs leaves no flagged message unrecorded. A history
    // that cannot be written flags nothing and queues nothing: the queue keeps what it held.
    bool isSaved = false;
    if (!guarded(
            [this, &isSaved] { isSaved = m_filter.Add2Hist(m_messages, m_account.AccountName); }))
        return;
    if (!isSaved) {
        if (!guarded([this] { recordDeletionsKept(m_messages); }))
            return;
        tellHistoryNotSaved(m_isHolding);
        return closeMailbox();
    }
    if (m_isHolding) {
        // Without ids the queue keeps what it holds of the account: nothing new is known.
        if (m_hasServerIds
            && !guarded([this] { m_filter.awaitReview(m_account.AccountName, m_held); }))
            return;
        return closeMailbox();
    }
    // With the option off this check decides on every message: what the queue held of the
    // account is settled.
    if (!guarded([this] { m_filter.awaitReview(m_account.AccountName, {}); }))
        return;
    m_storing = 0;
    m_state = State::Storing;
    storeNext();
}

// Ascending order, one STORE outstanding at a time.
void ImapSession::storeNext()
{
    for (int n = m_storing + 1; n <= m_messageCount; ++n) {
        if (m_deleteFlags.at(n)) {
            m_storing = n;
            send(QByteArray(storeTag) + " STORE " + QByteArray::number(n) + " +Flags \\Deleted");
            return;
        }
    }
    expunge();
}

// EXPUNGE right after the last STORE reply; nothing to remove when no STORE was accepted.
void ImapSession::expunge()
{
    if (!m_hasStored)
        return closeMailbox();
    m_state = State::ExpungeSent;
    send(QByteArray(expungeTag) + " EXPUNGE");
}

// The flagged messages are still in the mailbox: the history must not claim them deleted.
void ImapSession::onExpungeRefused(const ImapResponse &response)
{
    tellServerError(response.text);
    int kept = 0;
    if (!guarded([this, &kept] { kept = recordDeletionsKept(m_messages); }))
        return;
    if (kept > 0)
        tellAboutAccount(m_services.caption(
            QStringLiteral("280073"),
            QStringLiteral("%1: the server refused EXPUNGE, so the messages are flagged "
                           "\\Deleted but not removed, and recorded as kept.")));
}

// The reply to CLOSE is not awaited: whatever it says, the session has nothing left to do.
void ImapSession::closeMailbox()
{
    send(QByteArray(closeTag) + " CLOSE");
    transport().close();
    end();
}
