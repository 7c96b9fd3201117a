#pragma once

#include <QString>

// Adds the authority in the PEM file to the authorities that every new connection of this
// process trusts, as a system would trust its own authorities. The program itself has no such
// switch; only the tests and the benchmarks that talk to the private Dovecot call this.
// False when the file holds no certificate.
bool trustAuthority(const QString &pemFile);
