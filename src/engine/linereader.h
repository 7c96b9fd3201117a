#pragma once

#include "framingbuffer.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Frames the byte stream of a POP3 connection: single reply lines and the text of a
// multi-line reply, whatever the arrivals' split. Knows nothing of commands or states.
class LineReader
{
public:
    void append(QByteArrayView data);
    void clear();
    qsizetype bufferedSize() const { return m_frame.size(); }

    // The first complete line with its line end (CR LF, or LF alone); nullopt until it is in.
    std::optional<QByteArray> takeLine();

    // The text of a multi-line reply whose status line has been taken: every line up to the
    // line holding a single ".", each with its CR LF, dot-stuffing undone; nullopt until the
    // end line is in. Only bytes that arrived since the previous call are searched, so a
    // long text costs time linear in its size.
    std::optional<QByteArray> takeMultiline();

private:
    void consume(qsizetype count);

    FramingBuffer m_frame;
    qsizetype m_bodyScanned
        = 0; // of the pending bytes: searched for the end line without finding it
};
