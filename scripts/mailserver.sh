#!/usr/bin/env bash
# A private Dovecot for the end-to-end tests and the benchmarks: POP3 and IMAP on 127.0.0.1,
# free high ports, its own configuration, passwd-file users and maildirs in a temporary
# folder. Never touches the system's Dovecot service. Run as root.
# Encryption: the plain ports offer STARTTLS, two more ports speak TLS from the first byte,
# with a server certificate for 127.0.0.1 and localhost from a test authority made here.
#
#   mailserver.sh start POINTER [LIFETIME]  start a server; POINTER receives its folder.
#                                          It stops by itself after LIFETIME seconds
#                                          (default 1800).
#   mailserver.sh user POINTER NAME PASS    add a user with an empty mailbox (or empty it)
#   mailserver.sh load POINTER NAME FILE... put message files into a user's inbox, in order
#   mailserver.sh uidvalidity POINTER NAME VALUE
#                                          give the user's inbox another IMAP UIDVALIDITY
#   mailserver.sh stop POINTER              stop the server and remove its folder
#
# The folder holds "env" with POP3_PORT, IMAP_PORT, POP3S_PORT, IMAPS_PORT, MAIL_UID and
# MAIL_GID, "dovecot.log", "users/NAME" (a passwd-file per user), "mail/NAME/" (a maildir per
# user) and "tls/": the authority "ca.pem", the server's "server.pem" and "server.key", and
# for the tests of refused certificates, each with its ".key": "wronghost.pem" (for
# mail.example.org), "expired.pem" (by the authority), "selfsigned.pem" and "selfsigned2.pem"
# (two different self-signed certificates for 127.0.0.1).
set -euo pipefail

die() { echo "mailserver.sh: $*" >&2; exit 1; }

server_dir() {
    [ -f "$1" ] || die "no server recorded in $1"
    local dir
    dir=$(cat "$1")
    [ -d "$dir" ] || die "server folder $dir is gone"
    echo "$dir"
}

# The test authority and the certificates, made fresh for every server; they live as long as
# the server and never leave its folder.
make_certificates() {
    local tls=$1
    mkdir -p "$tls"
    chmod 755 "$tls"
    local ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
    local names="subjectAltName=IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost"
    openssl req -x509 "${ec[@]}" -keyout "$tls/ca.key" -out "$tls/ca.pem" -days 2 \
        -subj "/CN=Korvane Test Authority" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
    # Signed by the authority, valid from yesterday: name, subject alternative names.
    local name cn alt
    for name in server wronghost; do
        if [ "$name" = server ]; then cn=127.0.0.1; alt=$names; else
            cn=mail.example.org; alt="subjectAltName=DNS:mail.example.org"; fi
        openssl req -new "${ec[@]}" -keyout "$tls/$name.key" -out "$tls/$name.csr" \
            -subj "/CN=$cn" 2>/dev/null
        openssl x509 -req -in "$tls/$name.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" \
            -CAcreateserial -out "$tls/$name.pem" -days 2 \
            -extfile <(printf '%s\nbasicConstraints=CA:FALSE\n' "$alt") 2>/dev/null
    done
    # Expired long ago: only "openssl ca" takes a start and an end date.
    : >"$tls/index.txt"
    echo 1000 >"$tls/serial"
    cat >"$tls/ca.cnf" <<CNF
[ ca ]
default_ca = test
[ test ]
database = $tls/index.txt
new_certs_dir = $tls
serial = $tls/serial
default_md = sha256
policy = any
copy_extensions = copy
[ any ]
commonName = supplied
CNF
    openssl req -new "${ec[@]}" -keyout "$tls/expired.key" -out "$tls/expired.csr" \
        -subj "/CN=127.0.0.1" -addext "$names" 2>/dev/null
    openssl ca -batch -config "$tls/ca.cnf" -cert "$tls/ca.pem" -keyfile "$tls/ca.key" \
        -in "$tls/expired.csr" -out "$tls/expired.pem" -notext \
        -startdate 20200101000000Z -enddate 20200201000000Z 2>/dev/null
    for name in selfsigned selfsigned2; do
        openssl req -x509 "${ec[@]}" -keyout "$tls/$name.key" -out "$tls/$name.pem" -days 2 \
            -subj "/CN=127.0.0.1" -addext "$names" 2>/dev/null
    done
    rm -f "$tls"/*.csr "$tls"/ca.cnf "$tls"/ca.srl "$tls"/index.txt* "$tls"/serial* "$tls"/1000.pem
    chmod 644 "$tls"/*
    [ -s "$tls/server.pem" ] && [ -s "$tls/expired.pem" ] && [ -s "$tls/selfsigned2.pem" ] ||
        die "the test certificates could not be made"
}

ensure_dovecot() {
    command -v dovecot >/dev/null && [ -x /usr/lib/dovecot/pop3 ] && [ -x /usr/lib/dovecot/imap ] && return
    echo "Installing Dovecot"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # The packages start the system service; it is left alone and not used here.
    apt-get install -y -qq --no-install-recommends dovecot-core dovecot-pop3d dovecot-imapd >/dev/null
}

# A port from 20000 to 32000 that nobody listens on: account ports are 16-bit signed numbers.
free_port() {
    python3 - "$@" <<'PY'
import random, socket, sys
taken = {int(p) for p in sys.argv[1:]}
for _ in range(200):
    port = random.randint(20000, 32000)
    if port in taken:
        continue
    s = socket.socket()
    try:
        s.bind(("127.0.0.1", port))
    except OSError:
        continue
    finally:
        s.close()
    print(port)
    sys.exit(0)
sys.exit("no free port")
PY
}

# An existing system user for Dovecot's own processes; the packages create these two.
system_user() {
    if id "$1" >/dev/null 2>&1; then echo "$1"; else echo nobody; fi
}

start() {
    local pointer=$1 lifetime=${2:-1800}
    [ "$(id -u)" = 0 ] || die "must run as root"
    ensure_dovecot
    local dir
    dir=$(mktemp -d /tmp/korvane-dovecot.XXXXXX)
    chmod 755 "$dir"
    mkdir -p "$dir/run" "$dir/state" "$dir/mail" "$dir/users"
    command -v openssl >/dev/null || die "openssl is missing (scripts/deps.sh installs it)"
    make_certificates "$dir/tls"
    local mail_uid mail_gid pop3_port imap_port pop3s_port imaps_port internal_user login_user
    mail_uid=$(id -u nobody)
    mail_gid=$(id -g nobody)
    internal_user=$(system_user dovecot)
    login_user=$(system_user dovenull)
    local started=0
    for _ in 1 2 3 4 5; do
        pop3_port=$(free_port)
        imap_port=$(free_port "$pop3_port")
        pop3s_port=$(free_port "$pop3_port" "$imap_port")
        imaps_port=$(free_port "$pop3_port" "$imap_port" "$pop3s_port")
        cat >"$dir/dovecot.conf" <<CONF
protocols = pop3 imap
listen = 127.0.0.1
base_dir = $dir/run
state_dir = $dir/state
instance_name = korvane-$(basename "$dir")
log_path = $dir/dovecot.log
info_log_path = $dir/dovecot.log
ssl = yes
ssl_cert = <$dir/tls/server.pem
ssl_key = <$dir/tls/server.key
disable_plaintext_auth = no
auth_mechanisms = plain
default_internal_user = $internal_user
default_internal_group = $(id -gn "$internal_user")
default_login_user = $login_user
first_valid_uid = $mail_uid
mail_location = maildir:$dir/mail/%u
mail_uid = $mail_uid
mail_gid = $mail_gid
pop3_uidl_format = %f
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/users/%u
}
userdb {
  driver = static
  args = uid=$mail_uid gid=$mail_gid home=$dir/mail/%u
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $pop3_port
  }
  inet_listener pop3s {
    address = 127.0.0.1
    port = $pop3s_port
    ssl = yes
  }
}
service imap-login {
  inet_listener imap {
    address = 127.0.0.1
    port = $imap_port
  }
  inet_listener imaps {
    address = 127.0.0.1
    port = $imaps_port
    ssl = yes
  }
}
CONF
        if dovecot -c "$dir/dovecot.conf" 2>>"$dir/dovecot.log"; then
            started=1
            break
        fi
    done
    if [ "$started" != 1 ]; then
        cat "$dir/dovecot.log" >&2 || true
        rm -rf "$dir"
        die "Dovecot did not start"
    fi
    # Ready once every port answers.
    local ready=0
    for _ in $(seq 50); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$pop3_port") 2>/dev/null &&
           (exec 3<>"/dev/tcp/127.0.0.1/$imap_port") 2>/dev/null &&
           (exec 3<>"/dev/tcp/127.0.0.1/$pop3s_port") 2>/dev/null &&
           (exec 3<>"/dev/tcp/127.0.0.1/$imaps_port") 2>/dev/null; then
            ready=1
            break
        fi
        sleep 0.1
    done
    printf 'POP3_PORT=%s\nIMAP_PORT=%s\nPOP3S_PORT=%s\nIMAPS_PORT=%s\nMAIL_UID=%s\nMAIL_GID=%s\n' \
        "$pop3_port" "$imap_port" "$pop3s_port" "$imaps_port" "$mail_uid" "$mail_gid" >"$dir/env"
    echo "$dir" >"$pointer"
    # Bounded lifetime: the server goes away even when nobody calls stop.
    setsid nohup bash -c "sleep $lifetime; dovecot -c '$dir/dovecot.conf' stop" \
        </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/watchdog.pid"
    [ "$ready" = 1 ] || { stop "$pointer"; die "Dovecot does not answer"; }
    echo "Dovecot on 127.0.0.1: POP3 $pop3_port, IMAP $imap_port, POP3S $pop3s_port," \
        "IMAPS $imaps_port, folder $dir"
}

user() {
    local dir name=$2 password=$3
    dir=$(server_dir "$1")
    local uid gid
    uid=$(sed -n 's/^MAIL_UID=//p' "$dir/env")
    gid=$(sed -n 's/^MAIL_GID=//p' "$dir/env")
    rm -rf "${dir:?}/mail/$name" "${dir:?}/mail/$name.loaded"
    mkdir -p "$dir/mail/$name/new" "$dir/mail/$name/cur" "$dir/mail/$name/tmp"
    chown -R "$uid:$gid" "$dir/mail/$name"
    # One passwd-file per user: Dovecot notices a changed file only by its time in seconds,
    # so users added one after the other into one file could miss each other.
    printf '%s:{PLAIN}%s::::::\n' "$name" "$password" >"$dir/users/$name.new"
    chmod 644 "$dir/users/$name.new"
    mv "$dir/users/$name.new" "$dir/users/$name"
}

load() {
    local dir name=$2
    dir=$(server_dir "$1")
    shift 2
    [ -d "$dir/mail/$name/cur" ] || die "no user $name"
    local uid gid
    uid=$(sed -n 's/^MAIL_UID=//p' "$dir/env")
    gid=$(sed -n 's/^MAIL_GID=//p' "$dir/env")
    local n=0 stamp=1200000000 file target counter="$dir/mail/$name.loaded"
    # Names are never used twice, as a mail server never reuses a message id: a message
    # loaded after others were deleted must not take the name of one still there.
    [ -f "$counter" ] && n=$(cat "$counter")
    for file in "$@"; do
        n=$((n + 1))
        # Dovecot numbers new messages in the order of the times in their names. The part
        # that differs from one name to the next comes last: Dovecot finds a file by a hash
        # of its name in which a long common end washes out what came before, so names that
        # all ended in ".korvane" fell into a few buckets, and each session of a mailbox of
        # thousands spent a fifth of a second comparing names.
        target="$dir/mail/$name/cur/$((stamp + n)).korvane.M${n}P1:2,S"
        cp "$file" "$target"
        chown "$uid:$gid" "$target"
    done
    echo "$n" >"$counter"
}

# As a server does when it can no longer keep its UIDs: every UID the clients knew is void.
uidvalidity() {
    local dir name=$2 value=$3
    dir=$(server_dir "$1")
    [ -d "$dir/mail/$name/cur" ] || die "no user $name"
    doveadm -c "$dir/dovecot.conf" mailbox update -u "$name" --uid-validity "$value" INBOX
}

stop() {
    local pointer=$1 dir
    [ -f "$pointer" ] || return 0
    dir=$(cat "$pointer")
    rm -f "$pointer"
    [ -d "$dir" ] || return 0
    if [ -f "$dir/watchdog.pid" ]; then
        kill "$(cat "$dir/watchdog.pid")" 2>/dev/null || true
    fi
    dovecot -c "$dir/dovecot.conf" stop 2>/dev/null || true
    local pid=""
    [ -f "$dir/run/master.pid" ] && pid=$(cat "$dir/run/master.pid")
    for _ in $(seq 50); do
        { [ -z "$pid" ] || ! kill -0 "$pid" 2>/dev/null; } && break
        sleep 0.1
    done
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
    rm -rf "$dir"
}

case "${1:-}" in
    start) shift; start "$@" ;;
    user) shift; user "$@" ;;
    load) shift; load "$@" ;;
    uidvalidity) shift; uidvalidity "$@" ;;
    stop) shift; stop "$@" ;;
    *) echo "usage: $0 start|user|load|uidvalidity|stop POINTER ..." >&2; exit 2 ;;
esac
