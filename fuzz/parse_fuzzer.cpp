// libFuzzer target: every byte string is a message. ParseMessage and the decoders it uses must
// return on all of them without a crash, a sanitizer report or a hang.
#include "message/cmessage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));
    CMessage message;
    message.ParseMessage(text);
    if (message.Attachment.size() != message.AttachmentBodies.size())
        __builtin_trap();
    if (message.SIZE != 0 && message.SIZE != qint32(size))
        __builtin_trap();

    // The decoders on their own, as they also see raw header and body text.
    message.DecodeQP(text);
    message.DecodeIso(text);
    message.DecodeUUE(text);
    message.Decode(text);
    message.DecodeAttachment(QByteArray::fromRawData(text.data(), text.size()).split('\n'));
    return 0;
}
