#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The address of a From or Sender text as the friend and blocked lists compare it: the one
// inside its last angle brackets ("Rail Bookings" <noreply@rail.example> gives
// noreply@rail.example), else the whole text; blanks around it are dropped.
QByteArray bareAddress(QByteArrayView sender);

// The pattern for every address of an address's domain: "*" and the address from its first
// "@" on, or "*" and the whole address when it has no "@".
QByteArray domainPattern(QByteArrayView address);
