#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Every occurrence of before (found left to right, not overlapping) replaced with after, in
// one pass that builds a new array: linear in the size of text whatever the replacement
// sizes, unlike an in-place replacement that moves the tail once per batch of matches.
QByteArray replaceAll(QByteArrayView text, QByteArrayView before, QByteArrayView after);

// The first position at or after from where needle stands in text, or -1. A memchr walk
// to the needle's first byte and a compare there: the line searches of the parser run over
// every byte of a message, and on such short needles this costs a fraction of the general
// search. Text that makes the walk compare too much (a line of dashes against a boundary
// marker) goes on with the general search, so the time stays linear.
qsizetype indexOfBytes(QByteArrayView text, QByteArrayView needle, qsizetype from = 0);

// The same without regard to the case of ASCII letters. Both spellings of the needle's first
// letter are searched for with memchr, each from where its own last hit was, so the search
// stays linear however often one of them occurs.
qsizetype indexOfBytesIgnoringCase(QByteArrayView text, QByteArrayView needle, qsizetype from = 0);

inline bool containsBytes(QByteArrayView text, QByteArrayView needle)
{
    return indexOfBytes(text, needle) >= 0;
}
