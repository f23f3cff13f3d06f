# The Wine rig: a private virtual X server, a private Wine prefix copied from a
# template, a persistent wineserver and a keeper process. Sourced by
# scripts/test and scripts/run.
#
#   rig_use_wine DIR               runs the next rig on the Wine in DIR (bin/wine,
#                                  bin/wineserver) instead of Debian's wine64; for
#                                  the rest of the calling shell, so call it in a
#                                  subshell of its own (scripts/test's in_rig)
#   rig_find_wow64 ROOT            finds a Wine that runs 32-bit programs
#   rig_up RIG_DIR WIN_BUILD_DIR [--use-display]
#                                  brings it up and exports the environment;
#                                  --use-display runs on the DISPLAY already
#                                  set instead of a private virtual X server
#   rig_down                       stops what rig_up started, by pid
#   rig_register_board NAME DLL    registers a driver under NAME in the prefix
#   rig_restart_wine               ends the prefix's Windows processes, starts afresh
#
# RIG_LOCALE (default ru_RU.UTF-8: code page 1251) is the Unix locale of the
# next rig_up: its prefix is made under it, as a Windows is installed in one
# language (its fonts and font substitutes are chosen then), from a template
# of that locale's own, and every program of the rig runs under it.
# en_US.UTF-8 is a Western installation (code page 1252).
#
# RIG_WINE is the rig's loader; rig_up exports it as QORVEL_WINE, for
# cmake/wine-run and the e2e driver. The keeper is the WIN_BUILD_DIR's
# tests/rig/rig_keeper.exe; rig_up fails without it.

RIG_WINE=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
RIG_TEMPLATE=wine-template
RIG_LOCALE=${RIG_LOCALE:-ru_RU.UTF-8}

rig__log() { echo "rig: $*" >&2; }

rig_use_wine() {
  local home=$1
  RIG_WINE=$home/bin/wine
  export WINESERVER=$home/bin/wineserver
  # Its own template: a prefix made by one Wine version is upgraded, slowly,
  # by the next one that opens it.
  RIG_TEMPLATE=wine-template-$(basename "$home")
  # The WoW64 Wine's client aborts ("free(): invalid pointer") when TMPDIR is set.
  unset TMPDIR
}

# Sets RIG_WOW64_HOME to a Wine that runs 32-bit programs inside 64-bit
# processes: QORVEL_WOW64_WINE if set, else the archive in ROOT/../shared/wine-wow64
# unpacked under ROOT/build/wine-wow64 (once; again only when the archive
# changes). Returns 1 when there is neither, 2 when QORVEL_WOW64_WINE names no
# Wine or the archive does not unpack; the reason is in RIG_WOW64_WHY.
rig_find_wow64() {
  local root=$1 archive stamp target
  RIG_WOW64_HOME= RIG_WOW64_WHY=
  if [ -n "${QORVEL_WOW64_WINE:-}" ]; then
    if [ -x "$QORVEL_WOW64_WINE/bin/wine" ] && [ -x "$QORVEL_WOW64_WINE/bin/wineserver" ]; then
      RIG_WOW64_HOME=$QORVEL_WOW64_WINE
      return 0
    fi
    RIG_WOW64_WHY="QORVEL_WOW64_WINE=$QORVEL_WOW64_WINE has no bin/wine and bin/wineserver"
    return 2
  fi
  archive=$(ls "$(cd "$root/.." && pwd)"/shared/wine-wow64/wine-*.tar.xz 2>/dev/null | sort | tail -n1)
  if [ -z "$archive" ]; then
    RIG_WOW64_WHY="no WoW64 Wine (neither QORVEL_WOW64_WINE nor $(cd "$root/.." && pwd)/shared/wine-wow64/wine-*.tar.xz)"
    return 1
  fi
  target=$root/build/wine-wow64
  stamp="$(basename "$archive") $(stat -c '%s %Y' "$archive")"
  if [ "$(cat "$target/.unpacked" 2>/dev/null)" != "$stamp" ]; then
    rig__log "unpacking $archive into $target"
    rm -rf "$target" "$target.partial"
    mkdir -p "$target.partial"
    if ! tar -C "$target.partial" -xJf "$archive"; then
      rm -rf "$target.partial"
      RIG_WOW64_WHY="unpacking $archive failed"
      return 2
    fi
    # Moved into place only whole, so an interrupted unpack is never reused.
    echo "$stamp" >"$target.partial/.unpacked"
    mv "$target.partial" "$target"
  fi
  RIG_WOW64_HOME=$target
}

# The template prefix is made once for each Wine and locale (wineboot takes
# about 10 s) and copied for every run. Copied, never hard-linked: the server
# rewrites its registry files in place.
rig__template() {
  local template=$1 version
  version="$("$RIG_WINE" --version 2>/dev/null) $RIG_LOCALE"
  [ -f "$template/.complete" ] && [ "$(cat "$template/.complete")" = "$version" ] && return 0
  rm -rf "$template"
  rig__log "making the Wine template prefix (once for $version)"
  # Made under the rig's locale: a prefix keeps the fonts of the language it
  # was made in.
  env -u LC_ALL LANG="$RIG_LOCALE" WINEPREFIX="$template" WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$RIG_WINE" wineboot -i >"$template.log" 2>&1
  # Without a window manager, Managed=N lets Wine draw captions itself and
  # hide windows at once instead of waiting for a manager that is not there.
  env -u LC_ALL LANG="$RIG_LOCALE" WINEPREFIX="$template" WINEDEBUG=-all \
    "$RIG_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >>"$template.log" 2>&1
  WINEPREFIX=$template "$WINESERVER" -w
  # This Wine finds the packaged TrueType fonts only inside the prefix.
  mkdir -p "$template/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/*.ttf "$template/drive_c/windows/Fonts/" 2>/dev/null || true
  echo "$version" >"$template/.complete"
}

rig_up() {
  local rig_dir=$1 win_build=$2 display_mode=${3:-}
  mkdir -p "$rig_dir"
  rig_dir=$(cd "$rig_dir" && pwd)
  RIG_DIR=$rig_dir
  RIG_TEMPLATE_DIR=$(dirname "$rig_dir")/$RIG_TEMPLATE-$RIG_LOCALE
  rig__template "$RIG_TEMPLATE_DIR"

  if [ "$display_mode" = --use-display ] && [ -n "${DISPLAY:-}" ]; then
    rig__up_wine "$rig_dir" "$win_build"
    return
  fi

  # A virtual X server on a free display; it writes the display number to
  # fd 3 once it is ready.
  rm -f "$rig_dir/display"
  # -noreset: without it the server resets whenever its last client goes,
  # and drops what was set on it (an X resource database merged before the
  # first Wine process connected, say).
  Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 1280x1024x24 3>"$rig_dir/display" >"$rig_dir/xvfb.log" 2>&1 &
  RIG_XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$rig_dir/display" ] && break
    sleep 0.1
  done
  if [ ! -s "$rig_dir/display" ]; then
    rig__log "Xvfb did not start (see $rig_dir/xvfb.log)"
    return 1
  fi
  export DISPLAY=":$(head -n1 "$rig_dir/display")"
  rig__up_wine "$rig_dir" "$win_build"
}

# The prefix, the environment, the server and the keeper, on $DISPLAY.
rig__up_wine() {
  local rig_dir=$1 win_build=$2
  rm -rf "$rig_dir/prefix"
  cp -a "$RIG_TEMPLATE_DIR" "$rig_dir/prefix"
  export WINEPREFIX=$rig_dir/prefix
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export QORVEL_WINE=$RIG_WINE
  # The code page comes from the locale of each wine64 call (ru_RU.UTF-8:
  # 1251); LC_ALL would override it.
  unset LC_ALL
  export LANG=$RIG_LOCALE

  RIG_WIN_BUILD=$win_build
  if [ ! -f "$win_build/tests/rig/rig_keeper.exe" ]; then
    rig__log "no keeper: $win_build/tests/rig/rig_keeper.exe is not built"
    return 1
  fi
  rig__start_wine
  rig__log "up: DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX"
}

rig__start_wine() {
  "$WINESERVER" -p >>"$RIG_DIR/wineserver.log" 2>&1
  "$RIG_WINE" "$RIG_WIN_BUILD/tests/rig/rig_keeper.exe" >"$RIG_DIR/keeper.log" 2>&1 &
  RIG_KEEPER_PID=$!
}

# Ends every Windows process of the prefix and starts the server afresh, so
# nothing one test layer left behind (a window, a stuck process) meets the next.
rig_restart_wine() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
  if [ -n "${RIG_KEEPER_PID:-}" ]; then wait "$RIG_KEEPER_PID" 2>/dev/null || true; fi
  RIG_KEEPER_PID=
  rig__start_wine
}

# In both registry views: 32-bit programs read the 32-bit one. What Wine
# said goes to RIG_DIR/register.log, named when a step fails.
rig_register_board() {
  local name=$1 dll=$2 path view log=$RIG_DIR/register.log
  : >"$log"
  path=$("$RIG_WINE" winepath -w "$dll" 2>>"$log" | tr -d '\r')
  if [ -z "$path" ]; then
    rig__log "winepath gave no Windows path for $dll (see $log)"
    return 1
  fi
  for view in 64 32; do
    if ! "$RIG_WINE" reg add "HKLM\\SOFTWARE\\Brackwell\\Drivers\\1.0\\$name" /v path /t REG_SZ \
         /d "$path" /f /reg:$view >>"$log" 2>&1; then
      rig__log "registering $name in the $view-bit registry view failed (see $log)"
      return 1
    fi
  done
}

rig_down() {
  if [ -n "${WINEPREFIX:-}" ] && [ -n "${RIG_DIR:-}" ]; then
    # Ends every Windows process of this private prefix (the keeper too).
    "$WINESERVER" -k >/dev/null 2>&1 || true
  fi
  if [ -n "${RIG_KEEPER_PID:-}" ]; then
    kill "$RIG_KEEPER_PID" 2>/dev/null || true
    wait "$RIG_KEEPER_PID" 2>/dev/null || true
  fi
  if [ -n "${RIG_XVFB_PID:-}" ]; then
    kill "$RIG_XVFB_PID" 2>/dev/null || true
    wait "$RIG_XVFB_PID" 2>/dev/null || true
  fi
  RIG_XVFB_PID=
  RIG_KEEPER_PID=
}
