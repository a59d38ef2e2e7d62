#include "tools/mksfx/pack/zip_format.h"

bool WriteBytes(OutputFile& out, const void* data, size_t count) {
    if (out.failed) return false;
    if (count && fwrite(data, 1, count, out.file) != count) {
        out.failed = true;
        return false;
    }
    out.position += count;
    if (out.position > out.end) out.end = out.position;
    return true;
}

bool SeekOutput(OutputFile& out, uint64_t position) {
    if (out.failed) return false;
    // The program file stays below 2 GiB, so a long offset suffices everywhere.
    if (position >= PROGRAM_LIMIT || fseek(out.file, long(position), SEEK_SET) != 0) {
        out.failed = true;
        return false;
    }
    out.position = position;
    return true;
}
