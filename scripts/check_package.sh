#!/usr/bin/env bash
# Checks the Debian package: lintian, then installed on this machine, the desktop entry and the
# metainfo validated, the programs, manual page, completion and demo deck used from the
# installed files; then purged, leaving nothing behind.
#   scripts/check_package.sh            builds the package with scripts/package.sh first
#   scripts/check_package.sh FOLDER     packages the build already made in FOLDER (cpack)
# Installs and purges the package ostrel-chipcard: for a test machine, as root or through sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
START=$SECONDS
SUDO=""
[[ $(id -u) -eq 0 ]] || SUDO="sudo"
PACKAGE=ostrel-chipcard
APP_ID=org.ostrel.ChipcardAdmin

fail() {
  echo "check_package: $*" >&2
  exit 1
}

if (($#)); then
  BUILD=$1
  rm -f "$BUILD"/"$PACKAGE"_*.deb
  (cd "$BUILD" && cpack -G DEB >/dev/null)
else
  BUILD=build-package
  bash scripts/package.sh >/dev/null
fi
debs=("$BUILD"/"$PACKAGE"_*.deb)
[[ -f ${debs[0]} ]] || fail "no package in $BUILD"
DEB=$(realpath "${debs[0]}")
echo "package: $DEB, $(stat -c %s "$DEB") bytes"
dpkg-deb -f "$DEB" Depends Recommends Suggests

# lintian as root says it should not be; that line is not a finding.
lintian --display-info --tag-display-limit 0 "$DEB" 2>&1 | grep -v 'running with root privileges' |
  tee "$BUILD/lintian.log" || true
grep -q '^E: ' "$BUILD/lintian.log" && fail "lintian reports errors"
echo "lintian: $(grep -c '^E: ' "$BUILD/lintian.log") errors, $(grep -c '^W: ' "$BUILD/lintian.log") warnings," \
  "$(grep -c '^I: ' "$BUILD/lintian.log") notes"

WORK=$(mktemp -d)
ADMIN_PID=""
cleanup() {
  [[ -n $ADMIN_PID ]] && kill "$ADMIN_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "$DEB" >"$WORK/install.log" 2>&1 ||
  { cat "$WORK/install.log"; fail "apt-get install failed"; }
dpkg -L "$PACKAGE" >"$WORK/files"

desktop-file-validate "/usr/share/applications/$APP_ID.desktop"
appstreamcli validate --no-net "/usr/share/metainfo/$APP_ID.metainfo.xml"
for icon in scalable/apps/$APP_ID.svg 48x48/apps/$APP_ID.png 256x256/apps/$APP_ID.png; do
  [[ -s /usr/share/icons/hicolor/$icon ]] || fail "icon $icon missing"
done
[[ -s /usr/share/ostrel-chipcard/postgresql/schema.sql ]] || fail "schema.sql not installed"
[[ -s /usr/share/ostrel-chipcard/postgresql/migrate-1-to-2.sql ]] || fail "migrate-1-to-2.sql not installed"
[[ -s /usr/share/ostrel-chipcard/postgresql/migrate-2-to-3.sql ]] || fail "migrate-2-to-3.sql not installed"
[[ -s /usr/share/ostrel-chipcard/postgresql/migrate-3-to-4.sql ]] || fail "migrate-3-to-4.sql not installed"
dpkg-deb -f "$DEB" Depends | grep -q libpq5 || fail "no dependency on libpq5"
for page in ostrel-card ostrel-admin; do
  [[ $(man -w "$page") == /usr/share/man/man1/$page.1.gz ]] || fail "no manual page $page(1)"
done

# The command line on a virtual card, from the installed program only.
export XDG_CONFIG_HOME="$WORK/config" OSTREL_DATA_DIR="$WORK/data"
/usr/bin/ostrel-card --help >/dev/null
/usr/bin/ostrel-card card new "$WORK/c.card" >/dev/null
status=0
out=$(/usr/bin/ostrel-card --reader "sim:$WORK/c.card" identify) || status=$?
[[ $status -eq 1 && $out == *"pas formatée"* ]] || fail "identify of a blank card: $status $out"
/usr/bin/ostrel-card --reader "sim:$WORK/c.card" format >/dev/null
out=$(/usr/bin/ostrel-card --reader "sim:$WORK/c.card" identify) || fail "identify after format: $out"
[[ $out == "carte valide"* ]] || fail "identify after format: $out"

# The installed deck is the one found: a copy that cannot be made names its source.
touch "$WORK/not-a-folder"
out=$(OSTREL_DATA_DIR="$WORK/not-a-folder/data" /usr/bin/ostrel-card --reader sim identify 2>&1) || true
[[ $out == *"/usr/share/ostrel-chipcard/demo "* ]] || fail "installed demo deck not used: $out"

# The desktop program on the demo deck, headless, for a few seconds.
QT_QPA_PLATFORM=offscreen /usr/bin/ostrel-admin --reader sim >"$WORK/admin.log" 2>&1 &
ADMIN_PID=$!
sleep 3
kill -0 "$ADMIN_PID" 2>/dev/null || { cat "$WORK/admin.log"; fail "ostrel-admin did not keep running"; }
kill -TERM "$ADMIN_PID"
wait "$ADMIN_PID" || true
ADMIN_PID=""
cards=$(find "$WORK/data/demo-deck" -name '*.card' | wc -l)
((cards == $(find /usr/share/ostrel-chipcard/demo -name '*.card' | wc -l) && cards > 0)) ||
  fail "ostrel-admin did not copy the demo deck ($cards cards)"

# The completion offers the commands and the reader values the program gives.
bash -c 'source /usr/share/bash-completion/bash_completion
  source /usr/share/bash-completion/completions/ostrel-card
  complete_line() {
    COMP_WORDS=($1 ""); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_LINE="$1 "; COMP_POINT=${#COMP_LINE}
    COMPREPLY=(); _ostrel_card; echo "${COMPREPLY[*]}"
  }
  [[ " $(complete_line ostrel-card) " == *" identify "* ]] &&
    [[ $(complete_line "ostrel-card --reader") == "sim sim: pcsc pcsc:" ]] &&
    [[ $(complete_line "ostrel-card card") == new ]]' || fail "bash completion"

DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y "$PACKAGE" >"$WORK/purge.log" 2>&1 ||
  { cat "$WORK/purge.log"; fail "apt-get purge failed"; }
left=()
while read -r path; do
  # Folders such as /usr/share are shared with other packages; ours carry the project's name.
  if [[ -e $path && (! -d $path || $path == *ostrel*) ]]; then left+=("$path"); fi
done <"$WORK/files"
while read -r path; do left+=("$path"); done < <(find /usr /etc /var/lib/dpkg/info -name '*ostrel*' 2>/dev/null)
((${#left[@]} == 0)) || fail "left behind after purge: ${left[*]}"
echo "check_package: passed in $((SECONDS - START)) s"
