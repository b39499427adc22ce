#!/usr/bin/env bash
# Two `mirelune-cli serve` (mirelune-serve) instances on Unix sockets behind Debian's nginx, run
# with the shipped site file (packaging/nginx/mirelune: its socket, cache and
# certificate paths moved into a temporary folder, a certificate made for the
# test): both instances and nginx give the bytes of `mirelune-cli card`, and a
# repeated card is answered from nginx's cache without reaching either instance
# (their request logs say so).
#
#   scripts/test-nginx.sh [build/mirelune-cli]
#
# Exit 0 passed, 1 failed, 77 skipped (nginx, openssl or curl missing).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=$(realpath "${1:-$here/../build/mirelune-cli}")
skip() { echo "test-nginx: skipped: $*"; exit 77; }
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || skip "nginx is missing (scripts/install-deps.sh installs it)"
for tool in openssl curl; do command -v "$tool" >/dev/null || skip "$tool is missing"; done
[ -x "$cli" ] || { echo "test-nginx: no program at $cli" >&2; exit 1; }

tmp=$(mktemp -d /tmp/mirelune-nginx-XXXXXX)
pids=()
stop() {
  local pid
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$tmp"
}
trap stop EXIT
failures=0
check() {  # check WHAT CONDITION...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}

root=()
[ "$(id -u)" -ne 0 ] || root=(--allow-root)
for k in 1 2; do
  "$cli" serve "${root[@]}" --listen "unix:$tmp/web$k.sock" --trusted-proxy unix --jobs 1 2>"$tmp/serve$k.log" &
  pids+=($!)
done
for k in 1 2; do
  for _ in $(seq 100); do [ -S "$tmp/web$k.sock" ] && break; sleep 0.1; done
done
free_port() { /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
http=$(free_port)
https=$(free_port)
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=cards.example.org -keyout "$tmp/key.pem" \
  -out "$tmp/cert.pem" 2>/dev/null
sed -e "s#/run/mirelune/web.sock#$tmp/web1.sock#; s#\# server unix:/run/mirelune-2/web.sock#server unix:$tmp/web2.sock#" \
    -e "s#/var/cache/nginx/mirelune#$tmp/cache#; s#/etc/ssl/certs/ssl-cert-snakeoil.pem#$tmp/cert.pem#" \
    -e "s#/etc/ssl/private/ssl-cert-snakeoil.key#$tmp/key.pem#; s#listen 80;#listen 127.0.0.1:$http;#" \
    -e "s#listen 443 ssl http2;#listen 127.0.0.1:$https ssl http2;#; /listen \[::\]/d" \
    "$here/../packaging/nginx/mirelune" >"$tmp/site.conf"
user=""
[ "$(id -u)" -ne 0 ] || user="user root;"  # the sockets are root's, mode 0660
cat >"$tmp/nginx.conf" <<CONF
$user
daemon off;
worker_processes 1;
pid $tmp/nginx.pid;
error_log $tmp/error.log;
events { worker_connections 256; }
http {
  access_log $tmp/access.log;
  client_body_temp_path $tmp/body;
  proxy_temp_path $tmp/proxy;
  fastcgi_temp_path $tmp/fastcgi;
  uwsgi_temp_path $tmp/uwsgi;
  scgi_temp_path $tmp/scgi;
  include $tmp/site.conf;
}
CONF
"$nginx" -p "$tmp" -c "$tmp/nginx.conf" &
pids+=($!)
for _ in $(seq 100); do curl -skf -o /dev/null "https://127.0.0.1:$https/healthz" && break; sleep 0.1; done

query='friend=Mary&sender=Bob&palette=4'
"$cli" card --friend Mary --sender Bob --palette 4 --out - --format png >"$tmp/card.png"
"$cli" card --friend Mary --sender Bob --palette 4 --out - --format jpg >"$tmp/card.jpg"
for k in 1 2; do
  curl -sS --max-time 60 --unix-socket "$tmp/web$k.sock" -o "$tmp/direct$k.png" "http://x/card.png?$query"
  check "instance $k gives the bytes of card" cmp -s "$tmp/card.png" "$tmp/direct$k.png"
done
made() { cat "$tmp"/serve?.log | grep -c " GET /card.jpg " || true; }
get() { curl -sSk --max-time 60 -D "$tmp/headers" -o "$tmp/$1" "https://127.0.0.1:$https/card.jpg?$query"; }
get first.jpg
check "nginx gives the bytes of card" cmp -s "$tmp/card.jpg" "$tmp/first.jpg"
check "the first request reaches one instance" [ "$(made)" = 1 ]
check "the instance counts the client nginx names" grep -q "127.0.0.1 GET /card.jpg 200" "$tmp/serve1.log" "$tmp/serve2.log"
get again.jpg
check "the repeated card comes from nginx's cache" grep -qi "X-Cache-Status: HIT" "$tmp/headers"
check "the repeated card reaches no instance" [ "$(made)" = 1 ]
check "the same bytes again" cmp -s "$tmp/card.jpg" "$tmp/again.jpg"
check "plain HTTP is sent to HTTPS" [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$http/")" = 301 ]
check "the page comes through" grep -q 'Make the card' <(curl -sSk --max-time 30 "https://127.0.0.1:$https/")
check "/metrics is not passed on" [ "$(curl -sk -o /dev/null -w '%{http_code}' "https://127.0.0.1:$https/metrics")" = 404 ]
[ "$failures" -eq 0 ] || { tail -5 "$tmp/error.log" "$tmp"/serve?.log >&2; exit 1; }
echo "test-nginx: passed"
