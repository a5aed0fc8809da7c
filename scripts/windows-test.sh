#!/usr/bin/env bash
# The Windows programs under Wine: cross-builds them (scripts/package-windows.sh), unpacks the zip
# and, in a throw-away Wine prefix with no display, runs
#   - the Windows test program, its serial cases against an echoing pseudo-terminal seen as COM11;
#   - tarvex-cli.exe download into a simulated TQ4410 seen as COM12 (one file named in Hangul),
#     checked byte for byte by the phone itself, and an upload from a simulated memory seen as
#     COM14, checked against the native tarvex-cli's upload of the same range;
#   - what the Windows build leaves out, said as it should be (records, --simulate);
#   - the link's round trips, native and under Wine, printed side by side (no target: Wine is not
#     Windows).
# Needs the default build's phonesim, tarvex-cli, tarvex-linkcheck and tarvex-pty-echo.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
native=$root/build/default/bin
passed=0
failed=0

check() {  # check NAME COMMAND...: runs the command, counts and reports the result
  local name=$1
  shift
  if "$@"; then
    echo "ok   $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    failed=$((failed + 1))
  fi
}

zip=$(scripts/package-windows.sh | tail -n 1)
cmake --build --preset windows --target corvane_win32_tests tarvex-linkcheck
winbin=$root/build/windows/bin

work=$(mktemp -d /tmp/tarvex-wine.XXXXXX)
pids=()
cleanup() {
  # Wine's processes first: a port whose far end goes while Wine holds it fills the log.
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# No display and no network: Mono and Gecko would otherwise be offered on the first start.
export WINEPREFIX=$work/prefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
# Wine hands the programs their arguments and names in the locale's encoding.
export LC_ALL=C.UTF-8
started=$(date +%s)
wineboot -i >/dev/null 2>&1
# A new prefix says Windows 7; the tests tell the system's version from the one GetVersionEx
# gives a program without a manifest, which needs a system that has one to tell.
wine winecfg -v win10 >/dev/null 2>&1
echo "Wine prefix ready in $(($(date +%s) - started)) s ($(wine --version))"

cmake -E chdir "$work" cmake -E tar xf "$zip"
cli=$(echo "$work"/tarvex-windows-*/tarvex-cli.exe)

# A COM port numbered 10 or more, as Windows names USB serial ports, led to a pseudo-terminal.
map_com() {  # map_com N PATH
  ln -sfn "$2" "$WINEPREFIX/dosdevices/com$1"
}

# start_far_end LOG PROGRAM...: starts it in the background and waits for its pseudo-terminal.
far_end_path=""
start_far_end() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    far_end_path=$(grep -o '/dev/pts/[0-9]*' "$log" | head -n 1 || true)
    [[ -n $far_end_path ]] && return 0
    sleep 0.1
  done
  cat "$log"
  return 1
}

echo "=== Windows tests under Wine ==="
start_far_end "$work/echo.log" "$native/tarvex-pty-echo"
map_com 11 "$far_end_path"
# On a terminal of its own (script), so that Wine gives the program a console for Ctrl-C.
win_tests() {
  local status=0 report
  report=$(winepath -w "$work/win-tests.xml")
  TARVEX_WINE_COM=COM11 script -qec "wine '$winbin/corvane_win32_tests.exe' --gtest_brief=1 \
    '--gtest_output=xml:$report'" /dev/null >"$work/win-tests.log" 2>&1 || status=$?
  # The console draws its text through escape sequences; the report's counts are plain.
  if [[ -f $work/win-tests.xml ]]; then
    echo "$(grep -o -m 1 'tests="[0-9]*" failures="[0-9]*"' "$work/win-tests.xml")" \
      "skipped=\"$(grep -c 'result="skipped"' "$work/win-tests.xml")\""
  fi
  ((status == 0)) || sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\r//g' "$work/win-tests.log"
  return "$status"
}
check "corvane_win32_tests.exe passes under Wine" win_tests

echo "=== download and upload under Wine ==="
start_far_end "$work/phone.log" "$native/phonesim" --tq4410 --sample "$work/set"
phone_pid=${pids[-1]}
map_com 12 "$far_end_path"
# The bench's copy of the set, where one image has a Hangul name that the partition table names;
# the phone checks what it stores against the set as it wrote it.
set_dir=$work/files
cp -r "$work/set" "$set_dir"
hangul="복구 이미지.img"
mv "$set_dir/recovery.img" "$set_dir/$hangul"
sed -i "s/^filename=recovery.img\$/filename=$hangul/" "$set_dir/partition.cfg"

wine_download() {
  (cd "$set_dir" && wine "$cli" download --port 12 --no-tty -- *) >"$work/download.log" 2>&1 ||
    {
      cat "$work/download.log"
      return 1
    }
  grep -q "The phone succeeded." "$work/download.log"
}
check "tarvex-cli.exe download --port 12 (a file named in Hangul among the images)" wine_download

phone_check() {
  kill -TERM "$phone_pid"
  local status=0
  wait "$phone_pid" || status=$?
  grep -q "Verification passed" "$work/phone.log" && ((status == 0)) || {
    tail -n 12 "$work/phone.log"
    return 1
  }
}
check "the simulated phone holds every image byte for byte" phone_check

# 2 MiB read back under Wine and natively from a memory whose bytes are a pattern of their
# addresses; the native upload is the one the Linux tests check against the pattern.
start_far_end "$work/memory.log" "$native/phonesim" --memory
map_com 14 "$far_end_path"
wine_upload() {
  (cd "$work" && wine "$cli" upload --port 14 --no-tty --out wine-read.bin --sectors 4096 \
    --address 0x100000) >"$work/upload.log" 2>&1 || {
    cat "$work/upload.log"
    return 1
  }
  "$native/tarvex-cli" upload --port "$far_end_path" --no-tty --out "$work/native-read.bin" \
    --sectors 4096 --address 0x100000 >"$work/native-upload.log" 2>&1 || {
    cat "$work/native-upload.log"
    return 1
  }
  cmp "$work/wine-read.bin" "$work/native-read.bin"
}
check "tarvex-cli.exe upload --port 14 reads what the native upload reads, byte for byte" wine_upload

echo "=== what the Windows build leaves out ==="
says_and_exits() {  # says_and_exits STATUS TEXT ARGS...: tarvex-cli.exe ARGS exits STATUS saying TEXT
  local want=$1 text=$2 status=0
  shift 2
  wine "$cli" "$@" >"$work/out.log" 2>&1 || status=$?
  ((status == want)) && grep -qF "$text" "$work/out.log" || {
    echo "exit status $status:"
    cat "$work/out.log"
    return 1
  }
}
check "records: \"records are not part of this build\", exit 3" \
  says_and_exits 3 "records are not part of this build" records
check "--simulate is refused with its reason" says_and_exits 3 "pseudo-terminals" download --simulate

echo "=== the link under Wine and natively ==="
start_far_end "$work/loader.log" "$native/phonesim"
map_com 13 "$far_end_path"
"$native/tarvex-linkcheck" --port "$far_end_path" --exchange --count 50 >"$work/native-link.log"
wine "$winbin/tarvex-linkcheck.exe" --port 13 --exchange --count 50 >"$work/wine-link.log" 2>&1 || true
figure() {  # figure LOG PATTERN: the number after PATTERN
  sed -n "s/.*$2 \([0-9.]*\) ms.*/\1/p" "$1" | head -n 1
}
printf '%-26s %10s %10s\n' "" native Wine
printf '%-26s %7s ms %7s ms\n' "command round trip" "$(figure "$work/native-link.log" "round trip")" \
  "$(figure "$work/wine-link.log" "round trip")"
printf '%-26s %7s ms %7s ms\n' "512 KiB block round trip" \
  "$(figure "$work/native-link.log" "acknowledged in")" "$(figure "$work/wine-link.log" "acknowledged in")"
link_ok() {
  grep -q "512 KiB block acknowledged" "$work/wine-link.log" && return 0
  cat "$work/wine-link.log"
  return 1
}
check "tarvex-linkcheck.exe exchanges commands and a 512 KiB block under Wine" link_ok

echo "Windows stage: $passed passed, $failed failed"
((failed == 0))
