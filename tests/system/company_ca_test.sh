#!/usr/bin/env bash
# The company's own certificate authority, installed the Debian way
# (/usr/local/share/ca-certificates and update-ca-certificates, in this
# test's own mount namespace): the page trusts the service's certificate as
# curl does, a certificate of an authority nobody installed still gets the
# certificate page and a line in the program log, an authority taken out
# again is no longer trusted, and the policy's CaCertificates adds one.
# Usage: company_ca_test.sh VELTROCRM WINDOW_SHOT
set -uo pipefail
. "$(dirname "$0")/lib.sh"
in_namespaces --dbus update-ca-certificates certutil -- "$@"
exe=$1 shot=$2
export LANG=zh_CN.UTF-8
private_install "$exe"
trap 'cleanup_install' EXIT
private_etc_and_run
mount -t tmpfs tmpfs /usr/local/share/ca-certificates
echo '127.0.0.1 crm.test other.test' >> /etc/hosts
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY auto_proxy

# Two authorities: the company's, and one nobody installs.
authority() {  # authority NAME: NAME-ca.pem/.key
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/O=$1/CN=$1 Root CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
    -keyout "$work/$1-ca.key" -out "$work/$1-ca.pem" 2>/dev/null
}
server_certificate() {  # server_certificate AUTHORITY HOST
  openssl req -newkey rsa:2048 -nodes -subj "/CN=$2" -keyout "$work/$2.key" -out "$work/$2.csr" 2>/dev/null
  printf 'subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\n' "$2" > "$work/$2.ext"
  openssl x509 -req -in "$work/$2.csr" -CA "$work/$1-ca.pem" -CAkey "$work/$1-ca.key" -CAcreateserial -days 20 \
    -extfile "$work/$2.ext" -out "$work/$2.pem" 2>/dev/null
}
authority Corp
authority Stranger
server_certificate Corp crm.test
server_certificate Stranger other.test
cat > "$work/site/index.html" <<'HTML'
<!DOCTYPE html><html><head><meta charset="utf-8"><title>ca</title></head>
<body style="margin:0;background:#fff;color:#c01020;font:bold 60px sans-serif"><p>the company's certificate</p></body></html>
HTML
serve_tls() {  # serve_tls HOST PORT_FILE
  python3 - "$work/$1.pem" "$work/$1.key" "$work/site" "$2" <<'PY' &
import functools, http.server, ssl, sys
certificate, key, root, port_file = sys.argv[1:5]
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=root)
handler.log_message = lambda *args: None
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(certificate, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
open(port_file, "w").write(str(server.server_address[1]))
server.serve_forever()
PY
}
serve_tls crm.test "$work/crm-port"
serve_tls other.test "$work/other-port"
wait_until 10 test -s "$work/crm-port" && wait_until 10 test -s "$work/other-port" || { echo "servers did not start"; exit 1; }
crm=https://crm.test:$(cat "$work/crm-port")/index.html
other=https://other.test:$(cat "$work/other-port")/index.html

# Installed the Debian way, as IT does it.
mkdir -p /usr/local/share/ca-certificates/corp
cp "$work/Corp-ca.pem" /usr/local/share/ca-certificates/corp/corp-root.crt
update-ca-certificates > /dev/null 2>&1
check "curl on this desk trusts the company's authority" curl -sf -o /dev/null "$crm"

start() { start_installed --start-url="$1" --channel-service=127.0.0.1:9; }
start "$crm"
wait_for_main
check "the page trusts the company's authority" wait_until 30 painted company-ca-trusted "$main" c01020
check "the program log says which authority it trusts" \
  program_logged "the page trusts the authority of /usr/local/share/ca-certificates/corp/corp-root.crt"
stop_installed

start "$other"
wait_for_main
check "an authority nobody installed gets the certificate page" wait_until 30 painted company-ca-stranger "$main" 000000
check "and a line in the program log" \
  wait_until 10 program_logged "certificate refused: https://other.test:[0-9]*/index.html ERR_CERT_AUTHORITY_INVALID (-202)"
stop_installed

# An HTTPS proxy whose certificate the company's authority signed (Squid,
# which resolves the service's name on its side).
if command -v squid > /dev/null; then
  server_certificate Corp proxy.corp
  echo '127.0.0.1 proxy.corp' >> /etc/hosts
  echo '127.0.0.1 crm.test' > "$work/squid-hosts"
  chmod 644 "$work/proxy.corp.pem" "$work/proxy.corp.key"
  proxy_port=$(free_port)
  start_squid "https_port 127.0.0.1:$proxy_port tls-cert=$work/proxy.corp.pem tls-key=$work/proxy.corp.key" \
    "http_access allow all"
  check "an HTTPS Squid is up" wait_until 30 squid_up || cat "$work/squid.out" "$work/squid-cache.log"
  start_installed --start-url="$crm" --channel-service=127.0.0.1:9 --proxy-server="https://proxy.corp:$proxy_port"
  wait_for_main
  check "through the HTTPS proxy of the company's authority, the page is shown" \
    wait_until 30 painted company-ca-https-proxy "$main" c01020
  check "and it went through the proxy" grep -q "CONNECT crm.test:" "$work/squid-access.log"
  stop_installed
fi

# The administrator's policy names a file of its own.
mkdir -p /etc/veltrocrm
cp "$work/Stranger-ca.pem" "$work/stranger.pem"
printf '[Policy]\nCaCertificates=%s; /nonexistent/ca.pem; /dev/zero\n' "$work/stranger.pem" > /etc/veltrocrm/policy.ini
chmod 644 /etc/veltrocrm/policy.ini
start "$other"
wait_for_main
check "the policy's certificate file is trusted" wait_until 30 painted company-ca-policy "$main" c01020
check "a missing file is logged" program_logged "certificate file /nonexistent/ca.pem not trusted: cannot be read"
check "a device is not read" program_logged "certificate file /dev/zero not trusted: not a plain file"
stop_installed
rm /etc/veltrocrm/policy.ini

# Taken out again, the company's authority is no longer trusted.
rm -r /usr/local/share/ca-certificates/corp
update-ca-certificates --fresh > /dev/null 2>&1
start "$crm"
wait_for_main
check "an authority taken out is no longer trusted" wait_until 30 painted company-ca-removed "$main" 000000
check "and the log says so" program_logged "no longer trusted, its file is gone"
finish
