#!/usr/bin/env bash
# The source of liblzma for the Windows builder, in build/deps/xz: Debian's
# source package xz-utils of the version liblzma-dev installs, so that both
# builders write the same LZMA streams.
exec bash "$(dirname "$0")/fetch_debian_source.sh" liblzma-dev xz-utils build/deps/xz src/liblzma/lzma/lzma_encoder.c
