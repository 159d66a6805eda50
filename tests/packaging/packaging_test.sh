#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installed like a Linux program: one check per call.
#   packaging_test.sh desktop SOURCE_DIR BUILD_DIR   desktop entry, metainfo, MIME type, licence
#   packaging_test.sh cli     SOURCE_DIR BUILD_DIR
#   packaging_test.sh install SOURCE_DIR BUILD_DIR
#   packaging_test.sh package SOURCE_DIR BUILD_DIR   the Debian packages, built by
#                                                    scripts/package in BUILD_DIR/deb
#   packaging_test.sh cmake-package SOURCE_DIR BUILD_DIR
# Exit 77 (skipped) when a tool the check needs is missing; CI installs them all.
# A cross build's tests name the emulator that runs the built programs in
# KELVORA_TEST_EMULATOR and the Debian architecture they are built for in KELVORA_DEB_ARCH.
set -euo pipefail
check=$1 src=$2 build=${3:-}
version=$(sed -n 's/^project(Kelvora VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
work=$(mktemp -d)
pids=()
# shellcheck disable=SC2206 # the emulator's command words
emu=(${KELVORA_TEST_EMULATOR:-})
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
    share/kelvora/demo.RB3 share/doc/kelvora/help/inhalt.html share/doc/kelvora/help/kelvora.css \
    share/applications/org.kelvora.Kelvora.desktop share/metainfo/org.kelvora.Kelvora.metainfo.xml \
    share/mime/packages/kelvora.xml \
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
  for f in "$root"/*/bin/* "$root"/*/lib*/*.so* "$root"/*/lib/*/*.so* "$root"/bin/* \
    "$root"/lib*/*.so*; do
    [ -f "$f" ] || continue
    ! readelf -S "$f" | grep -q '\.debug_' || fail "debug information in $f"
  done
  hits=$(grep -rlaF -e "$(realpath "$build")" -e "$(realpath "$src")" "$root" || true)
  [ -z "$hits" ] || fail "build paths in: $hits"
}

case $check in
  desktop)
    need desktop-file-validate
    need appstreamcli
    need update-mime-database
    entry=$src/packaging/org.kelvora.Kelvora.desktop
    desktop-file-validate "$entry" || fail "desktop entry invalid"
    for line in 'Name=Kelvora' 'GenericName=' 'GenericName\[de\]=' 'Comment=' 'Comment\[de\]=' \
      'Categories=Education;Engineering;$' 'Exec=kelvora( %f)?$' 'Icon=kelvora$' \
      'MimeType=text/x-kelvora-script;$'; do
      grep -Eq "^$line" "$entry" || fail "desktop entry lacks $line"
    done
    # The metainfo as this build made it (its releases from CHANGELOG.md), for the entry's id.
    # The one pedantic hint allowed: reverse-DNS ids name the program capitalised, as the
    # desktop's own applications do (org.gnome.Nautilus), and the desktop file matches it.
    metainfo=$build/packaging/org.kelvora.Kelvora.metainfo.xml
    out=$(appstreamcli validate --pedantic --no-net --no-color "$metainfo" 2>&1) ||
      fail "metainfo invalid: $out"
    findings=$(grep -E '^[EWIP]: ' <<<"$out" | grep -v '^P: org.kelvora.Kelvora:[0-9]*: cid-contains-uppercase-letter' || true)
    [ -z "$findings" ] || fail "metainfo: $findings"
    grep -q '<launchable type="desktop-id">org.kelvora.Kelvora.desktop</launchable>' "$metainfo" ||
      fail "metainfo launches no org.kelvora.Kelvora.desktop"
    newest=$(sed -n 's/^## \([0-9.]*\) - .*/\1/p' "$src/CHANGELOG.md" | head -1)
    [ "$newest" = "$version" ] || fail "CHANGELOG.md's newest release $newest, project $version"
    grep -q "<release version=\"$version\" date=" "$metainfo" || fail "metainfo lacks release $version"
    # The MIME type: the database built from it names the script files' type, with both comments.
    mkdir -p "$work/mime/packages"
    cp "$src/packaging/kelvora-mime.xml" "$work/mime/packages/kelvora.xml"
    XDG_DATA_DIRS=$work update-mime-database "$work/mime" 2>"$work/mime.err" || fail "MIME type: $(cat "$work/mime.err")"
    [ ! -s "$work/mime.err" ] || fail "MIME type: $(cat "$work/mime.err")"
    for n in 1 2 3 4 5 6 7 8 9; do
      grep -qx "50:text/x-kelvora-script:\*\.rb$n" "$work/mime/globs2" ||
        grep -qx "50:text/x-kelvora-script:\*\.RB$n" "$work/mime/globs2" || fail "no glob *.RB$n"
    done
    grep -qx 'text/x-kelvora-script text/plain' "$work/mime/subclasses" || fail "not a text type"
    grep -q '<comment xml:lang="de">' "$work/mime/text/x-kelvora-script.xml" || fail "no German comment"
    # The licence: LICENSE, the about box's help page and the packages' copyright file.
    licence=$(tr -s ' \n' ' ' <"$src/LICENSE")
    page=$(sed -n '/<pre class="lizenz">/,/<\/pre>/p' "$src/help/about.html" |
      sed 's/<pre class="lizenz">//; s/<\/pre>//' | tr -s ' \n' ' ')
    [ "$page" = "$licence" ] || fail "help/about.html does not carry LICENSE"
    copyright=$build/packaging/debian/copyright
    head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
      fail "copyright file not machine-readable"
    terms=$(sed -n '/^Permission/,$p' "$src/LICENSE" | tr -s ' \n' ' ')
    # the stand-alone licence paragraph, its text indented, blank lines as " ."
    text=$(awk 'p; prev == "" && /^License: Expat$/ {p = 1} {prev = $0}' "$copyright" |
      sed 's/^ \.$//; s/^ //' | tr -s ' \n' ' ')
    [ "$text" = "$terms" ] || fail "copyright file does not carry the licence's terms"
    ;;

  cli)
    # --help and --version exit 0, need no display, and say what the man pages say: every
    # long option of --help is in the page and every one the page lists is in --help.
    for p in kelvora kelvora-sim kelvora-play kelvora-ports; do
      [ -x "$build/bin/$p" ] || continue
      out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "${emu[@]}" "$build/bin/$p" --version) ||
        fail "$p --version exits $?"
      [ "$out" = "$p $version" ] || fail "$p --version says '$out'"
      help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "${emu[@]}" "$build/bin/$p" --help) ||
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
        env -u DISPLAY -u WAYLAND_DISPLAY $display "${emu[@]}" "$build/bin/$p" --no-such-option \
          </dev/null >/dev/null 2>&1
        rc=$?
        set -e
        [ "$rc" = 2 ] || fail "$p --no-such-option ($display) exits $rc"
      done
    done
    # So are two scripts for the program, also when Qt's own options come along.
    for args in "A.RB3 B.RB3" "-platform xcb -style fusion A.RB3 B.RB3"; do
      set +e
      env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "${emu[@]}" "$build/bin/kelvora" $args \
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
      "${as_user[@]}" "${emu[@]}" "$work/usr/bin/kelvora-sim" --no-keys --no-status -p 3,3,3,3 \
        >"$work/sim.out" 2>&1 </dev/null &
      pids+=($!)
      for _ in $(seq 1 100); do grep -q '^ZQBREL_COM1=' "$work/sim.out" && break; sleep 0.1; done
      device=$(sed -n 's/^ZQBREL_COM1=//p' "$work/sim.out")
      [ -n "$device" ] || fail "kelvora-sim printed no device: $(cat "$work/sim.out")"
      printf '# the box\nCOM2=%s\n' "$device" >"$user/.config/kelvora/ports"
      set +e
      out=$(cd "$user" && "${as_user[@]}" timeout 100 "${emu[@]}" "$work/usr/bin/kelvora-play" \
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
        timeout 100 "${emu[@]}" "$work/usr/bin/kelvora-play" "$work/usr/share/kelvora/demo.RB3" 2>&1)
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
        timeout 100 "${emu[@]}" "$work/usr/bin/kelvora-sim" --no-keys --no-status -p 3,3,3,3 \
        -- "${emu[@]}" "$work/usr/bin/kelvora-play" "$work/usr/share/kelvora/demo.RB3" --model Rob3 2>&1)
      rc=$?
      set -e
      [ "$rc" = 0 ] || fail "installed kelvora-play under kelvora-sim exits $rc: $out"
      grep -q '^Zeile 3: ' <<<"$out" && grep -q '^Ende$' <<<"$out" || fail "demo not played: $out"
    fi
    ;;

  package)
    need dpkg-deb
    need dpkg-shlibdeps
    need lintian
    # The packages as scripts/package builds them, in a build folder of their own (kept
    # between runs, so that only what changed is built again).
    arch=${KELVORA_DEB_ARCH:-$(dpkg-architecture -qDEB_HOST_ARCH)}
    ma=$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
    "$src/scripts/package" --arch "$arch" --build-dir "$build/deb/build" --out "$work/out" \
      >"$work/package.log" 2>&1 || { tail -40 "$work/package.log" >&2; fail "scripts/package"; }
    lib=usr/lib/$ma
    deb() { echo "$work/out/${1}_$version-1_$arch.deb"; }
    packages=(kelvora libzqbrel20-2 libzqbrel20-dev)
    # The Python module serves this machine's own interpreter: a cross build has none of
    # its target's, so no python3-kelvora.
    python_built=
    if [ "$arch" = "$(dpkg --print-architecture)" ]; then
      python_built=yes
      packages+=(python3-kelvora)
    fi
    for p in "${packages[@]}"; do
      [ -f "$(deb $p)" ] || fail "no package $(basename "$(deb $p)"): $(ls "$work/out")"
    done
    [ "$(ls "$work/out" | wc -l)" = ${#packages[@]} ] ||
      fail "packages other than ${packages[*]}: $(ls "$work/out")"

    # What each holds: the library alone, the development files, the rest.
    files() { dpkg-deb -c "$(deb "$1")" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort; }
    docs() { printf '%s\n' "usr/share/doc/$1/changelog.Debian.gz" "usr/share/doc/$1/changelog.gz" \
      "usr/share/doc/$1/copyright" "usr/share/lintian/overrides/$1"; }
    [ "$(files libzqbrel20-2)" = "$( (printf '%s\n' "$lib/libzqBrel20.so.2" "$lib/libzqBrel20.so.2.1.0"
      docs libzqbrel20-2) | sort)" ] || fail "libzqbrel20-2 holds: $(files libzqbrel20-2)"
    [ "$(files libzqbrel20-dev)" = "$( (printf '%s\n' usr/include/zqBrel20.h "$lib/libzqBrel20.so" \
      "$lib/pkgconfig/zqbrel20.pc" "$lib/cmake/zqBrel20/zqBrel20Config.cmake" \
      "$lib/cmake/zqBrel20/zqBrel20ConfigVersion.cmake" "$lib/cmake/zqBrel20/zqBrel20Targets.cmake" \
      "$lib/cmake/zqBrel20/zqBrel20Targets-relwithdebinfo.cmake"
      docs libzqbrel20-dev) | sort)" ] || fail "libzqbrel20-dev holds: $(files libzqbrel20-dev)"
    # The Python module where the system's python3 finds it, its examples in its doc folder.
    python=/usr/bin/python3  # the interpreter the packages are built for
    py=usr/lib/python3/dist-packages/kelvora
    ext=$("$python" -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')
    [ -z "$python_built" ] || [ "$(files python3-kelvora)" = "$( (printf '%s\n' "$py/_kelvora$ext"
      for f in "$src"/python/kelvora/*; do echo "$py/$(basename "$f")"; done
      for f in "$src"/examples/python/*.py; do
        echo "usr/share/doc/python3-kelvora/examples/$(basename "$f")"
      done
      docs python3-kelvora) | sort)" ] || fail "python3-kelvora holds: $(files python3-kelvora)"
    files kelvora >"$work/list"
    while read -r f; do
      case $f in *zqBrel20* | *zqbrel20*) continue ;; esac
      grep -qx "usr/$f" "$work/list" || fail "not in kelvora: usr/$f"
    done < <(expected_files "lib/$ma")
    docs kelvora | while read -r f; do grep -qx "$f" "$work/list" || fail "not in kelvora: $f"; done
    ! grep -E 'zqBrel20|zqbrel20|_test$|/bench_|/fuzz_|/scripts/|python' "$work/list" ||
      fail "library, Python module, test or build files in kelvora"

    # Control data: versions, the program's dependency on the library from dpkg-shlibdeps,
    # the library's symbols, shlibs and ldconfig trigger, and no maintainer scripts at all.
    for p in "${packages[@]}"; do
      [ "$(dpkg-deb -f "$(deb $p)" Version)" = "$version-1" ] || fail "$p version"
      [ "$(dpkg-deb -f "$(deb $p)" Architecture)" = "$arch" ] || fail "$p architecture"
      [ "$(dpkg-deb -f "$(deb $p)" Maintainer)" = "Kelvora developers <kelvora-dev@kelvora.org>" ] ||
        fail "$p maintainer"
      mkdir -p "$work/control/$p"
      dpkg-deb -e "$(deb $p)" "$work/control/$p"
      for script in preinst postinst prerm postrm; do
        [ ! -e "$work/control/$p/$script" ] || fail "$p has a $script script"
      done
    done
    depends=$(dpkg-deb -f "$(deb kelvora)" Depends)
    [[ $depends == *"libzqbrel20-2 (>= $version)"* ]] || fail "kelvora Depends: '$depends'"
    # The module: the library by shlibdeps, and the one interpreter version it was built for.
    if [ -n "$python_built" ]; then
      pyver=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
      pynext=$("$python" -c 'import sys; print("%d.%d" % (sys.version_info[0], sys.version_info[1] + 1))')
      depends=$(dpkg-deb -f "$(deb python3-kelvora)" Depends)
      [[ $depends == *"libzqbrel20-2 (>= $version)"* && $depends == *"python3 (>= $pyver~)"* &&
        $depends == *"python3 (<< $pynext)"* ]] || fail "python3-kelvora Depends: '$depends'"
      [ "$(dpkg-deb -f "$(deb python3-kelvora)" Recommends)" = "kelvora (= $version-1)" ] ||
        fail "python3-kelvora Recommends: $(dpkg-deb -f "$(deb python3-kelvora)" Recommends)"
      [ "$(dpkg-deb -f "$(deb python3-kelvora)" Section)" = python ] || fail "python3-kelvora Section"
    fi
    [ "$(dpkg-deb -f "$(deb libzqbrel20-dev)" Depends)" = "libzqbrel20-2 (= $version-1)" ] ||
      fail "libzqbrel20-dev Depends: $(dpkg-deb -f "$(deb libzqbrel20-dev)" Depends)"
    [ "$(cat "$work/control/libzqbrel20-2/triggers")" = "activate-noawait ldconfig" ] ||
      fail "libzqbrel20-2 triggers"
    grep -qx "libzqBrel20 2 libzqbrel20-2 (>= $version)" "$work/control/libzqbrel20-2/shlibs" ||
      fail "libzqbrel20-2 shlibs"
    grep -qx ' zqOpenInterface@ZQBREL20 5.1.0' "$work/control/libzqbrel20-2/symbols" ||
      fail "libzqbrel20-2 symbols"

    # Installed into a scratch root: ldconfig finds the library by its SONAME there, the
    # programs load it from the system's libdir (no run path), hardened, stripped, and
    # no build path in any file.
    for p in "${packages[@]}"; do dpkg-deb -x "$(deb $p)" "$work/root"; done
    if [ "$arch" = "$(dpkg --print-architecture)" ]; then
      mkdir -p "$work/root/etc"
      echo "/$lib" >"$work/root/etc/ld.so.conf"
      ldconfig -r "$work/root"
      cache=$(ldconfig -r "$work/root" -p)
      grep -q "libzqBrel20.so.2 .*=> /$lib/libzqBrel20.so.2$" <<<"$cache" ||
        fail "ldconfig does not find libzqBrel20.so.2: $cache"
    else
      # This machine's ldconfig reads no other processor's libraries: what it would find is
      # the SONAME's link, to the library that carries that SONAME.
      target=$(readlink -f "$work/root/$lib/libzqBrel20.so.2")
      [ "$target" = "$(realpath "$work/root/$lib/libzqBrel20.so.2.1.0")" ] &&
        readelf -d "$target" | grep -q 'SONAME.*\[libzqBrel20\.so\.2\]' ||
        fail "libzqBrel20.so.2 does not name the library"
    fi
    # Every program and library is built for the package's architecture.
    case $arch in
      amd64) machine='x86-64' ;;
      arm64) machine='ARM aarch64' ;;
      armhf) machine='ARM, EABI5 version 1 (SYSV)' ;;
      *) machine='' ;;
    esac
    while IFS= read -r -d '' f; do
      description=$(file -b "$f")
      [[ $description != ELF* ]] || [[ $description == *"$machine"* ]] ||
        fail "$f is not for $arch: $description"
    done < <(find "$work/root" -type f -print0)
    for f in "$work"/root/usr/bin/* "$work/root/$lib/libzqBrel20.so.2.1.0" \
      ${python_built:+"$work/root/$py/_kelvora$ext"}; do
      dynamic=$(readelf -d "$f") segments=$(readelf -lW "$f") sections=$(readelf -SW "$f")
      symbols=$(readelf -sW --dyn-syms "$f")
      ! grep -q 'R[UN]*PATH' <<<"$dynamic" || fail "$f has a run path"
      grep -q 'FLAGS.*BIND_NOW' <<<"$dynamic" || fail "$f is not linked with BIND_NOW"
      grep -q GNU_RELRO <<<"$segments" || fail "$f has no RELRO"
      grep -q '__stack_chk_fail' <<<"$symbols" || fail "$f has no stack protector"
      ! grep -q ' \.comment ' <<<"$sections" || fail "$f keeps its .comment section"
    done
    grep -q '_chk@' <<<"$(readelf -sW --dyn-syms "$work/root/usr/bin/kelvora-play")" ||
      fail "kelvora-play is not built with FORTIFY_SOURCE"
    out=$(LD_LIBRARY_PATH="$work/root/$lib" "${emu[@]}" "$work/root/usr/bin/kelvora-play" --version) ||
      fail "the packaged kelvora-play does not start"
    [ "$out" = "kelvora-play $version" ] || fail "kelvora-play --version says '$out'"
    # The packaged module homes the packaged virtual robot, for a user with nothing set up.
    if [ -n "$python_built" ]; then
      mkdir -p "$work/home"
      out=$(cd "$work" && env -i PATH=/usr/bin:/bin HOME="$work/home" LD_LIBRARY_PATH="$work/root/$lib" \
        PYTHONPATH="$work/root/usr/lib/python3/dist-packages" PYTHONDONTWRITEBYTECODE=1 "$python" -c '
import kelvora
with kelvora.Robot(simulate=True) as robot:
    robot.home()
    print(kelvora.__file__, kelvora.__version__, robot.positions)
' 2>&1) || fail "the packaged module: $out"
      [ "$out" = "$work/root/$py/__init__.py $version (0, 0, 0, 0)" ] || fail "the packaged module: $out"
    fi
    check_no_build_paths "$work/root"

    # Every dependency is a library a binary of the package loads (no GL that nothing
    # calls): the packages dpkg says hold the libraries named NEEDED, and no more.
    for p in kelvora libzqbrel20-2 ${python_built:+python3-kelvora}; do
      needed=$(dpkg-deb -c "$(deb $p)" | awk '$1 ~ /^-..x/ || $6 ~ /\.so(\.|$)/ {print $6}' |
        while read -r f; do
          [ -f "$work/root/$f" ] && file -b "$work/root/$f" | grep -q '^ELF' || continue
          readelf -d "$work/root/$f" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'
        done | sort -u)
      owners=$( { for so in $needed; do
          [ "$so" != libzqBrel20.so.2 ] || { echo libzqbrel20-2; continue; }
          # the architecture's own folders first (ldconfig knows no other processor's)
          path=
          for dir in "/usr/lib/$ma" "/lib/$ma"; do
            [ -e "$dir/$so" ] && { path=$dir/$so; break; }
          done
          [ -n "$path" ] || path=$(ldconfig -p | awk -v so="$so" '$1 == so && /x86-64|'"$arch"'/ {print $NF; exit}')
          [ -n "$path" ] || path=$(ldconfig -p | awk -v so="$so" '$1 == so {print $NF; exit}')
          { dpkg -S "$path" 2>/dev/null || dpkg -S "$(realpath "$path")" 2>/dev/null ||
            dpkg -S "${path#/usr}" 2>/dev/null; } | head -1 | cut -d: -f1
        done
        # and the interpreter a compiled extension is loaded into
        [ "$p" != python3-kelvora ] || echo python3; } | sort -u)
      deps=$(dpkg-deb -f "$(deb $p)" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | sort -u)
      [ "$deps" = "$owners" ] ||
        fail "$p depends on $(echo $deps), its binaries load libraries of $(echo $owners)"
    done

    # lintian, pedantic: no error, no warning; informational and pedantic tags, and the
    # overrides the packages ship, only these (tag, then why it stays):
    allowed=(
      # The German captions the program keeps as its users know them ("Programm", and the
      # misspelt "Postion Anfahren" and "Positon Arm horizontal"); as the source texts the
      # translations are looked up by, the about box's "Autor" is in the binary too.
      'I: kelvora: spelling-error-in-binary Programm Program'
      'I: kelvora: spelling-error-in-binary Programms Programs'
      'I: kelvora: spelling-error-in-binary Positon Position'
      'I: kelvora: spelling-error-in-binary Postion Position'
      'I: kelvora: spelling-error-in-binary Autor Author'
      # The packages are built to be installed directly, not uploaded to Debian: no ITP bug
      # to close (packaging/debian/lintian-overrides).
      'O: kelvora: initial-upload-closes-no-bugs'
      'O: libzqbrel20-2: initial-upload-closes-no-bugs'
      'O: libzqbrel20-dev: initial-upload-closes-no-bugs'
      'O: python3-kelvora: initial-upload-closes-no-bugs'
    )
    debs=()
    for p in "${packages[@]}"; do debs+=("$(deb "$p")"); done
    lintian --pedantic --display-info --display-experimental --show-overrides \
      --tag-display-limit 0 "${debs[@]}" \
      >"$work/lintian" 2>&1 || true
    findings=$(grep -E '^[EWIPXO]: ' "$work/lintian" | sed 's/ \[.*\]$//' | sort -u |
      while read -r finding; do
        known=no
        for a in "${allowed[@]}"; do [ "$finding" = "$a" ] && known=yes; done
        [ $known = yes ] || echo "$finding"
      done)
    [ -z "$findings" ] || fail "lintian: $findings"
    ! grep -qE '^(E|W): ' "$work/lintian" || fail "lintian errors or warnings"
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
    # built for the same processor as the library, with the build's own toolchain file
    consumer=(-G Ninja -DCMAKE_PREFIX_PATH="$work/moved")
    toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
    [ -z "$toolchain" ] || consumer+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
    cmake -S "$work/consumer" -B "$work/consumer/build" "${consumer[@]}" \
      >"$work/consumer.log" 2>&1 && cmake --build "$work/consumer/build" >>"$work/consumer.log" 2>&1 ||
      { cat "$work/consumer.log" >&2; fail "a program built with find_package(zqBrel20)"; }
    out=$("${emu[@]}" "$work/consumer/build/app") || fail "the consumer does not run"
    [ "$out" = "201 1" ] || fail "the consumer says '$out'"
    readelf -d "$work/consumer/build/app" | grep -q 'NEEDED.*\[libzqBrel20\.so\.2\]' ||
      fail "the consumer does not load libzqBrel20.so.2"
    # A program that asks for the next major version is told that this one does not serve.
    sed -i 's/zqBrel20 2.1 CONFIG/zqBrel20 3 CONFIG/' "$work/consumer/CMakeLists.txt"
    ! cmake -S "$work/consumer" -B "$work/consumer/build3" "${consumer[@]}" \
      >/dev/null 2>&1 || fail "version 3 accepted"
    ;;

  *)
    echo "unknown check $check" >&2
    exit 2
    ;;
esac
echo "ok: $check"
