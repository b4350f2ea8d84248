# Shared pieces of the install scripts; sourced, not run.
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo

# apt-get update, at most once per script run.
apt_updated=0
apt_update() {
  if [ "$apt_updated" -eq 0 ]; then
    $SUDO apt-get update -qq
    apt_updated=1
  fi
}

# install_missing [apt-get option ...] package ...
# Installs the packages that are not installed yet; options (words starting
# with "--") go to apt-get install.
install_missing() {
  local opts=() missing=() p
  while [ $# -gt 0 ] && [ "${1#--}" != "$1" ]; do
    opts+=("$1")
    shift
  done
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    apt_update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${opts[@]}" "${missing[@]}" >/dev/null
  fi
}
