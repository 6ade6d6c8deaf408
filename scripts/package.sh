#!/usr/bin/env bash
# Builds the Debian package sendrix_<version>_amd64.deb from a clean clone of
# the committed tree (debian/, dpkg-buildpackage), checks it with lintian,
# installs it into a throw-away root (dpkg --root) and runs the installed
# program there: `sendrix --version` and the unattended demo mailing
# (scripts/run.sh against a local capture server). Also validates the
# installed AppStream metainfo and desktop entry. Ends with the package's
# path. Work folder: $BUILD_DIR/package (default build/package).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
bash scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
work=$(realpath -m "$BUILD_DIR/package")

fail() { echo "package.sh: $*" >&2; exit 1; }

# The version has one home, CMake's project(VERSION); the package's
# changelog must name the same.
version=$(sed -n 's/^project(Sendrix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project(Sendrix VERSION ...) in CMakeLists.txt"
changelog_version=$(dpkg-parsechangelog -l debian/changelog -S Version)
[ "$changelog_version" = "$version" ] ||
  fail "debian/changelog names $changelog_version, CMakeLists.txt $version: add a changelog entry for $version"

# A clean clone at a fixed path, so that a second run hits the compiler
# cache (ccache, when installed) even though the clone is new. Without git
# (or a repository git refuses to read) a copy of the tree without its build
# folders stands in.
rm -rf "$work"
mkdir -p "$work"
source_dir="$work/sendrix-$version"
if head=$(git rev-parse HEAD 2>/dev/null) &&
   git clone --quiet --no-checkout "$repo" "$source_dir" 2>/dev/null &&
   git -C "$source_dir" checkout --quiet --detach "$head"; then
  if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "package.sh: uncommitted changes are not in the package (it is built from HEAD)" >&2
  fi
else
  echo "package.sh: no git clone possible; building from a copy of the tree" >&2
  rm -rf "$source_dir"
  mkdir -p "$source_dir"
  tar -c --exclude='./build*' --exclude=./.git --exclude=./out . | tar -x -C "$source_dir"
fi

echo "== Building sendrix_${version}_amd64.deb"
export CCACHE_BASEDIR="$source_dir" CCACHE_NOHASHDIR=1
export CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir 2>/dev/null || echo "$HOME/.cache/ccache")}
(cd "$source_dir" &&
  DEB_BUILD_OPTIONS="noautodbgsym parallel=$(nproc)" dpkg-buildpackage -b -us -uc >"$work/build.log" 2>&1) ||
  { tail -n 40 "$work/build.log" >&2; fail "dpkg-buildpackage failed (log: $work/build.log)"; }
deb="$work/sendrix_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb"

echo "== Contents"
listing=$(dpkg-deb --contents "$deb")
for file in ./usr/bin/sendrix ./usr/lib/sendrix/sendrix-window.so ./usr/lib/sendrix/refreshkit \
            ./usr/share/applications/sendrix.desktop \
            ./usr/share/icons/hicolor/scalable/apps/sendrix.svg \
            ./usr/share/man/man1/sendrix.1.gz \
            ./usr/share/metainfo/io.github.sendrix.Sendrix.metainfo.xml \
            ./usr/share/doc/sendrix/copyright; do
  grep -q " $file\$" <<<"$listing" || fail "$file is missing from the package"
done
dpkg-deb --field "$deb" Package Version Architecture Depends

echo "== lintian"
# Tags the package keeps on purpose are explained in
# debian/sendrix.lintian-overrides; any other warning or error fails.
lintian_status=0
lintian --fail-on error,warning --display-info "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
grep -v "running with root privileges" "$work/lintian.log" || true
[ "$lintian_status" -eq 0 ] || fail "lintian found warnings or errors"

echo "== Dependencies resolvable on this system"
apt-get install --simulate -q "$deb" >"$work/apt-simulate.log" 2>&1 ||
  { cat "$work/apt-simulate.log" >&2; fail "the package's Depends cannot be met"; }

echo "== Installing into a throw-away root"
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The root holds no other package, so its dependencies are taken on trust
# there (they were checked above against this system). dpkg gives the files
# to root, which only root can do; anyone else unpacks them.
if [ "$(id -u)" -eq 0 ]; then
  dpkg --root="$root" --log=/dev/null --force-depends -i "$deb" >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log" >&2; fail "dpkg could not install the package into $root"; }
else
  dpkg-deb --extract "$deb" "$root"
fi
program="$root/usr/bin/sendrix"

if ldd "$root/usr/lib/sendrix/sendrix-window.so" "$program" | grep -q "not found"; then
  ldd "$root/usr/lib/sendrix/sendrix-window.so" "$program" | grep "not found" >&2
  fail "the installed program needs a library this system lacks"
fi

echo "== Installed metainfo and desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.sendrix.Sendrix.metainfo.xml"
desktop-file-validate "$root/usr/share/applications/sendrix.desktop"

echo "== $program --version"
version_line=$("$program" --version | head -n 1)
echo "$version_line"
[ "$version_line" = "Sendrix $version" ] || fail "--version says '$version_line', expected 'Sendrix $version'"

echo "== The unattended demo mailing with the installed program"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY SENDRIX_PROGRAM="$program" BUILD_DIR="$work" \
  bash scripts/run.sh >"$work/demo.log" 2>&1 || status=$?
cat "$work/demo.log"
[ "$status" -eq 0 ] || fail "the demo mailing ended with status $status"
captured=$(find "$work/demo/captured" -name '*.eml' | wc -l)
[ "$captured" -eq 5 ] || fail "the capture server got $captured messages, expected 5"

echo
echo "Package: $deb"
echo "Install it with: sudo apt install $deb"
