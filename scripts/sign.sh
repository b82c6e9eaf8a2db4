#!/bin/sh
# sign.sh CERT KEY FILE...
# Signs Windows programs in place with osslsigncode (Authenticode, SHA-256), without a time stamp:
# CERT is the certificate (PEM, or a chain), KEY its private key (PEM).  The build calls it for
# ZUKcntrl.dll, zukcli.exe and the installer when ZUK_SIGN_CERT and ZUK_SIGN_KEY are given.
set -eu
if [ "$#" -lt 3 ]; then
    echo "usage: sign.sh CERT KEY FILE..." >&2
    exit 2
fi
cert="$1"
key="$2"
shift 2
for file in "$@"; do
    osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "ZUKcntrl" \
        -in "$file" -out "$file.signed" >/dev/null
    mv -f "$file.signed" "$file"
done
