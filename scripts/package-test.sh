#!/usr/bin/env bash
# The package as a user gets it: built by scripts/package.sh, its contents against
# packaging/expected-contents.txt, unpacked into a temporary root and run from there, checked by
# lintian (errors fail), and the example model plug-in built against the unpacked SDK and loaded
# by the unpacked tarvex-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
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

deb=$(scripts/package.sh | tail -n 1)
version=$(dpkg-deb -f "$deb" Version)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Paths only (links with their targets), the version replaced so that a release changes nothing.
contents() {
  dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' |
    sed -e 's|^\./|/|' -e "s|$version|@VERSION@|g" | LC_ALL=C sort
}
same_contents() {
  contents >"$work/contents.txt"
  diff -u <(grep -v "^#" packaging/expected-contents.txt) "$work/contents.txt"
}
check "contents match packaging/expected-contents.txt" same_contents

metainfo_valid() {
  if ! command -v appstreamcli >/dev/null 2>&1; then return 0; fi
  appstreamcli validate --no-net packaging/tarvex.metainfo.xml >/dev/null
}
check "AppStream metadata validates" metainfo_valid

lintian_clean() {
  lintian --fail-on error "$deb"
}
check "lintian reports no errors" lintian_clean

dpkg -x "$deb" "$work/root"
cli="$work/root/usr/bin/tarvex-cli"
simulated_download() {
  "$cli" download --simulate --no-tty >"$work/simulate.log" 2>&1 || {
    cat "$work/simulate.log"
    return 1
  }
}
check "unpacked tarvex-cli download --simulate exits 0" simulated_download

# The doctor runs from the unpacked tree: 0 with usable phone ports, 1 without any (this
# machine has none); anything else is a fault.
doctor_runs() {
  local status=0
  "$cli" doctor >"$work/doctor.log" 2>&1 || status=$?
  grep -q '^Verdict: ' "$work/doctor.log" && ((status <= 1)) || {
    cat "$work/doctor.log"
    return 1
  }
}
check "unpacked tarvex-cli doctor gives its verdict" doctor_runs

build_example() {
  cmake -S examples/model-plugin -B "$work/example" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$work/root/usr" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null &&
    cmake --build "$work/example" >/dev/null
}
check "example plug-in builds against the unpacked SDK" build_example

# The example talks to no phone, so its run must fail (1) with its own words, after the host
# typed its files and called its download on the simulated phone's port.
example_runs() {
  local status=0
  "$cli" download --simulate --no-tty --plugin "$work/example/example-model.so" \
    >"$work/example.log" 2>&1 || status=$?
  # The file list shows the example's type text, and its order puts boot first.
  if [[ $status -ne 1 ]] || ! grep -Eq '1\. boot +[0-9]+ KByte .*/boot\.img' "$work/example.log" ||
    ! grep -q 'EX100: port [0-9]* open' "$work/example.log" ||
    ! grep -q 'EX100: this example plug-in speaks no phone protocol' "$work/example.log"; then
    echo "exit status $status"
    cat "$work/example.log"
    return 1
  fi
}
check "unpacked tarvex-cli loads, types and calls the example plug-in" example_runs

echo "package: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
