#include "password.h"

#include "message/base64.h"

namespace {

QByteArray shifted(QByteArray bytes, int delta)
{
    for (char &c : bytes)
        c = static_cast<char>(static_cast<unsigned char>(c) + delta);
    return bytes;
}

} // namespace

QByteArray EncodePassword(const QByteArray &text)
{
    return Base64Encode(shifted(text, -1));
}

QByteArray DecodePassword(const QByteArray &text)
{
    return shifted(Base64Decode(text), +1);
}
