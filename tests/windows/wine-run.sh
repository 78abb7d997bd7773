#!/usr/bin/env bash
# Runs the Windows build's programs under Wine, as CTest tests.
#
#   wine-run.sh prefix                        create the Wine prefix (once)
#   wine-run.sh exe PROGRAM [ARGS...]         run a Windows program
#   wine-run.sh compare HOST.exe NATIVE_HOST CORPUS BIN_DIR
#   wine-run.sh no-packhold HOST.exe CHATSIEVE.dll WORK_DIR
#   wine-run.sh log HOST.exe CORPUS WORK_DIR
#
# Environment: WINE (the loader: Debian's 32-bit /usr/lib/wine/wine for the
# i686 build, wine64 for the x86-64 one), WINEARCH (win32 or win64 to match),
# WINESERVER, WINEPREFIX (under the build folder). Every program runs in the
# ANSI code page 936, which Wine takes from LC_ALL=zh_CN.GBK.
#
# A test exits 77 (CTest's skip) only when the prefix step found that Wine
# cannot start at all on this machine; it says why. Everything else that goes
# wrong is a failure.
set -uo pipefail

readonly kSkip=77
readonly unusable="${WINEPREFIX:?WINEPREFIX is not set}.unusable"
: "${WINEARCH:?WINEARCH is not set}"
export WINEARCH

export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and installing them would need
# the network.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

skip_if_unusable() {
  if [ -f "$unusable" ]; then
    echo "SKIPPED: Wine cannot start on this machine: $(cat "$unusable")" >&2
    exit $kSkip
  fi
}

# Only the Windows side gets the Chinese locale: the build machine need not
# have it, and Wine takes the code page from the name alone.
wine_run() {
  LC_ALL=zh_CN.GBK "$WINE" "$@"
}

cmd_prefix() {
  rm -f "$unusable"
  if [ -z "${WINE:-}" ] || [ ! -x "$WINE" ]; then
    echo "no Wine loader for $WINEARCH is installed (scripts/install-deps installs it where the machine can run it)" >"$unusable"
    skip_if_unusable
  fi
  local log="$WINEPREFIX.log"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix $WINEPREFIX"
    "$WINE" wineboot --init >"$log" 2>&1
    "${WINESERVER:-wineserver}" -w 2>/dev/null
  fi
  local answer
  answer=$(wine_run cmd.exe /c echo ready 2>>"$log" | tr -d '\r')
  if [ "$answer" != "ready" ]; then
    { echo "$WINE could not run cmd.exe in $WINEPREFIX; its output:"; tail -n 20 "$log"; } >"$unusable"
    skip_if_unusable
  fi
  echo "Wine prefix ready: $WINEPREFIX"
}

cmd_exe() {
  skip_if_unusable
  wine_run "$@"
}

# The Windows build and the native build screen the same corpus with the same
# rule package; their outputs must not differ in a single byte.
cmd_compare() {
  skip_if_unusable
  local host=$1 native=$2 corpus=$3 bin=$4
  cd "$bin" || fail "no folder $bin"
  rm -f screened-windows.txt screened-native.txt
  wine_run "$host" "$corpus" screened-windows.txt || fail "the Windows host failed under Wine"
  "$native" "$corpus" screened-native.txt || fail "the native host failed"
  cmp screened-windows.txt screened-native.txt || {
    diff <(od -c screened-native.txt) <(od -c screened-windows.txt) | head -n 40 >&2
    fail "Windows and native screening differ ($bin/screened-windows.txt, $bin/screened-native.txt)"
  }
  echo "$(wc -l <screened-windows.txt) lines screened identically"
}

# Without Packhold.dll beside it, the filter cannot be made, and the reason
# goes to the debugger output, which Wine shows on its debugstr channel.
cmd_no_packhold() {
  skip_if_unusable
  local host=$1 dll=$2 work=$3
  rm -rf "$work" && mkdir -p "$work" || fail "cannot make $work"
  cp "$host" "$dll" "$work"/ || fail "cannot copy the host and the filter"
  cd "$work" || exit 1
  local status=0
  WINEDEBUG=warn+debugstr wine_run ./"$(basename "$host")" --create-only >stdout.txt 2>stderr.txt || status=$?
  cat stdout.txt
  [ $status -eq 2 ] || { cat stderr.txt >&2; fail "expected CreateChatsieve to return 0 (exit 2), host exited $status"; }
  local messages
  messages=$(grep -o 'OutputDebugStringA .*' stderr.txt | tr -d '\r')
  printf '%s\n' "$messages"
  local expected
  expected=$(printf '%s\n' 'OutputDebugStringA "Can not load Packhold.dll"' 'OutputDebugStringA "\r\n"')
  [ "$messages" = "$expected" ] || fail "debugger output was not exactly the two expected messages"
}

# A package whose ignore-set table switches the log on: every line the filter
# is given must land in PlayerWords.txt, in order, each ending in CR LF. The
# host gives the filter each corpus line three times (level, two maskings).
cmd_log() {
  skip_if_unusable
  local host=$1 corpus=$2 work=$3
  cd "$work" || fail "no folder $work"
  [ -f Data/Scp/Chatsieve.res ] || fail "no package in $work/Data/Scp"
  rm -f PlayerWords.txt screened.txt expected.txt
  wine_run "$host" "$corpus" screened.txt || fail "the Windows host failed under Wine"
  [ -f PlayerWords.txt ] || fail "no PlayerWords.txt was written"
  LC_ALL=C awk '{ for (i = 0; i < 3; ++i) printf "%s\r\n", $0 }' "$corpus" >expected.txt
  cmp PlayerWords.txt expected.txt || fail "PlayerWords.txt is not the corpus with CR LF line ends"
  echo "PlayerWords.txt: $(wc -l <PlayerWords.txt) lines, each ending in CR LF"
}

command=${1:-}
shift || true
case $command in
prefix) cmd_prefix ;;
exe) cmd_exe "$@" ;;
compare) cmd_compare "$@" ;;
no-packhold) cmd_no_packhold "$@" ;;
log) cmd_log "$@" ;;
*) fail "unknown command '$command'" ;;
esac
