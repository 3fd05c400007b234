#!/usr/bin/env bash
# Builds the release: the Windows module brelvix.p for 32-bit hosts (preset
# windows-release) and for 64-bit hosts (preset windows64-release), each from
# scratch, and the user guide, packed as dist/brelvix-<version>-windows.zip
# (folder brelvix-<version>/ with win32/brelvix.p, win64/brelvix.p,
# guide.html and its images), and dist/SHA256SUMS for it. One commit
# gives the same bytes wherever and whenever it is built: the module holds no
# time stamp and no build folder, and the archive's entries carry the last
# commit's time, fixed permissions and a fixed order.
#
#   bash scripts/release.sh [--allow-dirty]
#
# Stops with one line, leaving dist/ as it was, when the working tree has
# changes that are not committed (unless --allow-dirty), when the build fails
# or when dist/ cannot be written.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
    echo "release: $*" >&2
    exit 1
}

allow_dirty=no
for argument in "$@"; do
    case $argument in
    --allow-dirty) allow_dirty=yes ;;
    *) fail "unknown argument '$argument'; usage: scripts/release.sh [--allow-dirty]" ;;
    esac
done

scripts/setup.sh release

git rev-parse --is-inside-work-tree >/dev/null 2>&1 ||
    fail "not a git checkout: the archive's times come from the last commit"
if [ "$allow_dirty" = no ] && [ -n "$(git status --porcelain)" ]; then
    fail "the working tree has changes that are not committed (git status); commit them, or run with --allow-dirty"
fi
epoch=$(git log -1 --format=%ct)

# Everything that could be left half made lives under these names, and goes
# when the script ends, however it ends.
log=build/release.log
stage=""
partial=()
cleanup() {
    [ -n "$stage" ] && rm -rf "$stage"
    [ ${#partial[@]} -eq 0 ] || rm -f "${partial[@]}"
}
trap cleanup EXIT

# dist/ is tried first, with a file of the script's own, so that a folder that
# cannot be written costs no build.
mkdir -p dist 2>/dev/null || fail "cannot create dist/"
probe=$(mktemp dist/.release.XXXXXX 2>/dev/null) || fail "cannot write to dist/"
rm -f "$probe"

# The modules, built with the project's own flags alone: one for hosts that
# run as 32-bit programs, one for 64-bit hosts (a host loads only a DLL of
# its own width). Each goes into the folder named for its width.
unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS
mkdir -p build
: >"$log"
stage=$(mktemp -d build/release-stage.XXXXXX)
version=""
for width in 32 64; do
    preset=windows-release
    [ "$width" = 64 ] && preset=windows64-release
    build=build/$preset
    rm -rf "$build"
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; } >>"$log" 2>&1; then
        fail "the $width-bit build failed; its output is in $log"
    fi
    header=$build/generated/interface/version.h
    built_version=$(sed -n 's/^#define BRELVIX_VERSION_TEXT "\(.*\)"$/\1/p' "$header")
    [ -n "$built_version" ] || fail "no version in $header"
    version=${version:-$built_version}
    # The file as the host and a user's machine see it: its width, one
    # export, Windows' own DLLs only.
    objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$build/CMakeCache.txt")
    cmake -DOBJDUMP="$objdump" -DMODULE="$build/brelvix.p" -DWIDTH="$width" \
        -P tests/integration/module_file_check.cmake >>"$log" 2>&1 ||
        fail "the $width-bit brelvix.p failed the module-file check; see $log"
    mkdir -p "$stage/win$width"
    cp "$build/brelvix.p" "$stage/win$width/brelvix.p"
done

# The archive's contents, in a folder named after the release.
top=brelvix-$version
mkdir -p "$stage/$top/images"
mv "$stage/win32" "$stage/win64" "$stage/$top/"
cp docs/guide/images/*.png "$stage/$top/images/"
cmark-gfm --extension table docs/guide/guide.md >"$stage/body.html" ||
    fail "cannot convert docs/guide/guide.md"
awk -v body="$stage/body.html" -v version="$version" '
    /^<!-- guide -->$/ { while ((getline line < body) > 0) { gsub(/@VERSION@/, version, line); print line }; next }
    { gsub(/@VERSION@/, version); print }' docs/guide/page.html >"$stage/$top/guide.html"
rm "$stage/body.html"
find "$stage/$top" -type d -exec chmod 755 {} +
find "$stage/$top" -type f -exec chmod 644 {} +
find "$stage/$top" -exec touch -h -d "@$epoch" {} +

# Entries in byte order of their names, no directory entries, no extra fields
# (owner, Unix times); the DOS time of each entry is read in UTC.
name=brelvix-$version-windows.zip
archive=dist/.$name.partial
sums=dist/.SHA256SUMS.partial
partial=("$archive" "$sums")
rm -f "$archive"
(cd "$stage" && find "$top" -type f | LC_ALL=C sort |
    TZ=UTC zip -X -D -q -9 -@ "../../$archive") || fail "cannot write dist/$name"
hash=$(sha256sum <"$archive") || fail "cannot read dist/$name back"
printf '%s  %s\n' "${hash%% *}" "$name" >"$sums" || fail "cannot write dist/SHA256SUMS"
mv -f "$archive" "dist/$name" || fail "cannot write dist/$name"
mv -f "$sums" dist/SHA256SUMS || fail "cannot write dist/SHA256SUMS"
partial=()
echo "dist/$name"
