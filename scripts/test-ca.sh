#!/bin/bash
# A throw-away CA and a server certificate for 127.0.0.1 and "localhost" (wine
# matches a certificate's names, not its IP addresses) for one test run, in
# DIR: ca.pem and ca.der, server.pem and server.key. The CA's key is deleted
# at once, so nothing else can be signed with it; both expire in two days.
# Usage: scripts/test-ca.sh DIR [CA name]
set -e
DIR=${1:?usage: test-ca.sh DIR [CA name]}
NAME=${2:-Brindlewick test CA}
mkdir -p "$DIR"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$NAME" \
    -keyout "$DIR/ca.key" -out "$DIR/ca.pem" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$DIR/server.key" -out "$DIR/server.csr" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n' >"$DIR/server.ext"
openssl x509 -req -in "$DIR/server.csr" -CA "$DIR/ca.pem" -CAkey "$DIR/ca.key" -CAcreateserial -days 2 \
    -extfile "$DIR/server.ext" -out "$DIR/server.pem" 2>/dev/null
openssl x509 -in "$DIR/ca.pem" -outform der -out "$DIR/ca.der"
rm -f "$DIR/ca.key" "$DIR/server.csr" "$DIR/server.ext" "$DIR/ca.srl"
