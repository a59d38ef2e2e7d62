// unsfx -l: the catalogue of a self-extracting program, one line per entry,
// with each name as the extraction would write it.
#include <stdio.h>
#include <string>
#include "console.h"
#include "archive/archive_open.h"
#include "archive/catalog.h"
#include "engine/extract_run.h"
#include "support/host_text.h"

int ListArchive() {
    Archive.status = SFX_OK;
    OpenArchive(Options.programFile.c_str());
    if (Archive.status != SFX_OK) {
        fprintf(stderr, "Fehler (%u) in %s.\n", unsigned(Archive.status), Options.programFileShown.c_str());
        CloseArchive();
        return 1;
    }
    SfxStatus status = Archive.catalog.status;
    if (status == SFX_OK) {
        while (const CatalogEntry* entry = NextCatalogEntry(&Archive.catalog)) {
            const CentralHeader& h = entry->header;
            static char target[SFX_PATH_BYTES];
            // The target folder is empty after opening: the name alone.
            SfxStatus mapped = MapEntryPath(entry->name, target);
            std::string shown = ShowText(target);
            if (entry->folder)
                shown += '/';
            printf("%10llu %04u-%02u-%02u %02u:%02u:%02u %08x %s", (unsigned long long)entry->uncompressedSize,
                   unsigned(((h.dosDate >> 9) & 0x7F) + 1980), unsigned((h.dosDate >> 5) & 0x0F),
                   unsigned(h.dosDate & 0x1F), unsigned((h.dosTime >> 11) & 0x1F),
                   unsigned((h.dosTime >> 5) & 0x3F), unsigned((h.dosTime & 0x1F) * 2), unsigned(h.crc32),
                   shown.c_str());
            if (mapped != SFX_OK)
                printf("  (wird abgelehnt: Fehler %u)", unsigned(mapped));
            printf("\n");
        }
    } else {
        fprintf(stderr, "Fehler (%u) in %s.\n", unsigned(status), Options.programFileShown.c_str());
    }
    if (Archive.configTarget[0] != '\0')
        fprintf(stderr, "Zielordner: %s\n", Archive.configTarget);
    if (Archive.configCommand[0] != '\0')
        fprintf(stderr, "Befehl: %s\n", Archive.configCommand);
    CloseArchive();
    return status == SFX_OK ? 0 : 1;
}
