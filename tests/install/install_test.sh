#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a package of it would
# hold: every file in its place and nothing else, the programs working from
# there, and the desktop files, MIME types, man pages and help links valid.
# Usage: install_test.sh CMAKE BUILD_DIR SOURCE_DIR
set -uo pipefail
cmake=$1
build=$2
source=$3

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zephyrim-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/usr
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
note() { echo "note: $*"; }

if ! "$cmake" --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

# Everything the installation holds, files and links; a change to the layout
# must change this list too.
expected=(
  bin/quill32 bin/trc32 bin/zephyrim bin/zephyrim-draw bin/zsim bin/zsimx bin/zsim3
  share/zephyrim/default.sym share/zephyrim/default.IDX share/zephyrim/STATSDEFAULT.TXT
  share/zephyrim/statistics-file.md share/zephyrim/messages.md
  share/zephyrim/help/quill32.html share/zephyrim/help/trc32.html
  share/doc/zephyrim/README.md share/doc/zephyrim/copyright share/doc/zephyrim/help
  share/doc/zephyrim/statistics-file.md share/doc/zephyrim/messages.md
  share/man/man1/zsim.1 share/man/man1/zsimx.1 share/man/man1/zsim3.1 share/man/man1/zephyrim.1
  share/applications/quill32.desktop share/applications/trc32.desktop
  share/icons/hicolor/scalable/apps/quill32.svg share/icons/hicolor/scalable/apps/trc32.svg
  share/mime/packages/zephyrim.xml
)
for name in rc_lowpass amplifier opamp_two_page rc_step filter_mc diode_temp; do
  expected+=("share/zephyrim/examples/$name.sch" "share/zephyrim/examples/$name.SIM")
done
for name in amplifier rc_step filter_mc diode_temp; do expected+=("share/zephyrim/examples/$name.MIS"); done

printf '%s\n' "${expected[@]}" | sort >"$scratch/expected"
(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort) >"$scratch/installed"
while read -r f; do fail "missing $f"; done < <(comm -23 "$scratch/expected" "$scratch/installed")
while read -r f; do fail "not expected: $f"; done < <(comm -13 "$scratch/expected" "$scratch/installed")

bin=$prefix/bin
data=$prefix/share/zephyrim
for p in quill32 trc32 zephyrim zephyrim-draw zsim; do
  [ -x "$bin/$p" ] && [ ! -L "$bin/$p" ] || fail "$p is not an installed program"
done
# Links, so that the package does not carry the engine three times.
for p in zsimx zsim3; do
  [ "$(readlink "$bin/$p")" = zsim ] || fail "$p is not a link to zsim"
  [ "$(readlink "$prefix/share/man/man1/$p.1")" = zsim.1 ] || fail "$p.1 is not a link to zsim.1"
done
for l in help statistics-file.md messages.md; do
  [ -e "$prefix/share/doc/zephyrim/$l" ] || fail "share/doc/zephyrim/$l does not lead to its file"
done
cmp -s "$data/default.sym" "$source/data/symbols/default.sym" || fail "default.sym differs from the source"

# The programs from the prefix: the engine under its other names, the batch tool
# with its drawing program beside it, and the installed examples.
"$bin/zsimx" --help | grep '^usage: zsim' >/dev/null || fail "zsimx --help"
"$bin/zephyrim" check "$data/examples/amplifier.sch" >/dev/null || fail "zephyrim check of an installed example"
if ! QT_QPA_PLATFORM=offscreen "$bin/zephyrim" symbol "$data/default.sym" R -o "$scratch/r.png" ||
  [ "$(od -An -tx1 -N4 "$scratch/r.png" | tr -d ' ')" != 89504e47 ]; then
  fail "zephyrim symbol (run by zephyrim-draw beside it) made no PNG"
fi
# The index made at installation matches the installed library, so opening it
# leaves the index alone: a packaged one lies where users cannot rewrite it.
inode=$(stat -c %i "$data/default.IDX")
"$bin/zephyrim" symbols "$data/default.sym" >/dev/null 2>"$scratch/symbols.err" || fail "zephyrim symbols"
[ -s "$scratch/symbols.err" ] && fail "zephyrim symbols: $(cat "$scratch/symbols.err")"
[ "$(stat -c %i "$data/default.IDX")" = "$inode" ] || fail "the installed default.IDX was rebuilt: it is stale"

# Desktop files: valid, and naming programs, icons and MIME types that are installed.
if command -v desktop-file-validate >/dev/null; then
  for d in "$prefix"/share/applications/*.desktop; do
    out=$(desktop-file-validate "$d" 2>&1) || fail "desktop-file-validate $(basename "$d"): $out"
    [ -n "$out" ] && fail "desktop-file-validate $(basename "$d"): $out"
  done
else
  fail "desktop-file-validate not found (desktop-file-utils, installed by scripts/setup)"
fi
for d in "$prefix"/share/applications/*.desktop; do
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$d")
  icon=$(sed -n 's/^Icon=//p' "$d")
  [ -x "$bin/$exec_name" ] || fail "$(basename "$d"): Exec $exec_name is not installed"
  [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "$(basename "$d"): no icon $icon"
  for m in $(sed -n 's/^MimeType=//p' "$d" | tr ';' ' '); do
    grep -q "type=\"$m\"" "$prefix/share/mime/packages/zephyrim.xml" || fail "$(basename "$d"): $m is not defined"
  done
done

# MIME types: the database accepts them, and files are told apart by their bytes.
if command -v update-mime-database >/dev/null; then
  update-mime-database "$prefix/share/mime" >"$scratch/mime.log" 2>&1 || fail "update-mime-database: $(cat "$scratch/mime.log")"
  if command -v gio >/dev/null; then
    mkdir -p "$scratch/files"
    cp "$data/examples/amplifier.sch" "$scratch/files/a.sch"
    cp "$source/tests/fuzz/corpus/probe_file/current.SAV" "$scratch/files/b.SAV"
    cp "$source/tests/fuzz/corpus/raw_file/ngspice_binary.raw" "$scratch/files/c.raw"
    # Misnamed: the magic alone must find it.
    cp "$source/tests/fuzz/corpus/raw_file/wide_stepped.raw" "$scratch/files/d.dat"
    for pair in a.sch:application/x-zephyrim-schematic b.SAV:application/x-zephyrim-probe \
      c.raw:application/x-spice3-raw d.dat:application/x-spice3-raw; do
      f=${pair%%:*}
      want=${pair#*:}
      got=$(XDG_DATA_HOME="$prefix/share" XDG_DATA_DIRS="$prefix/share:/usr/share" \
        gio info -a standard::content-type "$scratch/files/$f" 2>/dev/null | sed -n 's/.*content-type: //p')
      [ "$got" = "$want" ] || fail "$f is typed '$got', not $want"
    done
  else
    note "gio not found: MIME detection not checked"
  fi
else
  note "update-mime-database not found: MIME XML not checked"
fi

# Man pages: no warnings from the formatter.
for m in zsim zephyrim; do
  page=$prefix/share/man/man1/$m.1
  if command -v groff >/dev/null; then
    out=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -n "$out" ] && fail "groff $m.1: $out"
    # Bold comes out as overstrikes: drop them before looking for the heading.
    groff -man -Tutf8 "$page" 2>/dev/null | sed 's/.\x08//g' | grep '^NAME$' >/dev/null || fail "$m.1 has no NAME section"
  elif command -v mandoc >/dev/null; then
    out=$(mandoc -T lint -W warning "$page" 2>&1) || fail "mandoc $m.1: $out"
  else
    note "neither groff nor mandoc found: $m.1 not checked"
  fi
done

# Help pages: every local link leads to a file, from where the programs open
# them and through the documentation's link.
for dir in "$data/help" "$prefix/share/doc/zephyrim/help"; do
  for page in "$dir"/*.html; do
    for target in $(grep -o 'href="[^"]*"' "$page" | sed 's/^href="//; s/"$//; s/#.*//' | grep -v ':' | sort -u); do
      [ -e "$dir/$target" ] || fail "$(basename "$page") in $dir links to missing $target"
    done
  done
done

if [ "$failures" -gt 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "install tree: ${#expected[@]} files checked"
