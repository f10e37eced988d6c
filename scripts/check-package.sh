#!/usr/bin/env bash
# Builds the packages of a Release build and checks them as a user gets them:
# lintian on the .deb (errors fail), its contents, the .tar.gz beside it, and
# the program unpacked with dpkg-deb -x (and from the tarball) into a temporary
# root and run from an unrelated working directory: its still at 20000 ms must
# equal the build tree's byte for byte. Also the desktop entry
# (desktop-file-validate), the AppStream metadata (appstreamcli validate), the
# icon, --version, and the manual page: its options against --help, its keys
# against the keys the program reacts to. Nothing is installed on the system.
#
#   scripts/check-package.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
. scripts/common.sh
name=$(program_name "$build")

fail() {
  echo "check-package.sh: $*" >&2
  exit 1
}

cmake --build "$build" --target package >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
deb="$build/${name}_${version}_${arch}.deb"
tgz="$build/${name}_${version}_${arch}.tar.gz"
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
[ -f "$deb" ] || fail "no $deb"
[ -f "$tgz" ] || fail "no $tgz"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ---- lintian: errors fail; warnings and notes are shown ------------------------------
if ! lintian --allow-root --fail-on error "$deb" >"$tmp/lintian.txt" 2>&1; then
  cat "$tmp/lintian.txt"
  fail "lintian reports errors on $deb"
fi
cat "$tmp/lintian.txt"
[ "$(dpkg-deb -f "$deb" Recommends)" = ffmpeg ] || fail "ffmpeg is not Recommends"
dpkg-deb -f "$deb" Depends | grep -q 'libsdl2' || fail "Depends lacks the shared libraries"

# ---- contents: the program, its data, entry, icon, metadata, manual page, docs -------
name_id=${name//-/_} # the last part of the AppStream id
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort >"$tmp/deb-files"
allowed="^usr/bin/$name$|^usr/share/$name/demosong\.mp3$|^usr/share/$name/Textures/[a-z0-9]+\.jpg$"
allowed+="|^usr/share/applications/$name\.desktop$|^usr/share/icons/hicolor/256x256/apps/$name\.png$"
allowed+="|^usr/share/metainfo/[a-z0-9_.]+\.$name_id\.metainfo\.xml$"
allowed+="|^usr/share/man/man6/$name\.6\.gz$|^usr/share/doc/$name/[A-Za-z.]+$"
allowed+="|^usr/share/lintian/overrides/$name$"
if grep -vE "$allowed" "$tmp/deb-files"; then fail "files above do not belong in the package"; fi
textures=$(grep -c "^usr/share/$name/Textures/" "$tmp/deb-files" || true)
[ "$textures" -eq 56 ] || fail "$textures images in the package, not 56"
for f in usr/bin/$name usr/share/$name/demosong.mp3 usr/share/applications/$name.desktop \
  usr/share/icons/hicolor/256x256/apps/$name.png usr/share/man/man6/$name.6.gz usr/share/doc/$name/copyright; do
  grep -qx "$f" "$tmp/deb-files" || fail "$f is not in the package"
done
# The tarball holds the same tree (without the Debian-only lintian overrides).
tar -tzf "$tgz" | grep -v '/$' | sed "s|^${name}_${version}_${arch}/|usr/|" | sort >"$tmp/tgz-files"
grep -v '^usr/share/lintian/' "$tmp/deb-files" | diff - "$tmp/tgz-files" || fail "the .tar.gz differs from the .deb"

# ---- the unpacked programs, run from elsewhere ----------------------------------------
# The .deb unpacked with dpkg-deb -x and the .tar.gz unpacked, each into a
# temporary root; each program's still must equal the build tree's.
root="$tmp/root"
mkdir -p "$root" "$tmp/tar" "$tmp/elsewhere" "$tmp/reference"
dpkg-deb -x "$deb" "$root"
tar -xzf "$tgz" -C "$tmp/tar"
program="$root/usr/bin/$name"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
(cd "$tmp/reference" && "$build/$name" --frame 20000 --out reference.png) 2>/dev/null
for p in "$program" "$tmp/tar/${name}_${version}_${arch}/bin/$name"; do
  rm -f "$tmp/elsewhere/x.png"
  (cd "$tmp/elsewhere" && "$p" --frame 20000 --out x.png) 2>"$tmp/unpacked.err" ||
    { cat "$tmp/unpacked.err"; fail "$p failed"; }
  if grep -q 'not found' "$tmp/unpacked.err"; then cat "$tmp/unpacked.err"; fail "$p missed its data"; fi
  cmp "$tmp/elsewhere/x.png" "$tmp/reference/reference.png" ||
    fail "the still at 20000 ms of $p differs from $build/$name's"
done

out=$(cd "$tmp/elsewhere" && "$program" --version)
[ "$out" = "$name $version" ] || fail "--version printed '$out', not '$name $version'"

# ---- desktop entry, AppStream metadata, icon, manual page ----------------------------
desktop-file-validate "$root/usr/share/applications/$name.desktop" || fail "the desktop entry is not valid"
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
[ ${#metainfo[@]} -eq 1 ] && [ -f "${metainfo[0]}" ] || fail "not one AppStream metadata file in the package"
# Errors and warnings fail; informational notes are shown. --no-net: the
# homepage and screenshot addresses are placeholders until a release sets
# DEMO_HOMEPAGE (packaging/CMakeLists.txt), and with the network appstreamcli
# fails on addresses that do not answer.
appstreamcli validate --no-net "${metainfo[0]}" >"$tmp/appstream.txt" 2>&1 ||
  { cat "$tmp/appstream.txt"; fail "appstreamcli finds errors in $(basename "${metainfo[0]}")"; }
if grep -E '^[EW]: ' "$tmp/appstream.txt"; then fail "appstreamcli warns about $(basename "${metainfo[0]}")"; fi
grep -qF "<launchable type=\"desktop-id\">$name.desktop</launchable>" "${metainfo[0]}" ||
  fail "the AppStream metadata does not launch $name.desktop"
file "$root/usr/share/icons/hicolor/256x256/apps/$name.png" | grep -q 'PNG image data, 256 x 256, 8-bit/color RGBA' ||
  fail "the icon is not a 256 x 256 RGBA PNG"
man_page="$root/usr/share/man/man6/$name.6.gz"
warnings=$(zcat "$man_page" | groff -man -ww -z -Tutf8 2>&1)
[ -z "$warnings" ] || { echo "$warnings"; fail "the manual page has groff warnings"; }
# Every long option of --help is in the manual page, and the page names no other.
"$program" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u >"$tmp/help-options"
zcat "$man_page" | sed 's/\\-/-/g' | grep -oE -- '--[a-z][a-z-]*' | sort -u >"$tmp/man-options"
diff "$tmp/help-options" "$tmp/man-options" ||
  fail "the manual page and --help name different options (< --help only, > manual page only)"
# Every key and mouse button the program reacts to has its entry in the
# manual page's KEYS section, and the section names no other. The program's
# side is its key table, the SDL key and button names in src/platform (the
# only code that sees events): SDLK_PAGEUP is "Page Up", SDLK_o is "o" and
# SDL_BUTTON_LEFT a "Click", SDLK_QUESTION (or SDLK_SLASH with Shift, the
# same key on a US layout) is "?", SDLK_PERIOD "." and SDLK_COMMA ",", and
# the keys Ctrl goes with (+, = and the keypad's +; - and the keypad's -)
# are "Ctrl +" and "Ctrl -". Both sides are compared lower-case
# without spaces.
grep -ohE 'SDLK_[A-Za-z0-9_]+|SDL_BUTTON_[A-Z]+' src/platform/*.cpp |
  sed -E 's/^SDLK_//; s/^(QUESTION|SLASH)$/?/; s/^PERIOD$/./; s/^COMMA$/,/; s/^(PLUS|EQUALS|KP_PLUS)$/ctrl+/; s/^(MINUS|KP_MINUS)$/ctrl-/; s/^SDL_BUTTON_LEFT$/click/; s/^SDL_BUTTON_RIGHT$/rightclick/; s/^SDL_BUTTON_MIDDLE$/middleclick/' |
  tr -d '_' | tr 'A-Z' 'a-z' | sort -u >"$tmp/program-keys"
# In the page, each entry's tag is the line after .TP: ".B Escape",
# ".BR Left \", \" Right", ".BR \"Page Up\" \", \" Up".
zcat "$man_page" | awk '/^\.SH/ {keys = ($2 == "KEYS")} keys && tag {print} {tag = keys && /^\.TP/}' |
  sed -E 's/^\.BR? //; s/", "/\n/g; s/\\-/-/g' | tr -d '" ' | tr 'A-Z' 'a-z' | sort -u >"$tmp/man-keys"
diff "$tmp/program-keys" "$tmp/man-keys" ||
  fail "the manual page's KEYS and the program's keys differ (< program only, > manual page only)"

echo "check-package.sh: $(basename "$deb") and $(basename "$tgz") are fine"
