#pragma once

#include <QByteArray>

#include <optional>

// Decimal text to a 16-bit signed number: blanks around it are allowed and a fraction
// goes to the nearest whole number, a half to the even one. Nothing for text that is not
// a number or lies outside -32768..32767.
std::optional<qint16> toInt16(const QByteArray &text);

// A whole number from minimum to maximum written as plain decimal digits (a leading minus
// allowed), blanks around it allowed; nothing otherwise.
std::optional<int> toWholeNumber(const QByteArray &text, int minimum, int maximum);
