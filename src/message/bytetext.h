#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Every occurrence of before (found left to right, not overlapping) replaced with after, in
// one pass that builds a new array: linear in the size of text whatever the replacement
// sizes, unlike an in-place replacement that moves the tail once per batch of matches.
QByteArray replaceAll(QByteArrayView text, QByteArrayView before, QByteArrayView after);
