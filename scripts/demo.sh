#!/usr/bin/env bash
# `make demo`: runs after the Makefile has built everything. Packs
# demo/sample/ into a self-extractor, runs it under Wine in a private Xvfb
# display into a fresh temporary folder, prints the extracted tree and the
# path of a screenshot of the main dialog.
set -u
cd "$(dirname "$0")/.."
exec timeout -k 10 900 python3 tests/e2e/demo.py "$@"
