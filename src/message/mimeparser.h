#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

class ByteSink;
class CMessage;

// The attachments the MIME part walk finds in a message.
struct MimeParts
{
    QList<QByteArray> names; // one per attachment, "unnamed" when it gives none
    QList<QByteArray> bodies; // the decoded attachments, parallel to names
};

// Reads the parts of a whole message (lines split at CR LF, read in place), decoding them with
// the content decoders: the text parts go to text as they are decoded, CR LF line ends kept,
// the attachments are given back. Without a "boundary=" line the message is one entity, so its
// header's Content-Transfer-Encoding applies to the body. Otherwise every declared boundary
// marker is walked in turn. Ends on every input; hostile input costs time linear in its size,
// and nothing is kept per line.
MimeParts readMimeParts(QByteArrayView message, const CMessage &decoder, ByteSink &text);

// Where the text readMimeParts gives for the message starts, when it is a single part whose
// text is its body exactly as it stands (no transfer encoding decoded, no NUL byte to drop):
// the text is then message.sliced(start). -1 for every other message.
qsizetype plainBodyStart(QByteArrayView message);
