#!/usr/bin/env bash
# Installs the build into a scratch prefix and packages it, then checks what a
# user's system would get: the files, the validators' verdicts, and a package
# that names every library the program loads.
#   check_install.sh BUILD SOURCE VERSION BINDIR PRIVATE_LIBDIR DATADIR REL_LIBDIR REL_DATADIR
set -uo pipefail
build=$1 src=$2 version=$3 bindir=$4 libdir=$5 datadir=$6 rel_lib=$7 rel_data=$8
scratch="$(mktemp -d /tmp/orv-install.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for tool in desktop-file-validate appstreamcli dpkg-deb dpkg-shlibdeps objdump; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (bash scripts/install-deps.sh --test)"; exit 1; }
done

prefix="$scratch/root/usr"
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 || { cat "$scratch/install.log"; exit 1; }
share="${datadir%/orvane-recorder}"  # the data root (share)
exe="$prefix/$bindir/orvane-recorder"
icons=(16 22 24 32 48 64 128 256)

expected=("$bindir/orvane-recorder" "$libdir/liblame_enc.so" "$datadir/orvane-recorder.html"
          "$share/applications/org.orvane.Recorder.desktop" "$share/metainfo/org.orvane.Recorder.metainfo.xml"
          "$share/icons/hicolor/scalable/apps/orvane-recorder.svg")
for s in "${icons[@]}"; do expected+=("$share/icons/hicolor/${s}x${s}/apps/orvane-recorder.png"); done
for f in "${expected[@]}"; do
  [ -s "$prefix/$f" ] || fail "missing or empty: $f"
done
[ -x "$exe" ] || fail "the executable is not executable"

# Each bitmap is as large as the folder it sits in says.
for s in "${icons[@]}"; do
  png="$prefix/$share/icons/hicolor/${s}x${s}/apps/orvane-recorder.png"
  [ -s "$png" ] || continue
  [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] || fail "not a PNG: $png"
  w=$(od -An -tu1 -j16 -N4 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
  h=$(od -An -tu1 -j20 -N4 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
  [ "$w" = "$s" ] && [ "$h" = "$s" ] || fail "icon ${s}x${s} is ${w}x${h}"
done

# The installed program looks for its library and help page along these paths
# from its own folder; they must be in the executable and lead to the files.
grep -aqF "$rel_lib" "$exe" || fail "the executable does not hold the library path $rel_lib"
grep -aqF "$rel_data" "$exe" || fail "the executable does not hold the data path $rel_data"
[ -f "$prefix/$bindir/$rel_lib/liblame_enc.so" ] || fail "$bindir/$rel_lib/liblame_enc.so does not lead to the library"
[ -f "$prefix/$bindir/$rel_data/orvane-recorder.html" ] || fail "$bindir/$rel_data/orvane-recorder.html does not lead to the help page"
[ -e "$prefix/$bindir/liblame_enc.so" ] && fail "the library must not sit in $bindir"

# Every picture the help page shows is installed beside it when the source tree has it.
page="$prefix/$datadir/orvane-recorder.html"
while read -r ref; do
  case "$ref" in http*|\#*|mailto:*) continue ;; esac
  if [ -f "$src/assets/$ref" ]; then
    [ -f "$prefix/$datadir/$ref" ] || fail "the help page shows $ref, which is not installed"
  else
    echo "note: the help page refers to $ref, which the source tree does not have yet"
  fi
done < <(grep -o 'src="[^"]*"' "$page" | sed 's/^src="//; s/"$//')

# The desktop entry starts the installed program with the installed icon.
desktop="$prefix/$share/applications/org.orvane.Recorder.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
# The main entry's Exec, then each action's: the launcher's menu offers these commands.
[ "$(sed -n '/^\[Desktop Entry\]/,/^\[/s/^Exec=//p' "$desktop")" = orvane-recorder ] || fail "Exec is not orvane-recorder"
# Each action (Record, Stop, Mark, Save) runs an option the installed program knows.
actions=0
usage="$("$exe" --help)"
while read -r line; do
  actions=$((actions + 1))
  [ "${line%% *}" = orvane-recorder ] || fail "an action runs $line"
  option=${line#orvane-recorder }
  grep -q -- "^ *$option\b" <<<"$usage" || fail "the action's $option is not an option of the program"
done < <(awk '/^\[/ { inAction = /^\[Desktop Action / } inAction && sub(/^Exec=/, "")' "$desktop")
[ "$actions" = 4 ] || fail "$actions desktop actions, not 4"
[ "$(sed -n 's/^Icon=//p' "$desktop")" = orvane-recorder ] || fail "Icon is not orvane-recorder"
grep -qx 'Categories=Audio;AudioVideo;Recorder;' "$desktop" || fail "Categories"
appstreamcli validate --no-net "$prefix/$share/metainfo/org.orvane.Recorder.metainfo.xml" || fail "appstreamcli validate"
appstreamcli validate-tree --no-net "$scratch/root" || fail "appstreamcli validate-tree"

# The Debian package.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; exit 1; }
deb=("$scratch"/pkg/*.deb)
[ -f "${deb[0]}" ] || { echo "FAIL: cpack made no .deb"; exit 1; }
[ "$(dpkg-deb -f "$deb" Package)" = orvane-recorder ] || fail "Package"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is $(dpkg-deb -f "$deb" Version), not $version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
# Loaded at run time, so no linker sees them: the window system's plugins and the Chinese captions' font.
for p in qt6-qpa-plugins fonts-wqy-microhei; do
  grep -qw -- "$p" <<<"$depends" || fail "Depends does not name $p"
done
# Every library the two binaries are linked against comes from a package that
# Depends names, or that one of those requires in turn (a library package
# whose files live in a flavour of it, as libtag1v5 and libtag1v5-vanilla).
required="$depends"
for p in $(tr ',|' '\n\n' <<<"$depends" | awk '{print $1}'); do
  required+=", $(dpkg-query -W -f='${Depends}' "$p" 2>/dev/null)"
done
for bin in "$exe" "$prefix/$libdir/liblame_enc.so"; do
  for lib in $(objdump -p "$bin" | awk '/NEEDED/ {print $2}'); do
    path="$(ldconfig -p | awk -v l="$lib" '$1 == l {print $NF; exit}')"
    [ -n "$path" ] || { fail "$lib (needed by $(basename "$bin")) is not on this system"; continue; }
    pkg="$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -1 | cut -d: -f1)"
    [ -n "$pkg" ] || pkg="$(dpkg -S "$path" 2>/dev/null | head -1 | cut -d: -f1)"
    [ -n "$pkg" ] || { fail "no package owns $path"; continue; }
    grep -qw -- "$pkg" <<<"$required" || fail "Depends does not name $pkg, which holds $lib"
  done
done
# The skin pictures are read by Qt's JPEG plugin, which no linker sees either.
jpeg_plugin="$(find /usr/lib -path '*/qt6/plugins/imageformats/libqjpeg.so' -print -quit)"
jpeg_pkg="$(dpkg -S "$jpeg_plugin" 2>/dev/null | head -1 | cut -d: -f1)"
{ [ -n "$jpeg_pkg" ] && grep -qw -- "$jpeg_pkg" <<<"$depends"; } || fail "Depends does not name ${jpeg_pkg:-a package} holding Qt's JPEG plugin"
# The package holds exactly the installed tree, under /usr.
(cd "$prefix" && find . -type f | sed 's|^\./||' | sort) >"$scratch/tree.txt"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./usr/||' | sort >"$scratch/deb.txt"
diff -u "$scratch/tree.txt" "$scratch/deb.txt" || fail "the package's files differ from the installed tree"
# Unpacked, both binaries find every library they link.
dpkg-deb -x "$deb" "$scratch/unpacked"
for bin in "$scratch/unpacked/usr/$bindir/orvane-recorder" "$scratch/unpacked/usr/$libdir/liblame_enc.so"; do
  if ldd "$bin" | grep -q 'not found'; then fail "unresolved libraries in $bin"; ldd "$bin"; fi
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "installed tree and package: all checks passed"
