#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing need. Idempotent: installs only what
# is missing, and asks apt for nothing when everything is there.
#   scripts/install-deps.sh         everything: the programs, the tests, benchmarks, fuzzing,
#                                   sanitizers, the package checks and a PostgreSQL server
#   scripts/install-deps.sh --run   only what building and running the programs needs (setup.sh)
#   scripts/install-deps.sh --windows  the Windows cross tool chain and Wine (the tests' Windows
#                                   stage); never part of what a new user's first command fetches
set -euo pipefail

# What tarvex-cli, tarvex, the plug-in and the simulated phones are built from.
RUN_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev libpq-dev libssl-dev libsystemd-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-multimedia-dev libgl-dev
  fonts-dejavu-core fonts-nanum
)
# What only the tests, the benchmarks, the checks and the package need.
TEST_PACKAGES=(
  git
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  nlohmann-json3-dev
  postgresql
  xvfb xauth
  dpkg-dev librsvg2-bin lintian appstream
)

# The Windows programs are cross-built with mingw-w64 and tried under Wine.
WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix googletest
  wine wine64
)

case ${1:-} in
  --run) PACKAGES=("${RUN_PACKAGES[@]}") ;;
  --windows) PACKAGES=("${WINDOWS_PACKAGES[@]}") ;;
  *) PACKAGES=("${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}") ;;
esac

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run this as root (or install them with apt-get) and try again." >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
