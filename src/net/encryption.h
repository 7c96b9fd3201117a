#pragma once

// How a mail connection is encrypted.
enum class Encryption {
    None, // plain throughout
    Implicit, // TLS from the first byte
    StartTls, // plain until the server's go-ahead; a server without it is left at once
    // No mode chosen: STARTTLS when the server announces it. A server without it gets neither
    // the user name nor the password until the user chooses to sign in in clear.
    StartTlsWhenOffered,
};
