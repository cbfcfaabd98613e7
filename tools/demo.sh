#!/usr/bin/env bash
# Runs inside the test guest: loads the built module and shows what it says.
set -euo pipefail
build=${1:-build}
wine "$build/bin/module_info.exe"
