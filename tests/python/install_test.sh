#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The installed module: `cmake --install` puts it where the system's python3 finds it, and
# it works from there with the installed library and simulator, for a user with nothing
# set up. Under the prefix /usr (as the Debian package installs it) and under another one.
#   install_test.sh BUILD_DIR PYTHON
set -euo pipefail
build=$1 python=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

check() {  # check ROOT_PREFIX PACKAGE_DIR
  local prefix=$1 dir=$2
  [ -f "$dir/kelvora/__init__.py" ] && [ -f "$dir/kelvora/__init__.pyi" ] ||
    fail "no package in $dir: $(find "$prefix" -name '__init__.py')"
  ls "$dir"/kelvora/_kelvora.*.so >/dev/null || fail "no native module in $dir"
  ! readelf -S "$dir"/kelvora/_kelvora.*.so | grep -q '\.debug_' || fail "debug information"
  mkdir -p "$work/home"
  out=$(cd "$work" && env -i PATH=/usr/bin:/bin HOME="$work/home" PYTHONPATH="$dir" \
    PYTHONDONTWRITEBYTECODE=1 "$python" -c '
import kelvora
assert kelvora.__file__.startswith("'"$dir"'"), kelvora.__file__
with kelvora.Robot(simulate=True) as robot:
    robot.home()
    print("installed", kelvora.__version__, robot.model, robot.positions)
' 2>&1) || fail "the installed module under $prefix: $out"
  grep -q "^installed .* Rob3 (0, 0, 0, 0)$" <<<"$out" || fail "$out"
}

DESTDIR="$work/deb" cmake --install "$build" --prefix /usr --strip >/dev/null
check "$work/deb/usr" "$work/deb/usr/lib/python3/dist-packages"
version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
cmake --install "$build" --prefix "$work/local" --strip >/dev/null
check "$work/local" "$work/local/lib/python$version/dist-packages"
echo "ok: installed module"
