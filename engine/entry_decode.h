// The decoding of one entry's data: a decoder between the input layer and
// the output, which the engine checks, writes and reports.
#pragma once
#include "support/sfx_types.h"

const uint16_t METHOD_STORED = 0;
const uint16_t METHOD_DEFLATED = 8;
// WinZip's AES: the data's own method stands in the extra field 0x9901.
const uint16_t METHOD_AES = 99;

// Runs the entry's decoder over its data (the input reader started, the
// output file open, CRC and byte count at their start) until the data
// end; the outcome is in Archive.status. Every piece of output is counted
// against the entry's declared size (an entry never yields more than it
// declares: a lying archive cannot fill the disk), goes through the CRC,
// is written whole (a short write is a failed one) and reported to the
// progress callback, whose "stop" ends the entry at once.
void DecodeEntryData(uint16_t method);
