#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Line helpers of the MIME reader. A line array is a message (or part of one) split at CR LF;
// indices are 0-based and -1 means "nothing found". No function here fails: an index that
// leaves the array, or an empty array, gives -1 (or an empty result).

using LineArray = QList<QByteArray>;

// First index i with Start <= i < size - 1 whose line holds Text. The last line is never
// examined. With Substring the test is a case-sensitive substring search, otherwise FindToken.
qsizetype FindLine(qsizetype Start, QByteArrayView Text, const LineArray &Lines, bool Substring);

// Position (from 1) of the first case-insensitive occurrence of Token in Line that stands
// between the line start or a delimiter and the line end or a delimiter; 0 if none or empty.
qsizetype FindToken(QByteArrayView Line, QByteArrayView Token);

// The double quote, "-", TAB, LF, CR and the blank.
bool IsTokenDelimiter(char c);

// First empty line from Start on, examining at most size - 1 lines.
qsizetype FindBlankLine(qsizetype Start, const LineArray &Lines);

// Highest index >= 1 whose line holds Text (case-sensitive); index 0 is never examined.
qsizetype FindLastLine(QByteArrayView Text, const LineArray &Lines);

// Highest index >= 1 whose line is empty.
qsizetype FindLastEmptyLine(const LineArray &Lines);

// The parameter value after Key on line Index: Key is looked up in the lower-cased line, the
// value keeps its case, one pair of enclosing quotes is dropped and every blank removed.
// Anything after the value on the same line stays part of it.
QByteArray GetParam(qsizetype Index, QByteArrayView Key, const LineArray &Lines);
// GetParam of one line.
QByteArray ParamOfLine(QByteArrayView Line, QByteArrayView Key);

// Makes Target the lines From..To of Source and empties them in Source. To below From leaves
// both alone; a range outside Source gives To - From + 1 empty lines and leaves Source alone.
void MoveLines(LineArray &Source, LineArray &Target, qsizetype From, qsizetype To);

// Joins lines From..To with CR LF, folds every CR LF followed by TAB, VT, blank or the byte
// 255 into one blank, and splits the result at CR LF again.
LineArray UnfoldHeader(qsizetype From, qsizetype To, const LineArray &Lines);
// UnfoldHeader of lines already joined with CR LF.
LineArray UnfoldJoinedHeader(QByteArrayView Joined);
