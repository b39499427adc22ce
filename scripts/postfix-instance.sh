#!/usr/bin/env bash
# A private postfix for the mail tests and benchmarks, on loopback only:
#
#   scripts/postfix-instance.sh start DIR [PORT]   # prints the port; exits 77 when postfix cannot start
#   scripts/postfix-instance.sh stop DIR
#
# Everything lives under DIR: its configuration (postfix -c DIR/etc), queue and data
# folders, its log (DIR/maillog) and DIR/mail/, the maildir every message is delivered
# to whatever its recipient. It listens on 127.0.0.1:PORT (a free one when none is
# given) and offers STARTTLS with DIR/cert.pem and DIR/key.pem when those exist
# (made before the start). Nothing of the system's own mail setup is used or touched.
# Must run as root: postfix's master starts its services as the postfix user.
set -euo pipefail
cmd=${1:?start or stop}
dir=$(realpath -m "${2:?the folder of the instance}")
skip() { echo "postfix-instance: $*" >&2; exit 77; }

if [ "$cmd" = stop ]; then
  [ -f "$dir/etc/main.cf" ] && postfix -c "$dir/etc" stop >/dev/null 2>&1 || true
  # master lets its children finish; wait for it so the folder can be removed.
  for _ in $(seq 50); do
    pid=$(head -1 "$dir/queue/pid/master.pid" 2>/dev/null | tr -d ' ' || true)
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || exit 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  exit 0
fi
[ "$cmd" = start ] || { echo "usage: $0 start|stop DIR [PORT]" >&2; exit 2; }
command -v postfix >/dev/null && [ -x /usr/lib/postfix/sbin/master ] || skip "postfix is not installed (scripts/install-deps.sh installs it)"
[ "$(id -u)" -eq 0 ] || skip "a private postfix needs root to start"
id postfix >/dev/null 2>&1 || skip "there is no postfix user"
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=${3:-}
[ -n "$port" ] || port=$(free_port)

mkdir -p "$dir/etc" "$dir/queue" "$dir/data" "$dir/mail"
chown postfix "$dir/data" "$dir/mail"
chmod 755 "$dir"
tls=""
if [ -f "$dir/cert.pem" ] && [ -f "$dir/key.pem" ]; then
  tls="smtpd_tls_security_level = may
smtpd_tls_cert_file = $dir/cert.pem
smtpd_tls_key_file = $dir/key.pem"
fi
cat >"$dir/etc/main.cf" <<EOF
compatibility_level = 3.6
queue_directory = $dir/queue
data_directory = $dir/data
mail_owner = postfix
setgid_group = postdrop
myhostname = mail.mirelune.test
mydomain = mirelune.test
myorigin = mirelune.test
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
mydestination =
relay_domains =
smtpd_relay_restrictions = permit_mynetworks, reject
smtpd_recipient_restrictions = permit_mynetworks, reject
virtual_mailbox_domains = static:all
virtual_mailbox_base = $dir/mail
virtual_mailbox_maps = static:box/
virtual_uid_maps = static:$(id -u postfix)
virtual_gid_maps = static:$(id -g postfix)
virtual_mailbox_limit = 0
message_size_limit = 0
maillog_file = $dir/maillog
maillog_file_prefixes = $dir
smtputf8_enable = no
biff = no
alias_maps =
alias_database =
local_recipient_maps =
smtpd_banner = \$myhostname ESMTP
$tls
EOF
cat >"$dir/etc/master.cf" <<EOF
127.0.0.1:$port inet n - n - - smtpd
pickup    unix n - n 60 1 pickup
cleanup   unix n - n - 0 cleanup
qmgr      unix n - n 300 1 qmgr
tlsmgr    unix - - n 1000? 1 tlsmgr
rewrite   unix - - n - - trivial-rewrite
bounce    unix - - n - 0 bounce
defer     unix - - n - 0 bounce
trace     unix - - n - 0 bounce
verify    unix - - n - 1 verify
flush     unix n - n 1000? 0 flush
proxymap  unix - - n - - proxymap
smtp      unix - - n - - smtp
relay     unix - - n - - smtp
showq     unix n - n - - showq
error     unix - - n - - error
retry     unix - - n - - error
discard   unix - - n - - discard
local     unix - n n - - local
virtual   unix - n n - - virtual
anvil     unix - - n - 1 anvil
scache    unix - - n - 1 scache
postlog   unix-dgram n - n - 1 postlogd
EOF
if ! out=$(postfix -c "$dir/etc" start 2>&1); then
  skip "postfix did not start: $out $(tail -5 "$dir/maillog" 2>/dev/null)"
fi
for _ in $(seq 100); do
  python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1).close()' "$port" 2>/dev/null &&
    { echo "$port"; exit 0; }
  sleep 0.1
done
"$0" stop "$dir"
skip "postfix started but does not listen on 127.0.0.1:$port: $(tail -5 "$dir/maillog" 2>/dev/null)"
