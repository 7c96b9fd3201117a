#pragma once

// How a mail connection is encrypted.
enum class Encryption {
    None, // plain throughout
    Implicit, // TLS from the first byte
    StartTls, // plain until the server's go-ahead; a server without it is left at once
    StartTlsWhenOffered, // STARTTLS when the server announces it, else plain
};
