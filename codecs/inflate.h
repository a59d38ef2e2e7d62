// DEFLATE (RFC 1951) decoding of the current entry from NextByte into the
// 32768-byte output window; every flush goes through CRC, file and progress.
#pragma once
#include "archive/archive_state.h"

const uint32_t WINDOW_SIZE = 32768;

void DecodeDeflatedEntry();     // outcome in Archive.status
int DecodeDeflateStream();      // 0 or the failing block's result
void FlushWindow(uint32_t count);
void ReleaseFixedTables();
