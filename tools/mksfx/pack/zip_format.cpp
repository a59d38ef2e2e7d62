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
#ifdef _WIN32
    bool moved = _fseeki64(out.file, int64_t(position), SEEK_SET) == 0;
#else
    bool moved = fseeko(out.file, off_t(position), SEEK_SET) == 0;
#endif
    if (!moved) {
        out.failed = true;
        return false;
    }
    out.position = position;
    return true;
}
