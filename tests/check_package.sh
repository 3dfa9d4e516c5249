#!/usr/bin/env bash
# Builds the Debian package from BUILD and checks it as Debian's tools and a
# user would: lintian, the AppStream metadata, the desktop entries, the man
# pages, the bash completion, and an install into a scratch root that runs
# varnel-calc from there.
# Usage: check_package.sh BUILD_DIR
set -u
build=$1
fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/varnel_*_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no varnel_VERSION_ARCH.deb"
echo "package: $(basename "$deb")"

lintian --fail-on error,warning "$deb" 2>&1 | grep -v 'root privileges' ||
  true
lintian --fail-on error,warning "$deb" >/dev/null 2>&1 || fail "lintian reports errors or warnings"

root=$work/root
dpkg -x "$deb" "$root" || fail "dpkg -x"
for path in usr/bin/varnel usr/bin/varnel-calc usr/bin/varnel-tune \
  usr/share/applications/varnel.desktop usr/share/applications/varnel-tune.desktop \
  usr/share/icons/hicolor/32x32/apps/varnel.png usr/share/icons/hicolor/16x16/apps/varnel.png \
  usr/share/icons/hicolor/32x32/apps/varnel-tune.png \
  usr/share/icons/hicolor/scalable/apps/varnel-tune.svg \
  usr/share/man/man1/varnel.1.gz usr/share/man/man1/varnel-calc.1.gz \
  usr/share/man/man1/varnel-tune.1.gz \
  usr/share/metainfo/io.github.varnel.Varnel.metainfo.xml \
  usr/share/metainfo/io.github.varnel.VarnelTune.metainfo.xml \
  usr/share/bash-completion/completions/varnel-calc \
  "usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/varnel/varnel-journal-sql.so" \
  usr/share/doc/varnel/copyright usr/share/doc/varnel/changelog.gz usr/share/doc/varnel/README.md; do
  [ -e "$root/$path" ] || fail "not in the package: /$path"
done

answer=$("$root/usr/bin/varnel-calc") || fail "varnel-calc from the package failed"
[ "$answer" = "48.149" ] || fail "varnel-calc with the initial texts gave '$answer'"
version=$("$root/usr/bin/varnel-calc" --version)
[ "$version" = "varnel-calc $(dpkg-deb -f "$deb" Version)" ] || fail "version '$version'"

appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log"; fail "appstreamcli validate"; }
desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop-file-validate"

for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(zcat "$page" | groff -ww -z -man -Tutf8 2>&1)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  MANWIDTH=80 man -l "$page" >/dev/null 2>"$work/man.err" || fail "man -l $(basename "$page")"
  [ -s "$work/man.err" ] && fail "man -l $(basename "$page"): $(cat "$work/man.err")"
done

# The completion offers the subcommands, their options and Touchstone files.
mkdir "$work/bench"
touch "$work/bench/sweep.s2p" "$work/bench/notes.txt"
completions=$(cd "$work/bench" && bash -c '
  source /usr/share/bash-completion/bash_completion
  source "$1"
  complete_words() { COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1));
    COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}; _varnel_calc; echo "${COMPREPLY[*]}"; }
  complete_words varnel-calc ch
  complete_words varnel-calc check --j
  complete_words varnel-calc delay ""
' _ "$root/usr/share/bash-completion/completions/varnel-calc")
expected=$'check\n--json\nsweep.s2p'
[ "$completions" = "$expected" ] || fail "bash completion gave: $completions"

echo "package checked: lintian, AppStream, desktop entries, man pages, completion, scratch install"
