#!/usr/bin/env bash
# The throwaway PKI the loopback peers and the service present: the trusted CA (ca), one
# nobody trusts (other-ca) and leaves signed by them (see the last lines). make-pki.sh OUTDIR
set -euo pipefail
mkdir -p "${1:?usage: make-pki.sh OUTDIR}" && cd "$1"

ca() { # name subject
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 \
    -subj "/CN=$2" -keyout "$1.key" -out "$1.pem" 2>/dev/null
}
leaf() { # name signing-ca san
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
    -subj "/CN=$1" -keyout "$1.key" -out "$1.csr" 2>/dev/null
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial \
    -days 30 -extfile <(printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\n' "$3") \
    -out "$1.pem" 2>/dev/null
  rm -f "$1.csr"
}

ca ca "Benchmark Test CA"
ca other-ca "Untrusted Test CA"
leaf localhost ca "DNS:localhost,IP:127.0.0.1"
leaf untrusted other-ca "DNS:localhost,IP:127.0.0.1"
leaf wronghost ca "DNS:wrong.example"
echo "test PKI in $1"
