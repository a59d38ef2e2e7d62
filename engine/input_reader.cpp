// Refills of the entry reader and its two decryption paths.
//
// The password check reads the first chunk while the encryption flag is
// clear, so that chunk enters the buffer as stored; the check decrypts the
// 12 header bytes itself. The rest of that chunk is then decrypted byte by
// byte as it is handed out, and every later chunk whole as it is read. Both
// ways each byte passes the key stream exactly once and in file order.
#include "engine/input_reader.h"
#include "codecs/cipher.h"
#include "support/file_layer.h"

void ResetInputReader(uint32_t compressedSize) {
    InputReader& in = Archive.input;
    in.count = 0;
    in.position = INPUT_BUFFER_SIZE + 1;
    in.remaining = compressedSize;
    in.bytewiseDecrypt = 0;
    in.failed = 0;
}

bool FillInput() {
    InputReader& in = Archive.input;
    uint32_t want = in.remaining < (uint32_t)INPUT_BUFFER_SIZE ? in.remaining : (uint32_t)INPUT_BUFFER_SIZE;
    int32_t got = FileRead(in.buffer, want, Archive.archiveHandle);
    if (got < 0 || (uint32_t)got != want) {
        // A cut-off archive: the entry still needs bytes the file does not
        // have. Handing out stale buffer bytes would let a decoder run on
        // without end, so the reader stops for good.
        in.failed = 1;
        in.count = 0;
        in.position = 1;
        in.remaining = 0;
        Archive.status = SFX_ERR_IO;
        return false;
    }
    in.count = (int16_t)got;
    in.position = 1;
    in.remaining -= want;
    return true;
}

int RefillInput() {
    InputReader& in = Archive.input;
    if (in.count < in.position) {
        // The buffer is used up (a failed read leaves it empty for good).
        if (in.failed || in.remaining == 0)
            return -1;
        if (!FillInput())
            return -1;
        if (in.encrypted) {
            DecryptInPlace(in.buffer, (uint32_t)in.count);
            in.bytewiseDecrypt = 0;
        }
    }
    uint8_t* byte = &in.buffer[in.position++ - 1];
    // A byte read before the key was known is decrypted as it is handed out.
    if (in.bytewiseDecrypt && in.encrypted)
        DecryptInPlace(byte, 1);
    return *byte;
}
