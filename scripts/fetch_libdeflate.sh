#!/usr/bin/env bash
# The source of libdeflate for the Windows builder, in build/deps/libdeflate:
# Debian's source package of the version libdeflate-dev installs.
exec bash "$(dirname "$0")/fetch_debian_source.sh" libdeflate-dev libdeflate build/deps/libdeflate lib/deflate_compress.c
