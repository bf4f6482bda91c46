#!/usr/bin/env bash
# Installs what a Debian 12 machine lacks, as root; otherwise lists it and fails.
# Idempotent: installs nothing when everything is there.
#
#   tools/setup.sh [tests] [sanitizers] [bench] [browser]
#
# Without a word: what building and running the programs needs (the quick
# start). Each word adds what one script needs besides:
#   tests       GoogleTest, for the test suite (tools/test.sh)
#   sanitizers  the tests' libraries, and clang with its sanitizer and libFuzzer
#               runtimes (tools/check-sanitized.sh)
#   bench       Google Benchmark, GNU time and valgrind (bench/run.sh,
#               bench/instructions.sh)
#   browser     the tests' libraries, Debian's Chromium, Node.js and npm (unless
#               the machine has a node and an npm of its own), and the browser
#               test's npm packages as tests/browser/package-lock.json pins them
#               (tools/test-browser.sh, bench/page.sh); npm installs them into
#               tests/browser/node_modules from the registry of the user's npm
#               configuration, and never downloads a browser
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ qtbase5-dev)
browser=false
for set in "$@"; do
  case $set in
    tests) packages+=(libgtest-dev libgmock-dev) ;;
    sanitizers) packages+=(libgtest-dev libgmock-dev clang libclang-rt-14-dev) ;;
    bench) packages+=(libbenchmark-dev time valgrind) ;;
    browser)
      packages+=(libgtest-dev libgmock-dev chromium)
      command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
      browser=true ;;
    *) echo "setup.sh: unknown set '$set' (tests, sanitizers, bench or browser)" >&2; exit 2 ;;
  esac
done

# The browser test's packages, once the machine has npm: installed afresh when
# what is there is not what the lock file names.
install_browser_packages() {
  if $browser && ! npm ls --prefix tests/browser --depth=0 >/dev/null 2>&1; then
    echo "Installing the browser test's npm packages into tests/browser/node_modules"
    npm ci --prefix tests/browser --no-audit --no-fund >/dev/null
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  install_browser_packages
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
install_browser_packages
