#!/usr/bin/env bash
# One smoke run of the real 32-bit stub (build/win32/sfxstub.exe) under
# 32-bit Wine through qemu. Exit 0 passed, 1 failed, 77 skipped (with reason).
set -u
cd "$(dirname "$0")/../.."
exec timeout -k 10 840 python3 tests/e2e/smoke32.py "$@"
