#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# Builds the Debian packages (vorlan2: the plug-in and its translations,
# vorlan2-dev: the controller headers, vorlan2-workstation: the demo) in a
# build folder of their own, configured for /usr, then checks what each
# package holds and depends on, and runs the workstation unpacked from them.
# Needs what scripts/setup.sh installs (dpkg-dev for dpkg-shlibdeps).
# The packages are left in the build folder; exits non-zero on any fault.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VORLAN_PACKAGE_BUILD_DIR:-$top/build-package}
version=$(sed -n 's/^project(Vorlan2 VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
faults=0

die() {
    echo "package: $*" >&2
    exit 1
}

fault() {
    echo "package: FAULT: $*" >&2
    faults=$((faults + 1))
}

[[ -n $version ]] || die "no version in CMakeLists.txt"

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF \
    >/dev/null || die "configuring failed"
cmake --build "$build" || die "building failed"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB) || die "cpack failed"

module=$build/vorlan2_${version}_$arch.deb
dev=$build/vorlan2-dev_${version}_all.deb
demo=$build/vorlan2-workstation_${version}_$arch.deb
for deb in "$module" "$dev" "$demo"; do
    [[ -f $deb ]] || die "missing package $(basename "$deb"); built: $(cd "$build" && ls -- *.deb 2>/dev/null | xargs)"
done

# The paths a package holds, "./usr/...". Read whole before any grep -q:
# under pipefail, a grep that stops early could fail the writer before it.
paths() {
    dpkg-deb -c "$1" | awk '{ print $6 }'
}

# has_file DEB PATH: PATH (below /) is in the package, as a file or a link.
has_file() {
    grep -qxF "./$2" <<<"$(paths "$1")"
}

expect_files() {
    local deb=$1
    shift
    for path in "$@"; do
        has_file "$deb" "$path" || fault "$(basename "$deb") lacks /$path"
    done
}

# expect_none DEB REGEX: no path of the package matches.
expect_none() {
    local found
    found=$(grep -E "$2" <<<"$(paths "$1")" || true)
    [[ -z $found ]] || fault "$(basename "$1") holds $(xargs <<<"$found")"
}

expect_field() {
    local value
    value=$(dpkg-deb -f "$1" "$2")
    [[ $value == "$3" ]] || fault "$(basename "$1"): $2 is '$value', not '$3'"
}

# expect_relation DEB FIELD PACKAGE...: each package is named in the field
# (Depends, Recommends), with or without a version, alone or as a choice.
expect_relation() {
    local deb=$1 field=$2 value names
    shift 2
    value=$(dpkg-deb -f "$deb" "$field")
    names=$(tr ',|' '\n\n' <<<"$value" | sed 's/(.*)//; s/[[:space:]]//g')
    for package in "$@"; do
        grep -qxF "$package" <<<"$names" || fault "$(basename "$deb"): $field lacks $package: $value"
    done
}

for deb in "$module" "$dev" "$demo"; do
    echo "== $(basename "$deb")"
    dpkg-deb -I "$deb" | sed -n '/^ Package:/,$p'
    dpkg-deb -c "$deb"
    expect_field "$deb" Version "$version"
    expect_files "$deb" "usr/share/doc/$(dpkg-deb -f "$deb" Package)/copyright"
    [[ -n $(dpkg-deb -f "$deb" Maintainer) ]] || fault "$(basename "$deb") has no maintainer"
    [[ -n $(dpkg-deb -f "$deb" Description) ]] || fault "$(basename "$deb") has no description"
done

expect_field "$module" Package vorlan2
expect_field "$module" Section libs
expect_files "$module" "usr/lib/$multiarch/vorlan2/plugins/libVorlan2.so" \
    usr/share/vorlan2/translations/vorlan2_de.qm usr/share/vorlan2/translations/vorlan2_ru.qm
expect_relation "$module" Depends libc6 libstdc++6 libqt5core5a libqt5gui5 libqt5widgets5 libqt5svg5 libqt5multimedia5
expect_relation "$module" Recommends libqt5multimedia5-plugins
expect_none "$module" '/(bin|include)/|libhelvor|schemas'

expect_field "$dev" Package vorlan2-dev
expect_field "$dev" Architecture all
expect_files "$dev" usr/include/vorlan2/helvor/light.h usr/include/vorlan2/response.h usr/include/vorlan2/request.h
expect_relation "$dev" Depends qtbase5-dev
expect_none "$dev" '\.(so|qm)'

expect_field "$demo" Package vorlan2-workstation
expect_files "$demo" usr/bin/vorlan-workstation "usr/lib/$multiarch/libhelvor.so.1" \
    usr/share/vorlan2/schemas/junction12.svg usr/share/vorlan2/schemas/junction40_stage14.svg
expect_relation "$demo" Depends vorlan2 libc6 libqt5core5a libqt5widgets5
expect_relation "$demo" Recommends qttranslations5-l10n
grep -qF "vorlan2 (= $version)" <<<"$(dpkg-deb -f "$demo" Depends)" || fault "the demo does not depend on vorlan2 (= $version)"
expect_none "$demo" 'libVorlan2|/include/|\.qm$'

# The packages unpacked together under another root: the workstation must
# take the plug-in, its controller library and the German catalogue from
# there, not from the build folder it was compiled in.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
for deb in "$module" "$dev" "$demo"; do
    dpkg-deb -x "$deb" "$root"
done
mkdir -p "$root/config" "$root/runtime"
chmod 700 "$root/runtime"
run_log=$root/run.log
if ! env -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$root/config" XDG_RUNTIME_DIR="$root/runtime" LD_DEBUG=files \
    "$root/usr/bin/vorlan-workstation" --offscreen --lang de --quit-after 0.5 >"$run_log" 2>&1; then
    fault "the unpacked workstation failed: $(grep -v 'file=\|^ *[0-9]*:\s*$' "$run_log" | tail -5)"
fi
grep -q "file=$root/usr/lib/$multiarch/vorlan2/plugins/libVorlan2.so .*dynamically loaded" "$run_log" \
    || fault "the unpacked workstation did not load the unpacked plug-in"
grep -qE "calling init: $root/usr/(bin/\.\./)?lib/$multiarch/libhelvor\.so\.1\$" "$run_log" \
    || fault "the unpacked workstation did not use the unpacked libhelvor.so.1"
grep -qF "module texts from $root/usr/share/vorlan2/translations/vorlan2_de.qm" "$run_log" \
    || fault "the unpacked workstation did not take the unpacked German catalogue"

if ((faults)); then
    echo "package: $faults fault(s)" >&2
    exit 1
fi
echo "package: $(basename "$module"), $(basename "$dev"), $(basename "$demo") in $build: all checks passed"
