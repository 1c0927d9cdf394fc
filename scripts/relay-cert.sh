#!/bin/bash
# Makes a throw-away CA and a relay certificate for 127.0.0.1 in DIR (ca.pem,
# relay.pem, relay.key), unless DIR holds a pair that is still valid for a day.
# Demo runs only: the keys stay in the build tree and are never committed.
set -e
DIR=$1
[ -n "$DIR" ] || { echo "usage: scripts/relay-cert.sh DIR" >&2; exit 2; }
mkdir -p "$DIR"
chmod 700 "$DIR"
if [ -f "$DIR/relay.pem" ] && [ -f "$DIR/relay.key" ] && [ -f "$DIR/ca.pem" ] \
    && openssl x509 -checkend 86400 -noout -in "$DIR/relay.pem" >/dev/null 2>&1; then
    exit 0
fi
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$DIR/ca.key" -out "$DIR/ca.pem" -days 30 \
    -subj "/CN=Brindlewick demo CA" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout "$DIR/relay.key" -out "$DIR/relay.csr" -subj "/CN=127.0.0.1" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' >"$DIR/ext.cnf"
openssl x509 -req -in "$DIR/relay.csr" -CA "$DIR/ca.pem" -CAkey "$DIR/ca.key" -CAcreateserial \
    -out "$DIR/relay.pem" -days 30 -extfile "$DIR/ext.cnf" 2>/dev/null
rm -f "$DIR/relay.csr" "$DIR/ext.cnf"
