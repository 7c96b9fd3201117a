#pragma once

#include <QByteArray>

// Field number index (from 0) of text, fields being separated by separator; "NOT FOUND"
// when the text has fewer fields. Index 0 of a text without separator is the whole text.
QByteArray Get_After_Seperator(const QByteArray &text, int index, char separator);
