#!/usr/bin/env bash
# check-install.sh CMAKE BUILD_DIR APP_ID EXPECTED_FILE...
# Installs BUILD_DIR under a scratch DESTDIR with prefix /usr, then checks that
# the expected files are there, that both validators accept the desktop entry
# and the metainfo, and that the names they point at were installed.
set -euo pipefail
cmake=$1 build=$2 id=$3
shift 3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
DESTDIR=$scratch "$cmake" --install "$build" --prefix /usr >/dev/null
usr=$scratch/usr
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for file in "$@"; do
  [[ -f $usr/$file ]] || fail "not installed: $file"
done

desktop=$usr/share/applications/$id.desktop
metainfo=$usr/share/metainfo/$id.metainfo.xml
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"

# A menu, dock or software centre resolves these names against the installed tree.
entry() { sed -n "s/^$1=//p" "$desktop"; }
exec_program=$(entry Exec | cut -d' ' -f1)
[[ -x $usr/bin/$exec_program ]] || fail "Exec names no installed program: $exec_program"
[[ -f $usr/share/icons/hicolor/scalable/apps/$(entry Icon).svg ]] || fail "Icon not installed"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "metainfo does not launch $id.desktop"
grep -q "<icon type=\"stock\">$(entry Icon)</icon>" "$metainfo" || fail "metainfo icon differs"

# The unit must start the binary this install put in place, wherever the prefix is.
for unit in "$usr"/lib/systemd/system/*.service; do
  [[ -e $unit ]] || continue
  program=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")
  [[ -x $scratch$program ]] || fail "$(basename "$unit") starts $program, which is not installed"
done

for page in "$usr"/share/man/man1/*.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$(basename "$page"): $warnings"
done

((failures == 0)) || exit 1
echo "install tree and its desktop data are valid"
