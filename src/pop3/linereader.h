#pragma once

#include "net/framingbuffer.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Frames the byte stream of a POP3 connection: single reply lines and the text of a
// multi-line reply, whatever the arrivals' split. Knows nothing of commands or states.
class LineReader
{
public:
    explicit LineReader(FramingLimits limits = {});

    void append(QByteArrayView data);
    void clear();
    qsizetype bufferedSize() const { return m_frame.size(); }

    // The first complete line with its line end (CR LF, or LF alone); nullopt until it is in,
    // or after a failure. A line longer than the limit fails the reader as soon as that many
    // bytes are in, whether its end has come or not.
    std::optional<QByteArray> takeLine();

    // The text of a multi-line reply whose status line has been taken: every line up to the
    // line holding a single ".", each with its CR LF, dot-stuffing undone; nullopt until the
    // end line is in, or after a failure. Its lines may be of any length, but a text larger
    // than the limit fails the reader as soon as that much of it is in. Only bytes that
    // arrived since the previous call are searched, so a long text costs time linear in its
    // size.
    std::optional<QByteArray> takeMultiline();

    // The server broke a limit; nothing more is framed until clear().
    bool hasFailed() const { return m_failure != FramingFailure::None; }
    FramingFailure failure() const { return m_failure; }
    const FramingLimits &limits() const { return m_limits; }

private:
    void consume(qsizetype count);

    FramingLimits m_limits;
    FramingBuffer m_frame;
    qsizetype m_bodyScanned
        = 0; // of the pending bytes: searched for the end line without finding it
    FramingFailure m_failure = FramingFailure::None;
};
