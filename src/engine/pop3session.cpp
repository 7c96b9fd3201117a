#include "pop3session.h"

#include "mailboxfilter.h"
#include "transport.h"
#include "platform/notifier.h"
#include "platform/showntext.h"
#include "store/actionlog.h"
#include "store/separator.h"
#include "store/services.h"

#include <QMetaObject>

#include <exception>

namespace {

constexpr char keptStatus[] = "70044"; // the history's "kept" status key

bool isPositive(const QByteArray &reply)
{
    return reply.startsWith('+');
}

} // namespace

Pop3Session::Pop3Session(Transport &transport, const MailAccount &account, Services &services,
                         MailboxFilter &filter, QObject *parent)
    : MailSession(parent)
    , m_transport(transport)
    , m_account(account)
    , m_services(services)
    , m_filter(filter)
{
    connect(&m_transport, &Transport::received, this, &Pop3Session::onReceived);
    connect(&m_transport, &Transport::closed, this, &Pop3Session::onClosed);
    connect(&m_transport, &Transport::failed, this, &Pop3Session::onFailed);
}

Pop3Session::~Pop3Session()
{
    m_transport.disconnect(this);
}

void Pop3Session::start(const QString &server, quint16 port)
{
    m_transport.close();
    m_messages.Clear();
    m_reader.clear();
    m_deleteFlags.clear();
    m_state = State::Greeting;
    m_hasEnded = false;
    m_transport.connectToHost(server, port);
}

void Pop3Session::abort()
{
    m_hasEnded = true;
    m_transport.close();
}

void Pop3Session::onReceived(const QByteArray &data)
{
    if (m_hasEnded)
        return;
    emit activity();
    m_reader.append(data);
    processBuffered();
}

void Pop3Session::onClosed()
{
    // The server hung up: nothing of this session is deleted; go on with the next account.
    if (m_hasEnded)
        return;
    m_hasEnded = true;
    emit finished();
}

void Pop3Session::onFailed(int code, const QString &description)
{
    if (m_hasEnded)
        return;
    m_transport.close();
    tell(m_services.caption(QStringLiteral("10118"), QStringLiteral("POP3 Connection Error"))
         + QLatin1Char(' ') + QString::number(code) + QStringLiteral(" : ") + description);
    end();
}

// Replies are judged only once their line is complete, however the server's bytes were split.
void Pop3Session::processBuffered()
{
    while (!m_hasEnded && !m_isWaiting) {
        if (m_state == State::Retrieving && m_hasRetrStatus) {
            std::optional<QByteArray> text = m_reader.takeMultiline();
            if (!text)
                return;
            onMessageText(*text);
            continue;
        }
        const std::optional<QByteArray> reply = m_reader.takeLine();
        if (!reply)
            return;
        onReply(*reply);
    }
}

// Greeting:   +OK -> USER            | -ERR -> "POP3 Error:", next account
// UserSent:   +OK -> PASS            | -ERR -> "POP3 Error:", next account
// PassSent:   +OK -> STAT            | -ERR -> "POP3 Error:", next account
// StatSent:   +OK n>0 -> RETR 1      | +OK 0 -> "no messages", QUIT, close | n<0 -> QUIT
//                                    | -ERR -> "POP3 Error:", next account
// Retrieving: +OK + text -> RETR n+1 (sent before the text is parsed), or after the last
//                                    parsed: verdicts -> DELE or history + QUIT
//                                    | -ERR -> "POP3 Error:", next account (nothing deleted)
// Deleting:   +OK -> next DELE, or history + QUIT | -ERR -> "POP3 Error:", message kept
// Quitting:   no reply awaited
// QuitSent:   +OK -> close, next account | -ERR -> "POP3 Error:", next account
void Pop3Session::onReply(const QByteArray &reply)
{
    switch (m_state) {
    case State::Greeting:
        if (!isPositive(reply))
            return failWithReply(reply);
        m_messageCount = 0;
        m_currentMessage = 0;
        m_lastParsed = 0;
        m_state = State::UserSent;
        send("USER " + m_account.UserName);
        return;
    case State::UserSent:
        if (!isPositive(reply))
            return failWithReply(reply);
        m_state = State::PassSent;
        send("PASS " + m_account.Password);
        return;
    case State::PassSent:
        if (!isPositive(reply))
            return failWithReply(reply);
        send("STAT");
        m_state = State::StatSent;
        return;
    case State::StatSent:
        if (!isPositive(reply))
            return failWithReply(reply);
        onStat(reply);
        return;
    case State::Retrieving:
        if (!isPositive(reply))
            return failWithReply(reply);
        m_hasRetrStatus = true;
        return;
    case State::Deleting:
        if (!isPositive(reply)) {
            // The server keeps the message, and so does the history.
            tell(m_services.caption(QStringLiteral("10117"), QStringLiteral("POP3 Error:")) + shownText(reply));
            if (CMessage *message = m_messages.Item(QString::number(m_deleting)))
                message->Status = keptStatus;
        }
        deleteNext();
        return;
    case State::Quitting:
        return;
    case State::QuitSent:
        if (!isPositive(reply))
            return failWithReply(reply);
        m_transport.close();
        end();
        return;
    }
}

void Pop3Session::onStat(const QByteArray &reply)
{
    bool isNumber = false;
    const QByteArray field = Get_After_Seperator(reply, 1, ' ').trimmed();
    const int count = field.toInt(&isNumber);
    if (!isNumber)
        return failUnexpected(QStringLiteral("The STAT reply holds no message count: %1")
                                  .arg(shownText(reply.trimmed())));
    m_messageCount = count;
    if (count > 0) {
        m_state = State::Retrieving;
        continueLater(&Pop3Session::fetchNext);
    } else if (count == 0) {
        const QString none = m_services.caption(QStringLiteral("10049"),
                                                QStringLiteral("There are no messages in this account."));
        m_services.notifier.ShowTrayWindow(shownText(m_account.AccountName) + QStringLiteral(" ,") + none);
        m_services.log.Log(none);
        m_state = State::Quitting;
        send("QUIT");
        m_transport.close();
        end();
    } else {
        m_state = State::QuitSent;
        send("QUIT");
    }
}

void Pop3Session::onMessageText(const QByteArray &text)
{
    m_hasRetrStatus = false;
    const int number = m_currentMessage;
    // The next RETR goes out before this message is parsed, so that the server sends it
    // meanwhile; it is still the only command in flight.
    if (number < m_messageCount)
        fetchNext();
    try {
        CMessage message;
        message.ParseMessage(text);
        const bool isAdded = m_messages.Add(std::move(message), QString::number(number));
        Q_ASSERT(isAdded);
    } catch (const std::exception &e) {
        return failUnexpected(QString::fromLocal8Bit(e.what()));
    }
    m_lastParsed = number;
    continueLater(&Pop3Session::afterMessage);
}

void Pop3Session::fetchNext()
{
    ++m_currentMessage;
    send("RETR " + QByteArray::number(m_currentMessage));
}

// Runs from the event loop, so that a stop or a time-out between two messages ends the
// session before it goes on; the verdicts wait until the last message is parsed.
void Pop3Session::afterMessage()
{
    if (m_lastParsed == m_messageCount)
        classifyMailbox();
}

void Pop3Session::classifyMailbox()
{
    try {
        m_deleteFlags = m_filter.CheckAllMessages(m_messages);
    } catch (const std::exception &e) {
        return failUnexpected(QString::fromLocal8Bit(e.what()));
    }
    m_deleteFlags.resize(std::max<qsizetype>(m_deleteFlags.size(), m_messageCount + 1));
    m_deleting = 0;
    if (!m_deleteFlags.at(0))
        return recordAndQuit();
    m_state = State::Deleting;
    deleteNext();
}

// Ascending order, one DELE outstanding at a time.
void Pop3Session::deleteNext()
{
    for (int n = m_deleting + 1; n <= m_messageCount; ++n) {
        if (m_deleteFlags.at(n)) {
            m_deleting = n;
            send("DELE " + QByteArray::number(n));
            return;
        }
    }
    recordAndQuit();
}

// The history is written after the server has answered every DELE, so that it records what
// the server agreed to; the deletions only take effect with QUIT, after the history.
void Pop3Session::recordAndQuit()
{
    try {
        m_filter.Add2Hist(m_messages, m_account.AccountName);
    } catch (const std::exception &e) {
        return failUnexpected(QString::fromLocal8Bit(e.what()));
    }
    m_state = State::QuitSent;
    send("QUIT");
}

void Pop3Session::send(const QByteArray &command)
{
    m_transport.write(command + "\r\n");
}

void Pop3Session::tell(const QString &text)
{
    m_services.notifier.ShowTrayWindow(text);
    m_services.log.Log(text);
}

void Pop3Session::failWithReply(const QByteArray &reply)
{
    m_transport.close();
    tell(m_services.caption(QStringLiteral("10117"), QStringLiteral("POP3 Error:")) + shownText(reply));
    end();
}

void Pop3Session::failUnexpected(const QString &description)
{
    m_transport.close();
    tell(m_services.caption(QStringLiteral("10133"), QStringLiteral("Error:")) + QLatin1Char(' ') + description);
    end();
}

void Pop3Session::end()
{
    m_hasEnded = true;
    m_transport.close();
    emit finished();
}

void Pop3Session::continueLater(void (Pop3Session::*step)())
{
    m_isWaiting = true;
    QMetaObject::invokeMethod(
        this,
        [this, step] {
            m_isWaiting = false;
            if (m_hasEnded)
                return;
            (this->*step)();
            processBuffered();
        },
        Qt::QueuedConnection);
}
