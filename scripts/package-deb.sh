#!/usr/bin/env bash
# Builds the Debian package halvard-setup_VERSION_amd64.deb into build/deb/ (or the
# folder given): halvard-build (release build), both engines, the project file's schema
# and the documentation, laid out as an installed system has them:
#   /usr/bin/halvard-build
#   /usr/lib/halvard-setup/halvard-engine.exe, halvard-engine-x64.exe, and the
#     Windows builder halvard-build.exe
#   /usr/share/halvard-setup/halvard-project.schema.json
#   /usr/share/doc/halvard-setup/README.md, project-reference.md, copyright, examples/hello
# Install it with: apt install ./build/deb/halvard-setup_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/deb}")
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

version=$(sed -n 's/^project(HalvardSetup VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j"$jobs" --target halvard-build
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs" --target halvard-engine
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$jobs" --target halvard-engine halvard-build

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
install -D -m 0755 -s build/native-release/tools/builder/halvard-build "$stage/usr/bin/halvard-build"
install -D -m 0644 build/win32/src/halvard-engine.exe "$stage/usr/lib/halvard-setup/halvard-engine.exe"
install -D -m 0644 build/win64/src/halvard-engine-x64.exe "$stage/usr/lib/halvard-setup/halvard-engine-x64.exe"
# The Windows builder beside the engines: the folder, copied to Windows, is complete.
install -D -m 0644 build/win64/tools/builder/halvard-build.exe "$stage/usr/lib/halvard-setup/halvard-build.exe"
mkdir -p "$stage/usr/share/halvard-setup" "$stage/usr/share/doc/halvard-setup/examples"
"$stage/usr/bin/halvard-build" schema -o "$stage/usr/share/halvard-setup/halvard-project.schema.json"
install -m 0644 README.md docs/project-reference.md "$stage/usr/share/doc/halvard-setup/"
cp -r examples/hello "$stage/usr/share/doc/halvard-setup/examples/"
rm -f "$stage/usr/share/doc/halvard-setup/examples/hello/setup.exe"
cat > "$stage/usr/share/doc/halvard-setup/copyright" <<TEXT
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Halvard Setup
Files: *
Copyright: the Halvard Setup authors
TEXT
chmod -R u=rwX,go=rX "$stage/usr"

mkdir -p "$stage/DEBIAN"
size=$(du -sk "$stage/usr" | cut -f1)
cat > "$stage/DEBIAN/control" <<TEXT
Package: halvard-setup
Version: $version
Architecture: amd64
Maintainer: Halvard Setup <halvard-setup@example.org>
Installed-Size: $size
Depends: libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.0)
Section: devel
Priority: optional
Description: builder of self-extracting Windows installers
 halvard-build makes Halvard Setup installers (setup.exe) from a TOML project
 file: it packs the files, settings and texts behind one of the two Windows
 engines included here (x86 and x64), signs the result with the publisher's
 tool when asked, and inspects installers.
TEXT
mkdir -p "$out"
deb="$out/halvard-setup_${version}_amd64.deb"
dpkg-deb --root-owner-group -Zxz -b "$stage" "$deb" >/dev/null
echo "$deb"
