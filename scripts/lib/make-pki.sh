#!/usr/bin/env bash
# The one maker of certificates on this machine, with openssl. make-pki.sh OUTDIR [DAYS] [local]
#   default: the throwaway PKI of the tests' loopback peers and the service: the trusted CA (ca),
#            one nobody trusts (other-ca) and leaves signed by them (see the last lines)
#   local:   only the CA and the localhost leaf, for a score service run on this machine
# Each lasts DAYS (default 30). A local PKI's keys are readable by their owner only.
set -euo pipefail
mkdir -p "${1:?usage: make-pki.sh OUTDIR [DAYS] [local]}" && cd "$1"
days=${2:-30}
[[ ${3:-} != local ]] || umask 077

ca() { # name subject
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days "$days" \
    -subj "/CN=$2" -keyout "$1.key" -out "$1.pem" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    2>/dev/null
}
leaf() { # name signing-ca san
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
    -subj "/CN=$1" -keyout "$1.key" -out "$1.csr" 2>/dev/null
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -days "$days" \
    -extfile <(printf '%s\n' "subjectAltName=$3" "basicConstraints=CA:FALSE" \
      "extendedKeyUsage=serverAuth") -out "$1.pem" 2>/dev/null
  rm -f "$1.csr"
}

if [[ ${3:-} == local ]]; then
  ca ca "Benchmark Companion local CA"
  leaf localhost ca "DNS:localhost,IP:127.0.0.1"
else
  ca ca "Benchmark Test CA"
  ca other-ca "Untrusted Test CA"
  leaf localhost ca "DNS:localhost,IP:127.0.0.1"
  leaf untrusted other-ca "DNS:localhost,IP:127.0.0.1"
  leaf wronghost ca "DNS:wrong.example"
fi
rm -f ./*.srl
chmod 644 ./*.pem # certificates are public; the service may run as another user
echo "PKI in $1"
