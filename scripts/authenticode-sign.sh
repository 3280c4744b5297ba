#!/usr/bin/env bash
# Signs a module or an installer package in place (Authenticode, SHA-256),
# repeatably: the signing time is the release time, not the clock's.
#   scripts/authenticode-sign.sh FILE EPOCH pem CERT.pem KEY.pem
#   scripts/authenticode-sign.sh FILE EPOCH pfx BUNDLE.pfx
# CERT.pem holds the signing certificate and its chain; the bundle's password
# comes from the environment variable ORVANTA_SIGNING_PASSWORD, never from
# the command line (which every user of the machine can read).
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: $0 FILE EPOCH pem CERT KEY | FILE EPOCH pfx BUNDLE" >&2; exit 2; }
file=$1
epoch=$2
case "$3" in
  pem) [ $# -eq 5 ] || { echo "$0: pem needs CERT and KEY" >&2; exit 2; }
       credentials=(-certs "$4" -key "$5") ;;
  pfx) [ -n "${ORVANTA_SIGNING_PASSWORD+set}" ] ||
         { echo "$0: set ORVANTA_SIGNING_PASSWORD to the password of $4" >&2; exit 2; }
       # osslsigncode reads it from a file: one only this user can read,
       # removed when done.
       password_file=$(mktemp)
       trap 'rm -f "$password_file"' EXIT
       printf '%s' "$ORVANTA_SIGNING_PASSWORD" >"$password_file"
       credentials=(-pkcs12 "$4" -readpass "$password_file") ;;
  *) echo "$0: unknown credentials '$3'" >&2; exit 2 ;;
esac
# A package's signature also covers its metadata (MsiDigitalSignatureEx).
extra=()
case "$file" in *.msi) extra=(-add-msi-dse) ;; esac

signed="$file.signing"
rm -f "$signed"
osslsigncode sign "${credentials[@]}" -h sha256 -time "$epoch" "${extra[@]}" \
  -in "$file" -out "$signed" >"$signed.log" 2>&1 || { cat "$signed.log" >&2; rm -f "$signed" "$signed.log"; exit 1; }
rm -f "$signed.log"
mv "$signed" "$file"
