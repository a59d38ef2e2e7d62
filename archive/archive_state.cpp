// The one process-wide ArchiveState.
//
// It is zero-initialised on purpose: a record of this size with one non-zero
// field would be stored whole in the stub's data section. A zero archive
// handle therefore also means "not open" (see CloseArchive): Win32 never hands
// out handle 0 for a file, and the host file layer never returns descriptors
// 0 to 2. After the first OpenArchive or CloseArchive the field holds
// FILE_NONE whenever no archive is open.
#include "archive/archive_state.h"

ArchiveState Archive;

// Read-only all the same: in the stub a data section of its own would cost
// a whole file-alignment unit for these four bytes.
#ifdef _WIN32
__attribute__((section(".rdata")))
#endif
const volatile uint32_t EndSignatureComplement = ~SIG_END_RECORD;
