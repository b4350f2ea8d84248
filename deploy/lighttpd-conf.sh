#!/usr/bin/env bash
# Prints the lighttpd configuration of the demo: lighttpd on 127.0.0.1:PORT
# serves ROOT/www and runs ROOT/www/cgi-bin/webcgi for every URL under
# /cgi-bin/webcgi/ (PATH_INFO is the request name), with NVR_ROOT=ROOT and
# ROOT/bin first on PATH (the demo's stand-ins for the recorder's tools).
# The web server tests start lighttpd with the same configuration.
#   bash deploy/lighttpd-conf.sh ROOT PORT > lighttpd.conf
set -euo pipefail
root=$1
port=$2
cat <<CONF
server.modules = ("mod_setenv", "mod_cgi")
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$root/www"
server.errorlog = "$root/run/lighttpd-error.log"
server.pid-file = "$root/run/lighttpd.pid"
index-file.names = ("index.html")
mimetype.assign = (".html" => "text/html", ".css" => "text/css", ".js" => "text/javascript", ".png" => "image/png")
# Hand the query string over exactly as the browser sent it: request texts
# are JSON in the query, and only "%22" is decoded by the handler.
server.http-parseopts = ("url-normalize" => "disable")
\$HTTP["url"] =~ "^/cgi-bin/" {
  cgi.assign = ("" => "")
  cgi.execute-x-only = "enable"
}
setenv.add-environment = ("NVR_ROOT" => "$root", "PATH" => "$root/bin:/usr/local/bin:/usr/bin:/bin")
CONF
