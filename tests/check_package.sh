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
  usr/share/bash-completion/completions/varnel-calc usr/share/mime/packages/varnel.xml \
  "usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/varnel/varnel-journal-sql.so" \
  usr/share/doc/varnel/copyright usr/share/doc/varnel/changelog.gz usr/share/doc/varnel/README.md \
  usr/share/doc/varnel/tutorial.md usr/share/doc/varnel/tutorial-stage-fail.png \
  usr/share/doc/varnel/docs/tuning.png usr/share/doc/varnel/examples/stage2-in-tune.s1p \
  usr/share/doc/varnel/examples/filter-two-faults.s2p; do
  [ -e "$root/$path" ] || fail "not in the package: /$path"
done

answer=$("$root/usr/bin/varnel-calc") || fail "varnel-calc from the package failed"
[ "$answer" = "48.149" ] || fail "varnel-calc with the initial texts gave '$answer'"
version=$("$root/usr/bin/varnel-calc" --version)
[ "$version" = "varnel-calc $(dpkg-deb -f "$deb" Version)" ] || fail "version '$version'"

# The installed program finds its journal module: a diagnosis kept, then listed.
"$root/usr/bin/varnel-calc" design --f0 1000 --s2p 5 10 0.01 >"$work/design.s2p" ||
  fail "varnel-calc design --s2p from the package"
"$root/usr/bin/varnel-calc" diagnose "$work/design.s2p" --f0 1000 --journal "$work/bench.db" \
  --unit P-1 5 10 0.01 >/dev/null 2>"$work/journal.err"
[ -s "$work/journal.err" ] && fail "diagnose --journal from the package: $(cat "$work/journal.err")"
units=$("$root/usr/bin/varnel-calc" journal "$work/bench.db" --csv) ||
  fail "varnel-calc journal from the package"
case $units in *$'\n'P-1,1,*) ;; *) fail "the package's journal lists: $units" ;; esac

# The installed examples give the tutorial's first verdict.
"$root/usr/bin/varnel-calc" check --stage 2 --f0 1000 --qu 3000 \
  "$root/usr/share/doc/varnel/examples/stage2-resonator2-high.s1p" 5 10 0.01 >"$work/check.out"
[ $? -eq 3 ] && grep -q "Resonator 2 is 0.60 MHz (6.0 % of BW) high: turn it down" "$work/check.out" ||
  fail "check of the installed example: $(cat "$work/check.out")"

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
  complete_words varnel-calc check --js
  complete_words varnel-calc delay ""
' _ "$root/usr/share/bash-completion/completions/varnel-calc")
expected=$'check\n--json\nsweep.s2p'
[ "$completions" = "$expected" ] || fail "bash completion gave: $completions"

echo "package checked: lintian, AppStream, desktop entries, man pages, completion, scratch install, journal"
