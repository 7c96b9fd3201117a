#pragma once

#include <QByteArray>
#include <QByteArrayView>

// What tells one message on a server from another that later carries the same id: servers
// may give a deleted message's POP3 UIDL, or an IMAP UID under one UIDVALIDITY, to a new
// message. A verdict or a user's decision is used only for the message it was made on, so
// it is kept with the message's size as the server gives it (POP3 LIST, IMAP RFC822.SIZE)
// and a digest of its identifying headers; before anything deletes the message both are
// asked of the server again and compared.
struct MessageIdentity
{
    QByteArray serverId; // the POP3 UIDL, or the IMAP UID
    qint64 serverSize = -1; // -1: not known
    QByteArray headerDigest; // identityDigest() of its header block; empty: not known

    // Both sides know everything and agree. An identity that is not fully known never
    // matches: nothing is deleted on a guess.
    bool matches(const MessageIdentity &now) const
    {
        return !serverId.isEmpty() && serverId == now.serverId && serverSize >= 0
            && serverSize == now.serverSize && !headerDigest.isEmpty()
            && headerDigest == now.headerDigest;
    }
};

// The headers the digest reads, as IMAP names them in BODY.PEEK[HEADER.FIELDS (...)].
inline constexpr QByteArrayView identityHeaderNames = "MESSAGE-ID DATE FROM SUBJECT";

// A digest (hex SHA-256) of the Message-ID, Date, From and Subject fields of a header block
// (or of a whole message: reading stops at the first empty line). Every occurrence counts, in
// order; field names are matched without regard to case, folded lines are unfolded and runs
// of blanks made one, so that a whole message, a POP3 "TOP n 0" reply and an IMAP
// HEADER.FIELDS reply of one message give the same digest.
QByteArray identityDigest(QByteArrayView message);
