#!/usr/bin/env bash
# Installed like a Linux program: one check per call.
#   packaging_test.sh desktop SOURCE_DIR
#   packaging_test.sh cli     SOURCE_DIR BUILD_DIR
#   packaging_test.sh install SOURCE_DIR BUILD_DIR
#   packaging_test.sh package SOURCE_DIR BUILD_DIR
#   packaging_test.sh cmake-package SOURCE_DIR BUILD_DIR
# Exit 77 (skipped) when a tool the check needs is missing; CI installs them all.
set -euo pipefail
check=$1 src=$2 build=${3:-}
version=$(sed -n 's/^project(Kelvora VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null || { echo "skipped: $1 missing"; exit 77; }; }

# What an install puts under the prefix (libdir and mandir relative to it).
expected_files() {
  local lib=$1
  printf '%s\n' bin/kelvora bin/kelvora-sim bin/kelvora-play bin/kelvora-ports \
    "$lib/libzqBrel20.so" "$lib/libzqBrel20.so.2" include/zqBrel20.h "$lib/pkgconfig/zqbrel20.pc" \
    "$lib/cmake/zqBrel20/zqBrel20Config.cmake" "$lib/cmake/zqBrel20/zqBrel20ConfigVersion.cmake" \
    share/kelvora/demo.RB3 share/kelvora/help/inhalt.html share/kelvora/help/kelvora.css \
    share/applications/kelvora.desktop \
    share/icons/hicolor/scalable/apps/kelvora.svg \
    share/icons/hicolor/48x48/apps/kelvora.png share/icons/hicolor/256x256/apps/kelvora.png \
    share/man/man1/kelvora.1.gz share/man/man1/kelvora-sim.1.gz share/man/man1/kelvora-play.1.gz \
    share/man/man1/kelvora-ports.1.gz share/doc/kelvora/examples/60-kelvora-box.rules
}
libdir() { sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt"; }

# The installed programs find the library through the install run path, not the build one.
check_runpath() {
  local root=$1 lib=$2
  for p in kelvora kelvora-sim kelvora-play kelvora-ports; do
    local rp
    rp=$(readelf -d "$root/bin/$p" | sed -n 's/.*R[UN]*PATH.*\[\(.*\)\]/\1/p')
    [ -z "$rp" ] || [ "$rp" = "\$ORIGIN/../$lib" ] || fail "$p has run path '$rp'"
  done
  readelf -d "$root/bin/kelvora" | grep -q "\$ORIGIN/../$lib" || fail "kelvora has no install run path"
}

# Nothing of the build tree leaks in: no debug information (which names the folders the
# objects were compiled in, whichever tree that was) and no build or source paths at all.
check_no_build_paths() {
  local root=$1 hits f
  for f in "$root"/*/bin/* "$root"/*/lib*/*.so* "$root"/bin/* "$root"/lib*/*.so*; do
    [ -f "$f" ] || continue
    ! readelf -S "$f" | grep -q '\.debug_' || fail "debug information in $f"
  done
  hits=$(grep -rlaF -e "$(realpath "$build")" -e "$(realpath "$src")" "$root" || true)
  [ -z "$hits" ] || fail "build paths in: $hits"
}

case $check in
  desktop)
    need desktop-file-validate
    desktop-file-validate "$src/packaging/kelvora.desktop" || fail "desktop entry invalid"
    for line in 'Name=Kelvora' 'GenericName=' 'GenericName\[de\]=' 'Comment=' 'Comment\[de\]=' \
      'Categories=Education;Engineering;$' 'Exec=kelvora( %f)?$' 'Icon=kelvora$'; do
      grep -Eq "^$line" "$src/packaging/kelvora.desktop" || fail "desktop entry lacks $line"
    done
    ;;

  cli)
    # --help and --version exit 0, need no display, and say what the man pages say: every
    # long option of --help is in the page and every one the page lists is in --help.
    for p in kelvora kelvora-sim kelvora-play kelvora-ports; do
      [ -x "$build/bin/$p" ] || continue
      out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$build/bin/$p" --version) ||
        fail "$p --version exits $?"
      [ "$out" = "$p $version" ] || fail "$p --version says '$out'"
      help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$build/bin/$p" --help) ||
        fail "$p --help exits $?"
      page="$src/packaging/man/$p.1.scd"
      from_help=$(grep -o -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u)
      from_page=$(sed -n '/^# OPTIONS/,/^# [A-Z]/p;/^# SYNOPSIS/,/^# [A-Z]/p' "$page" |
        grep -o -- '--[a-z][a-z0-9-]*' | sort -u)
      [ "$from_help" = "$from_page" ] ||
        fail "$p: --help and man page differ: $(diff <(echo "$from_help") <(echo "$from_page") | grep '^[<>]' | tr '\n' ' ')"
      # An unknown option is a usage error, exit 2, with a display or without one.
      for display in "QT_QPA_PLATFORM=offscreen" "-u QT_QPA_PLATFORM"; do
        set +e
        env -u DISPLAY -u WAYLAND_DISPLAY $display "$build/bin/$p" --no-such-option \
          </dev/null >/dev/null 2>&1
        rc=$?
        set -e
        [ "$rc" = 2 ] || fail "$p --no-such-option ($display) exits $rc"
      done
    done
    # So are two scripts for the program, also when Qt's own options come along.
    for args in "A.RB3 B.RB3" "-platform xcb -style fusion A.RB3 B.RB3"; do
      set +e
      env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$build/bin/kelvora" $args \
        </dev/null >/dev/null 2>"$work/err"
      rc=$?
      set -e
      [ "$rc" = 2 ] && grep -q 'one script file at most' "$work/err" ||
        fail "kelvora $args without a display exits $rc: $(cat "$work/err")"
    done
    ;;

  install)
    lib=$(libdir)
    cmake --install "$build" --prefix "$work/usr" --strip >/dev/null
    while read -r f; do
      [ -e "$work/usr/$f" ] || fail "not installed: $f"
    done < <(expected_files "$lib")
    extra=$(ls "$work/usr/bin" | grep -vxE 'kelvora|kelvora-sim|kelvora-play|kelvora-ports' || true)
    [ -z "$extra" ] || fail "unexpected programs installed: $extra"
    [ ! -e "$work/usr/share/kelvora/scripts" ] || fail "scripts/ installed"
    check_runpath "$work/usr" "$lib"
    check_no_build_paths "$work/usr"
    # Another program finds the driver through pkg-config, under this prefix.
    if command -v pkg-config >/dev/null; then
      flags=$(PKG_CONFIG_PATH="$work/usr/$lib/pkgconfig" pkg-config --cflags --libs zqbrel20)
      [[ $flags == *"-lzqBrel20"* && $flags == *"/include"* ]] || fail "pkg-config: $flags"
      inc=$(PKG_CONFIG_PATH="$work/usr/$lib/pkgconfig" pkg-config --variable=includedir zqbrel20)
      [ -f "$inc/zqBrel20.h" ] || fail "pkg-config includedir $inc"
    fi
    # The installed player plays the installed demo script on the installed simulator. As
    # root, the way a user runs it: one who may not write the program's folder, with the
    # model and port in that user's settings file and the port mapped in that user's ports
    # file to a kelvora-sim that knows nothing of the player. Otherwise under kelvora-sim.
    if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null && getent passwd nobody >/dev/null; then
      chmod 755 "$work"
      user=$work/user
      mkdir -p "$user/.config/kelvora"
      printf '[Common]\r\nRobModel=Rob3\r\n[Port]\r\nPortName=COM2\r\n' \
        >"$user/.config/kelvora/Kelvora.INI"
      chown -R nobody "$user"
      as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups
        env -u ZQBREL_COM2 HOME="$user" XDG_CONFIG_HOME="$user/.config")
      "${as_user[@]}" "$work/usr/bin/kelvora-sim" --no-keys --no-status -p 3,3,3,3 \
        >"$work/sim.out" 2>&1 </dev/null &
      pids+=($!)
      for _ in $(seq 1 100); do grep -q '^ZQBREL_COM1=' "$work/sim.out" && break; sleep 0.1; done
      device=$(sed -n 's/^ZQBREL_COM1=//p' "$work/sim.out")
      [ -n "$device" ] || fail "kelvora-sim printed no device: $(cat "$work/sim.out")"
      printf '# the box\nCOM2=%s\n' "$device" >"$user/.config/kelvora/ports"
      set +e
      out=$(cd "$user" && "${as_user[@]}" timeout 100 "$work/usr/bin/kelvora-play" \
        "$work/usr/share/kelvora/demo.RB3" 2>&1)
      rc=$?
      set -e
      [ "$rc" = 0 ] || fail "as a user, kelvora-play exits $rc: $out"
      grep -q '^Rob3 : .*, COM2, Script demo.RB3' <<<"$out" && grep -q '^Ende$' <<<"$out" ||
        fail "as a user, not played on COM2: $out"
      # The same user under sudo: root could write the program's folder, yet the settings
      # are still that user's, and nothing lands beside the installed programs.
      set +e
      out=$(cd "$user" && env -u ZQBREL_COM2 HOME="$user" XDG_CONFIG_HOME="$user/.config" \
        timeout 100 "$work/usr/bin/kelvora-play" "$work/usr/share/kelvora/demo.RB3" 2>&1)
      rc=$?
      set -e
      [ "$rc" = 0 ] || fail "as root, kelvora-play exits $rc: $out"
      grep -q '^Rob3 : .*, COM2, Script demo.RB3' <<<"$out" ||
        fail "as root, not the user's settings: $out"
      extra=$(ls "$work/usr/bin" | grep -vxE 'kelvora|kelvora-sim|kelvora-play|kelvora-ports' || true)
      [ -z "$extra" ] || fail "as root, written beside the programs: $extra"
    else
      # The installed player under the installed simulator plays the installed demo script.
      # Settings and ports file from an empty home: the defaults (COM1), mapped by the simulator.
      mkdir -p "$work/home"
      set +e
      out=$(cd "$work" && HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
        timeout 100 "$work/usr/bin/kelvora-sim" --no-keys --no-status -p 3,3,3,3 \
        -- "$work/usr/bin/kelvora-play" "$work/usr/share/kelvora/demo.RB3" --model Rob3 2>&1)
      rc=$?
      set -e
      [ "$rc" = 0 ] || fail "installed kelvora-play under kelvora-sim exits $rc: $out"
      grep -q '^Zeile 3: ' <<<"$out" && grep -q '^Ende$' <<<"$out" || fail "demo not played: $out"
    fi
    ;;

  package)
    need cpack
    need dpkg-deb
    need dpkg-shlibdeps
    lib=$(libdir)
    (cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
      { cat "$work/cpack.log" >&2; fail "cpack"; }
    deb=$(ls "$work"/out/kelvora_"$version"_*.deb) || fail "no package kelvora_${version}_*.deb"
    [ "$(dpkg-deb -f "$deb" Package)" = kelvora ] || fail "package name"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
    depends=$(dpkg-deb -f "$deb" Depends)
    [[ $depends == *libc6* && $depends == *libstdc++6* ]] || fail "Depends: '$depends'"
    [[ $depends == *libqt6widgets6* ]] || fail "Depends lacks Qt: '$depends'"
    description=$(dpkg-deb -f "$deb" Description)
    [ "$(wc -l <<<"$description")" -ge 2 ] || fail "no long description: $description"
    dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/list"
    while read -r f; do
      [ -n "$f" ] || continue
      grep -qx "usr/$f" "$work/list" || fail "not in the package: usr/$f"
    done < <(expected_files "$lib")
    ! grep -E '_test$|/bench_|/fuzz_|zqbrel_unload_helper|/scripts/' "$work/list" ||
      fail "test or build files in the package"
    dpkg-deb -x "$deb" "$work/root"
    check_runpath "$work/root/usr" "$lib"
    check_no_build_paths "$work/root"
    ;;

  cmake-package)
    # The library's components alone, as a split package would ship them: lib holds what a
    # program loads, dev what one is built against.
    need cmake
    need readelf
    lib=$(libdir)
    components() {
      cmake --install "$build" --prefix "$work/$1" --component "$1" >/dev/null
      (cd "$work/$1" && find . ! -type d | sed 's|^\./||' | sort | tr '\n' ' ')
    }
    [ "$(components lib)" = "$lib/libzqBrel20.so.2 $lib/libzqBrel20.so.2.1.0 " ] ||
      fail "component lib: $(components lib)"
    want="include/zqBrel20.h $lib/cmake/zqBrel20/zqBrel20Config.cmake"
    want+=" $lib/cmake/zqBrel20/zqBrel20ConfigVersion.cmake"
    want+=" $lib/cmake/zqBrel20/zqBrel20Targets-$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" | tr 'A-Z' 'a-z').cmake"
    want+=" $lib/cmake/zqBrel20/zqBrel20Targets.cmake $lib/libzqBrel20.so $lib/pkgconfig/zqbrel20.pc "
    [ "$(components dev)" = "$want" ] || fail "component dev: $(components dev)"
    soname=$(readelf -d "$work/lib/$lib/libzqBrel20.so.2.1.0" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
    [ "$soname" = libzqBrel20.so.2 ] || fail "SONAME '$soname'"
    # Both in one prefix, which then moves: the package finds itself where it now lies.
    cp -a "$work/lib/." "$work/dev/."
    mv "$work/dev" "$work/moved"
    mkdir "$work/consumer"
    cat >"$work/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(consumer C)
find_package(zqBrel20 2.1 CONFIG REQUIRED)
add_executable(app main.c)
target_link_libraries(app PRIVATE zqBrel20::zqBrel20)
CMAKE
    cat >"$work/consumer/main.c" <<'C'
#include <stdio.h>
#include <zqBrel20.h>
int main(void) {
  TBrelRecord record = {0};
  printf("%d %d\n", (int)zqGetVersion(), (int)(zqSetMotor(&record, 1, 1) == (int32_t)ZQ_ERROR));
  return 0;
}
C
    cmake -S "$work/consumer" -B "$work/consumer/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/moved" \
      >"$work/consumer.log" 2>&1 && cmake --build "$work/consumer/build" >>"$work/consumer.log" 2>&1 ||
      { cat "$work/consumer.log" >&2; fail "a program built with find_package(zqBrel20)"; }
    out=$("$work/consumer/build/app") || fail "the consumer does not run"
    [ "$out" = "201 1" ] || fail "the consumer says '$out'"
    readelf -d "$work/consumer/build/app" | grep -q 'NEEDED.*\[libzqBrel20\.so\.2\]' ||
      fail "the consumer does not load libzqBrel20.so.2"
    # A program that asks for the next major version is told that this one does not serve.
    sed -i 's/zqBrel20 2.1 CONFIG/zqBrel20 3 CONFIG/' "$work/consumer/CMakeLists.txt"
    ! cmake -S "$work/consumer" -B "$work/consumer/build3" -G Ninja -DCMAKE_PREFIX_PATH="$work/moved" \
      >/dev/null 2>&1 || fail "version 3 accepted"
    ;;

  *)
    echo "unknown check $check" >&2
    exit 2
    ;;
esac
echo "ok: $check"
