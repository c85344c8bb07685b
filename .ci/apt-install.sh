#!/usr/bin/env bash
# Installs the named Debian packages (none named: nothing to do), as root or through sudo,
# waiting for another apt run's lock instead of failing.
set -euo pipefail
[ $# -gt 0 ] || exit 0
export DEBIAN_FRONTEND=noninteractive
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
$sudo_cmd apt-get update -q
$sudo_cmd apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "$@"
