#include "imapsession.h"

#include "imaptexts.h"
#include "message/separate.h"
#include "net/transport.h"
#include "platform/notifier.h"
#include "platform/showntext.h"
#include "session/mailboxcache.h"
#include "session/mailboxfilter.h"
#include "store/actionlog.h"
#include "store/appsettings.h"
#include "store/services.h"
#include "store/verdictkeys.h"

#include <algorithm>
#include <utility>

namespace {

// The commands' fixed tags, as the engine has always sent them; the dialogue's come first.
const ImapDialogue::Tags dialogueTags {"a120", "a121", "a001", "a142"};
constexpr char searchTag[] = "a282";
constexpr char fetchTag[] = "a654";
constexpr char storeTag[] = "a005";
constexpr char expungeTag[] = "a202";
constexpr char capabilityTag[] = "a203";
constexpr char uidExpungeTag[] = "a204";
constexpr char deletedSearchTag[] = "a205";
constexpr char uidFetchTag[] = "a610";
constexpr char verifyTag[] = "a611";
constexpr char logoutTag[] = "a399";

// Several FETCHes in flight hide the round trips of small messages; more than this many
// gain nothing more, and the byte bound keeps what a stop throws away, and what waits
// unread in the buffers, to about a megabyte. The sizes are those of the texts so far: the
// dialogue asks for none before; until the first text is in, one FETCH waits behind another.
constexpr int maxFetchesInFlight = 16;
// Every message of the SELECT is followed from the start, at a few bytes each: a count past
// this is a server to stop, not a mailbox to check.
constexpr int maxMailboxMessages = 10'000'000;
constexpr qint64 bytesInFlight = 1024 * 1024;

bool isOk(const ImapResponse &response)
{
    return response.status() == "OK";
}

// The message sequence number of "* n FETCH", "* n EXPUNGE" and the like; 0 when the word
// is no positive number.
int sequenceNumber(const ImapResponse &response)
{
    bool isNumber = false;
    const int n = response.status().toInt(&isNumber);
    return isNumber && n > 0 ? n : 0;
}

} // namespace

std::optional<qint32> GetIMAPInbox(QByteArrayView text)
{
    const QList<QByteArray> words = Separate(text, " ");
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (!words.at(i).toLower().contains("exists"))
            continue;
        if (i == 0)
            return std::nullopt;
        bool isNumber = false;
        const int count = words.at(i - 1).trimmed().toInt(&isNumber);
        if (!isNumber || count < 0)
            return std::nullopt;
        return qint32(count);
    }
    return 0;
}

ImapSession::ImapSession(std::unique_ptr<Transport> transport, const MailAccount &account,
                         const AppSettings &settings, Services &services, MailboxFilter &filter,
                         QObject *parent)
    : ImapMailSession(dialogueTags, std::move(transport), account, services, filter, parent)
    , m_settings(settings)
{
}

QString ImapSession::sessionStep() const
{
    return stateName(m_state);
}

void ImapSession::restart()
{
    m_messages.Clear();
    m_mails.clear();
    m_present.clear();
    m_fetchedLead = 0;
    m_inFlight.clear();
    m_expunges = 0;
    m_mailAt.clear();
    m_parsed.clear();
    m_cache = nullptr;
    m_deleteFlags.clear();
    m_unnamed = 0;
    m_toVerify.clear();
    m_serverDigests.clear();
    m_fetchedTexts.clear();
    m_fetchedBytes = 0;
    m_fetchedCount = 0;
    m_unparsedText.reset();
    m_unparsedMail = -1;
    m_state = State::LoggingIn;
    m_messageCount = -1;
    m_unseenCount = 0;
    m_storing = 0;
    m_stored.clear();
    m_hasUidPlus = false;
    m_flagged.clear();
    m_uidValidity.clear();
    m_hasServerIds = false;
    m_isHolding = false;
    m_held.clear();
}

// Untagged data is collected until the tagged reply of the command in flight decides:
// LoggingIn:   the dialogue's, up to "a142 SELECT INBOX" | its failures end the session,
//              next account; meanwhile * n EXISTS -> count (no number, or past
//              maxMailboxMessages -> ProtocolError)
// selected:    no count -> ProtocolError | 0 -> "no messages" and LOGOUT | else SEARCH UNSEEN
//              (when announcing new mail), or a610
// SearchSent:  * SEARCH ... -> unseen count; a282 OK -> "You have n New messages", a610
//              | NO, BAD -> the same without the announcement
// UidFetchSent: * n FETCH (UID u RFC822.SIZE s) -> UID and size of n; a610 OK -> FETCH of
//              the first message the cache does not hold
//              | NO, BAD -> no UIDs ("no message ids" in ask mode), FETCH of the first
// Fetching:    * n FETCH (... BODY[] {k}) -> text of n; each a654 completes the oldest FETCH
//              in flight: OK -> FETCHes of the next messages not yet asked for, up to the
//              window, or after the last: verdicts -> a611 for cached messages to delete,
//              then UID STORE, or history + LOGOUT;
//              in ask mode no STORE: history, review queue + LOGOUT
//              | NO, BAD -> "IMAP Error:", that message is neither judged nor flagged
// VerifySent:  * n FETCH (UID u BODY[HEADER.FIELDS (...)] {k}) -> the headers of u; a611
//              -> a cached message whose headers differ, or are missing, is not deleted
//              (its cache entry is dropped); then as after the verdicts
// Storing:     a005 OK -> next UID STORE, or history + EXPUNGE | NO, BAD -> "IMAP Error:", kept
// Storing:     (after the last) -> a203 CAPABILITY when a STORE was accepted, else LOGOUT
// CapabilitySent: * CAPABILITY ... -> UIDPLUS?; a203 -> a204 UID EXPUNGE of the flagged
//              (UIDPLUS), else a205 UID SEARCH DELETED
// DeletedSearchSent: * SEARCH ... -> flagged; a205 OK and the flagged are exactly ours ->
//              a202 EXPUNGE | else -> "others are marked deleted", recorded as kept, LOGOUT
// UidExpungeSent, ExpungeSent: OK -> LOGOUT | NO, BAD -> "IMAP Error:", the flagged messages
//              recorded as kept again, LOGOUT
// In every state after the greeting, * n EXPUNGE takes message n out and renumbers the ones
// after it; * n EXISTS after the SELECT is not followed. Any other refusal or unusable reply
// ends the session as a ProtocolError; LOGOUT as Ok. No check ever sends CLOSE.
void ImapSession::onResponse(const ImapResponse &response)
{
    const QByteArray tag = response.tag();
    const bool isUntagged = tag == "*";
    if (isUntagged && response.word(2).toUpper() == "EXPUNGE")
        return onExpunged(response);
    switch (m_state) {
    case State::LoggingIn:
    case State::SelectSent:
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
        if (isUntagged)
            return onUidFetched(response);
        if (tag == uidFetchTag)
            onUidFetchDone(response);
        return;
    case State::Fetching:
        if (isUntagged)
            return onMessageFetched(response);
        if (tag == fetchTag)
            onFetchDone(response);
        return;
    case State::VerifySent:
        if (isUntagged)
            return onVerified(response);
        if (tag == verifyTag)
            afterVerifying(response);
        return;
    case State::Storing:
        if (tag != storeTag)
            return;
        if (isOk(response)) {
            m_stored << m_mails.at(m_mailAt.at(m_storing - 1)).uid;
        } else {
            // The server keeps the message, and so does the history.
            tellServerError(response.text);
            if (!recordKept(m_storing))
                return;
        }
        storeNext();
        return;
    case State::CapabilitySent:
        if (isUntagged && response.status() == "CAPABILITY")
            m_hasUidPlus = response.announces("UIDPLUS");
        if (tag == capabilityTag)
            afterCapabilities();
        return;
    case State::DeletedSearchSent:
        if (isUntagged && response.status() == "SEARCH")
            m_flagged << ImapTexts::searchNumbers(response);
        if (tag == deletedSearchTag)
            afterDeletedSearch(response);
        return;
    case State::UidExpungeSent:
    case State::ExpungeSent:
        if (tag != (m_state == State::ExpungeSent ? expungeTag : uidExpungeTag))
            return;
        if (isOk(response)) {
            if (!guarded([this] { confirmDeletions(m_messages); }))
                return;
            return logout();
        }
        tellServerError(response.text);
        return keepFlagged(m_services.caption(
            QStringLiteral("280073"),
            QStringLiteral("%1: the server refused EXPUNGE, so the messages are flagged "
                           "\\Deleted but not removed, and recorded as kept.")));
    }
}

void ImapSession::dialogueDone()
{
    m_uidValidity = dialogue().uidValidity();
    m_state = State::SelectSent;
    afterSelect();
}

// What the dialogue shows of its untagged responses: the SELECT's message count, and the
// expunges told before the first message is followed.
void ImapSession::onUntagged(const ImapResponse &response)
{
    const QByteArray what = response.word(2).toUpper();
    if (what == "EXPUNGE")
        return onExpunged(response);
    if (what != "EXISTS" || isOk(response) || dialogue().step() != ImapDialogue::Step::SelectSent)
        return;
    const std::optional<qint32> count = GetIMAPInbox(response.text);
    if (!count)
        return failUnexpected(QStringLiteral("The SELECT reply holds no message count: %1")
                                  .arg(shownServerText(response.text.trimmed())),
                              response.text);
    if (*count > maxMailboxMessages)
        return failUnexpected(QStringLiteral("The server announced %1 messages, more than the %2 "
                                             "that one check follows")
                                  .arg(*count)
                                  .arg(maxMailboxMessages),
                              response.text);
    m_messageCount = *count;
}

// RFC 3501 §7.4.1: message n is gone and every later message's number is one less. Another
// client's expunge may be told at any point, even where the RFC forbids it; numbers beyond
// the SELECT's messages belong to later arrivals, which this check leaves alone.
void ImapSession::onExpunged(const ImapResponse &response)
{
    const int n = sequenceNumber(response);
    if (m_state == State::LoggingIn) {
        if (n > 0 && n <= m_messageCount)
            --m_messageCount;
        return;
    }
    if (n == 0 || n > m_present.size())
        return;
    m_mails[m_present.takeAt(n - 1)].isExpunged = true;
    ++m_expunges;
    if (n <= m_fetchedLead)
        --m_fetchedLead;
    m_messageCount = int(m_present.size());
}

void ImapSession::afterSelect()
{
    // RFC 3501 §6.3.1 makes the EXISTS count part of every SELECT reply.
    if (m_messageCount < 0)
        return failUnexpected(QStringLiteral("The SELECT reply holds no message count: %1")
                                  .arg(shownServerText(dialogue().selectReply().trimmed())),
                              dialogue().selectReply());
    if (m_messageCount == 0) {
        const QString none = m_services.caption(
            QStringLiteral("10049"), QStringLiteral("There are no messages in this account."));
        m_services.notifier.ShowTrayWindow(shownText(m_account.AccountName) + QStringLiteral(", ")
                                           + none);
        m_services.log.Log(none);
        return logout();
    }
    // From here on the messages are followed through every EXPUNGE.
    m_mails = QList<Mail>(m_messageCount);
    for (int i = 0; i < m_messageCount; ++i)
        m_present << i;
    if (m_settings.NotifyNew) {
        m_state = State::SearchSent;
        send(QByteArray(searchTag) + " SEARCH UNSEEN");
        return;
    }
    startFetching();
}

// The UIDs of every message come first, in one command: messages are flagged by UID, since
// an expunge by another client renumbers them. The count is that of the SELECT; later
// arrivals wait for the next check.
void ImapSession::startFetching()
{
    // Every message went during the search: nothing to check.
    if (m_present.isEmpty())
        return logout();
    // Without UIDVALIDITY a UID may name another message next time: nothing is held.
    if (m_settings.AskBeforeDel && m_uidValidity.isEmpty())
        tellNoServerIds(noServerIdsCaption());
    m_state = State::UidFetchSent;
    send(QByteArray(uidFetchTag) + " FETCH 1:" + QByteArray::number(m_messageCount)
         + " (UID RFC822.SIZE)");
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

void ImapSession::onUidFetched(const ImapResponse &response)
{
    if (response.word(2).toUpper() != "FETCH")
        return;
    const int n = sequenceNumber(response);
    bool isNumber = false;
    const quint32 uid = response.numberAfter("UID").toUInt(&isNumber);
    if (n <= 0 || n > m_present.size() || !isNumber || uid == 0)
        return;
    Mail &mail = m_mails[m_present.at(n - 1)];
    mail.uid = uid;
    bool isSize = false;
    const qint64 size = response.numberAfter("RFC822.SIZE").toLongLong(&isSize);
    if (isSize && size >= 0)
        mail.size = size;
}

void ImapSession::onUidFetchDone(const ImapResponse &reply)
{
    if (isOk(reply)) {
        m_hasServerIds = !m_uidValidity.isEmpty();
    } else {
        // UIDs of a refused command are not trusted: no message of this check is flagged.
        for (Mail &mail : m_mails)
            mail.uid = 0;
        if (m_settings.AskBeforeDel && !m_uidValidity.isEmpty())
            tellNoServerIds(noServerIdsCaption());
    }
    planFetching();
    m_state = State::Fetching;
    continueLater([this] {
        if (!fetchNext())
            classifyMailbox();
    });
}

// The messages the cache holds count as requested: no FETCH goes out for them. UIDs name
// the same message only under the same UIDVALIDITY, and without them the cache is emptied.
void ImapSession::planFetching()
{
    m_cache = m_filter.openCache(m_account);
    if (!m_cache)
        return;
    bool isValidity = false;
    const quint32 validity = m_uidValidity.toUInt(&isValidity);
    QList<QByteArray> ids;
    QList<qint64> sizes;
    ids.reserve(m_mails.size());
    sizes.reserve(m_mails.size());
    for (const Mail &mail : std::as_const(m_mails)) {
        ids << (mail.uid > 0 ? QByteArray::number(mail.uid) : QByteArray());
        sizes << mail.size;
    }
    const QList<bool> toFetch
        = m_cache->plan({CacheIdKind::ImapUid, validity}, ids, sizes, m_hasServerIds && isValidity);
    for (qsizetype i = 0; i < m_mails.size(); ++i) {
        if (!toFetch.value(i, true)) {
            m_mails[i].isRequested = true;
            m_mails[i].isFromCache = true;
            m_mails[i].headerDigest = m_cache->identity(int(i)).headerDigest;
        }
    }
}

int ImapSession::FetchWindow() const
{
    if (m_fetchedCount == 0)
        return 2;
    const qint64 average = std::max<qint64>(1, m_fetchedBytes / m_fetchedCount);
    return int(std::clamp<qint64>(bytesInFlight / average, 1, maxFetchesInFlight));
}

// RFC 3501 §7.4.2: the text comes as "BODY[]" whether or not it was peeked. Its number is
// read after the expunges told before it, whatever number the FETCH was sent with.
void ImapSession::onMessageFetched(const ImapResponse &response)
{
    const int n = sequenceNumber(response);
    if (n == 0 || n > m_present.size() || response.word(2).toUpper() != "FETCH")
        return;
    const int mail = m_present.at(n - 1);
    if (!m_mails.at(mail).isRequested || m_mails.at(mail).isFetched
        || m_fetchedTexts.contains(mail))
        return;
    if (std::optional<QByteArray> text = response.literalAfter("BODY[]"))
        m_fetchedTexts.insert(mail, *std::move(text));
}

// Every FETCH carries the same tag, and the server completes them in the order sent. A text
// belongs to the message its number names when it arrives, whichever FETCH brought it.
void ImapSession::onFetchDone(const ImapResponse &reply)
{
    if (m_inFlight.isEmpty())
        return;
    const Request request = m_inFlight.takeFirst();
    const int mail = request.mail;
    std::optional<QByteArray> text;
    if (m_fetchedTexts.contains(mail))
        text = m_fetchedTexts.take(mail);
    if (request.expunges != m_expunges && !text && !m_mails.at(mail).isExpunged) {
        // An expunge told while this FETCH was out may have made its number name another
        // message, or none: whatever the server said, this message is asked for again.
        m_mails[mail].isRequested = false;
        m_fetchedLead = std::min<int>(m_fetchedLead, int(m_present.indexOf(mail)));
        if (!fetchNext())
            continueLater([this] { classifyMailbox(); });
        return;
    }
    if (!isOk(reply) && request.expunges == m_expunges) {
        // The server keeps the message it could not send, and this check neither judges
        // nor flags it; the messages around it go on as usual.
        tellServerError(reply.text);
        text.reset();
    } else if (!text && !m_mails.at(mail).isExpunged) {
        // A message expunged while its FETCH was out has no text to give.
        return failUnexpected(QStringLiteral("The server sent no text for message %1")
                                  .arg(m_present.indexOf(mail) + 1),
                              reply.text);
    }
    if (!text) {
        if (!fetchNext())
            continueLater([this] { classifyMailbox(); });
        return;
    }
    m_mails[mail].isFetched = true;
    m_fetchedBytes += text->size();
    ++m_fetchedCount;
    m_unparsedText = std::move(text);
    m_unparsedMail = mail;
    // The next FETCHes go out before this message is parsed, so that the server works
    // while we parse.
    const bool isLast = !fetchNext();
    continueLater([this, isLast] {
        parseFetched();
        if (isLast)
            classifyMailbox();
    });
}

// Tops the FETCHes in flight up to the window with the first messages still in the mailbox
// that are not asked for yet; false when none is in flight and none is left.
bool ImapSession::fetchNext()
{
    const int window = FetchWindow();
    while (m_inFlight.size() < window) {
        while (m_fetchedLead < m_present.size()
               && m_mails.at(m_present.at(m_fetchedLead)).isRequested)
            ++m_fetchedLead;
        if (m_fetchedLead == m_present.size())
            break;
        const int mail = m_present.at(m_fetchedLead);
        m_mails[mail].isRequested = true;
        m_inFlight << Request {mail, m_expunges};
        // BODY.PEEK leaves the \Seen flag alone: checking never marks the user's mail read.
        send(QByteArray(fetchTag) + " FETCH " + QByteArray::number(m_fetchedLead + 1)
             + " (FLAGS BODY.PEEK[])");
    }
    return !m_inFlight.isEmpty();
}

// Runs from the event loop, so that a stop or a time-out between two messages ends the
// session before its next step.
void ImapSession::parseFetched()
{
    // The text's array may become the body: a large message is not held twice. Its size is
    // message.SIZE; text may keep only the header block.
    QByteArray text = *std::exchange(m_unparsedText, std::nullopt);
    CMessage message;
    const bool isHeaderBlock = message.parseTakingBody(text);
    m_mails[m_unparsedMail].headerDigest = identityDigest(text);
    if (m_cache)
        m_cache->fetched(m_unparsedMail, text, message, isHeaderBlock);
    m_parsed.insert_or_assign(m_unparsedMail, std::move(message));
}

// The mailbox in the order of the SELECT, the fetched messages and those of the cache
// together; a message expunged before it was fetched, or one the server refused to send,
// is left out.
void ImapSession::assembleMailbox()
{
    for (int mail = 0; mail < m_mails.size(); ++mail) {
        CMessage message;
        if (const auto parsed = m_parsed.find(mail); parsed != m_parsed.end())
            message = std::move(parsed->second);
        else if (m_mails.at(mail).isFromCache && !m_mails.at(mail).isExpunged)
            message = m_cache->takeCached(mail);
        else
            continue;
        m_mailAt << mail;
        const bool isAdded = m_messages.Add(std::move(message), QString::number(m_mailAt.size()));
        Q_ASSERT(isAdded);
    }
    m_parsed.clear();
    if (m_cache)
        m_cache->setMailbox(m_messages, m_mailAt);
}

void ImapSession::classifyMailbox()
{
    assembleMailbox();
    if (!guarded([this] { m_deleteFlags = m_filter.CheckAllMessages(m_messages); }))
        return;
    m_deleteFlags.resize(std::max<qsizetype>(m_deleteFlags.size(), m_messages.Count() + 1));
    // Read now, not at the start: the user may have switched it while the mail came in.
    m_isHolding = m_settings.AskBeforeDel;
    m_unnamed = spareUnflaggable();
    if (!m_isHolding && verifyCached())
        return;
    afterVerdicts();
}

// A message the cache gave was judged from a text fetched at an earlier check: before it is
// flagged its headers are asked for, since the server may have given its UID to another
// message. Gives whether the fetch went out.
bool ImapSession::verifyCached()
{
    QList<quint32> uids;
    for (int p = 1; p <= m_messages.Count(); ++p) {
        const Mail &mail = m_mails.at(m_mailAt.at(p - 1));
        if (m_deleteFlags.at(p) && mail.isFromCache && mail.uid > 0 && !mail.isExpunged) {
            m_toVerify << p;
            uids << mail.uid;
        }
    }
    if (uids.isEmpty())
        return false;
    std::sort(uids.begin(), uids.end());
    m_state = State::VerifySent;
    send(QByteArray(verifyTag) + " UID FETCH " + ImapTexts::uidSet(uids)
         + " (BODY.PEEK[HEADER.FIELDS (" + identityHeaderNames.toByteArray() + ")])");
    return true;
}

// A server may answer an empty header selection with "" rather than a literal.
void ImapSession::onVerified(const ImapResponse &response)
{
    if (response.word(2).toUpper() != "FETCH")
        return;
    bool isNumber = false;
    const quint32 uid = response.numberAfter("UID").toUInt(&isNumber);
    if (!isNumber || uid == 0 || !response.text.toUpper().contains("HEADER.FIELDS"))
        return;
    const QByteArray headers
        = response.literals.isEmpty() ? QByteArray() : response.literals.constFirst().bytes;
    m_serverDigests.insert(uid, identityDigest(headers));
}

void ImapSession::afterVerifying(const ImapResponse &reply)
{
    int mistaken = 0;
    for (const int p : std::as_const(m_toVerify)) {
        const int index = m_mailAt.at(p - 1);
        const Mail &mail = m_mails.at(index);
        const bool isSame = isOk(reply) && !mail.headerDigest.isEmpty()
            && m_serverDigests.value(mail.uid) == mail.headerDigest;
        if (isSame)
            continue;
        m_deleteFlags[p] = false;
        m_messages.Item(p)->Status = keyOf(MessageStatus::Kept);
        m_cache->mistaken(index);
        ++mistaken;
    }
    if (mistaken > 0)
        tellNotTheJudgedMessage();
    afterVerdicts();
}

// The verdicts stand: the review queue or the flags, the history first.
void ImapSession::afterVerdicts()
{
    const int unnamed = m_unnamed;
    if (m_isHolding
        && !guarded([this] { m_held = holdForReview(m_messages, m_deleteFlags, identities()); }))
        return;
    // Every message is in the history before the first one is flagged for deletion, so a
    // stop or a time-out between the STOREs leaves no flagged message unrecorded. A history
    // that cannot be written flags nothing and queues nothing: the queue keeps what it held.
    // What is to be deleted is recorded as pending until the server's EXPUNGE confirms it.
    if (!m_isHolding)
        markDeletionsPending(m_messages);
    bool isSaved = false;
    if (!guarded(
            [this, &isSaved] { isSaved = m_filter.Add2Hist(m_messages, m_account.AccountName); }))
        return;
    if (!isSaved) {
        if (!guarded([this] { recordDeletionsKept(m_messages); }))
            return;
        tellHistoryNotSaved(m_isHolding);
        return logout();
    }
    if (m_isHolding) {
        // Without ids the queue keeps what it holds of the account: nothing new is known.
        if (m_hasServerIds && !guarded([this] { m_filter.awaitReview(m_account, m_held); }))
            return;
        return logout();
    }
    // With the option off this check decides on every message: what the queue held of the
    // account is settled.
    if (!guarded([this] { m_filter.awaitReview(m_account, {}); }))
        return;
    if (unnamed > 0)
        tellAboutAccount(m_services.caption(
            QStringLiteral("280090"),
            QStringLiteral("%1: the server gave no UID for some messages to delete, so they "
                           "were not deleted and are recorded as kept.")));
    m_storing = 0;
    m_state = State::Storing;
    storeNext();
}

// Before the history: a marked message that another client expunged was not deleted by
// this check, and one without a UID cannot be flagged for sure, so both are recorded as
// kept. In ask mode holdForReview keeps those without an id itself. Gives how many were
// kept for want of a UID.
int ImapSession::spareUnflaggable()
{
    QHash<quint32, int> uses; // a UID that two messages claim names neither for sure
    for (const Mail &mail : std::as_const(m_mails)) {
        if (mail.uid > 0)
            ++uses[mail.uid];
    }
    int unnamed = 0;
    for (int p = 1; p <= m_messages.Count(); ++p) {
        if (!m_deleteFlags.at(p))
            continue;
        Mail &mail = m_mails[m_mailAt.at(p - 1)];
        if (mail.uid > 0 && uses.value(mail.uid) > 1)
            mail.uid = 0;
        const bool isUnnamed = mail.uid == 0 && !m_isHolding;
        if (!mail.isExpunged && !isUnnamed)
            continue;
        m_deleteFlags[p] = false;
        m_messages.Item(p)->Status = keyOf(MessageStatus::Kept);
        if (isUnnamed && !mail.isExpunged)
            ++unnamed;
    }
    return unnamed;
}

// Ask mode: "<UIDVALIDITY>:<UID>", the size and the header digest by position; none
// without UIDVALIDITY.
QHash<int, MessageIdentity> ImapSession::identities() const
{
    QHash<int, MessageIdentity> ids;
    if (m_uidValidity.isEmpty())
        return ids;
    for (int p = 1; p <= m_mailAt.size(); ++p) {
        const Mail &mail = m_mails.at(m_mailAt.at(p - 1));
        if (mail.uid > 0)
            ids.insert(
                p,
                {m_uidValidity + ':' + QByteArray::number(mail.uid), mail.size, mail.headerDigest});
    }
    return ids;
}

// In the order fetched, one UID STORE outstanding at a time.
void ImapSession::storeNext()
{
    for (int p = m_storing + 1; p <= m_messages.Count(); ++p) {
        if (!m_deleteFlags.at(p))
            continue;
        const Mail &mail = m_mails.at(m_mailAt.at(p - 1));
        // Expunged by another client since the history named it: not deleted by this check.
        if (mail.isExpunged) {
            if (!recordKept(p))
                return;
            continue;
        }
        m_storing = p;
        send(QByteArray(storeTag) + " UID STORE " + QByteArray::number(mail.uid)
             + " +Flags \\Deleted");
        return;
    }
    expunge();
}

// The message at the position stays on the server as far as this check goes: the history
// says kept. False when that failed and ended the session.
bool ImapSession::recordKept(int position)
{
    CMessage *message = m_messages.Item(position);
    if (!message)
        return true;
    message->Status = keyOf(MessageStatus::Kept);
    return guarded([this, message] { m_filter.recordKept(*message); });
}

// Only what this check flagged is removed, never a message that another mail program only
// marked \Deleted (its user may still undo that). Nothing to remove when no STORE was
// accepted. UIDPLUS, which says how, is asked for only then.
void ImapSession::expunge()
{
    if (m_stored.isEmpty())
        return logout();
    std::sort(m_stored.begin(), m_stored.end());
    m_state = State::CapabilitySent;
    send(QByteArray(capabilityTag) + " CAPABILITY");
}

// RFC 4315 §2.1: UID EXPUNGE removes exactly the given messages. Without it, a plain EXPUNGE
// (RFC 3501 §6.4.3) removes every flagged message, so it is sent only when the flagged are
// all this check's own. Whatever the CAPABILITY reply said, an answer without UIDPLUS is the
// careful way.
void ImapSession::afterCapabilities()
{
    if (m_hasUidPlus) {
        m_state = State::UidExpungeSent;
        send(QByteArray(uidExpungeTag) + " UID EXPUNGE " + ImapTexts::uidSet(m_stored));
        return;
    }
    m_state = State::DeletedSearchSent;
    send(QByteArray(deletedSearchTag) + " UID SEARCH DELETED");
}

void ImapSession::afterDeletedSearch(const ImapResponse &reply)
{
    std::sort(m_flagged.begin(), m_flagged.end());
    m_flagged.erase(std::unique(m_flagged.begin(), m_flagged.end()), m_flagged.end());
    if (isOk(reply) && m_flagged == m_stored) {
        m_state = State::ExpungeSent;
        send(QByteArray(expungeTag) + " EXPUNGE");
        return;
    }
    keepFlagged(m_services.caption(
        QStringLiteral("280075"),
        QStringLiteral("%1: other messages of this mailbox are marked deleted too, so the "
                       "messages to delete were flagged \\Deleted but not expunged, and are "
                       "recorded as kept.")));
}

// The flagged messages are still in the mailbox: the history must not claim them deleted.
void ImapSession::keepFlagged(const QString &caption)
{
    int kept = 0;
    if (!guarded([this, &kept] { kept = recordDeletionsKept(m_messages); }))
        return;
    if (kept > 0)
        tellAboutAccount(caption);
    logout();
}

// RFC 3501 §6.1.3: LOGOUT removes nothing. CLOSE (§6.4.2) would remove every message that
// carries \Deleted, another mail program's marks included; the reply is not awaited, since
// the session has nothing left to do.
void ImapSession::logout()
{
    send(QByteArray(logoutTag) + " LOGOUT");
    transport().close();
    end();
}
