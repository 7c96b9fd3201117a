#pragma once

#include "mimelines.h"

#include <QByteArray>
#include <QList>

class CMessage;

// What the MIME part walk finds in a message.
struct MimeParts
{
    QByteArray text; // the text parts decoded and joined, CR LF line ends kept
    QList<QByteArray> names; // one per attachment, "unnamed" when it gives none
    QList<QByteArray> bodies; // the decoded attachments, parallel to names
};

// Reads the parts of a whole message split at CR LF, decoding them with the content decoders
// of decoder. Without a "boundary=" line the message is one entity, so its header's
// Content-Transfer-Encoding applies to the body. Otherwise every declared boundary marker is
// walked in turn. Ends on every input; hostile input costs time linear in its size.
MimeParts readMimeParts(const LineArray &lines, const CMessage &decoder);
