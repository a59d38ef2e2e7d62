// The catalogue alone: OpenArchive (which reads it) and CloseArchive (which
// frees it) over an arbitrary program file.
//
// Invariants: the walk ends; its status is one the catalogue may leave; an
// SFX_OK catalogue holds at least one entry; the walk hands out as many
// entries as the catalogue counts, each name terminated at its length; no
// more entries than the file has room for (each central header takes 46
// bytes, so an entry decoded twice shows); CloseArchive frees it; no
// descriptor stays open; LeakSanitizer sees every block released.
#include "fuzz/fuzz_front_end.h"
#include "fuzz/fuzz_util.h"
#include "archive/archive_open.h"
#include "archive/catalog.h"

using namespace fuzzutil;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = ScratchRoot("catalog") + "/prog.exe";
    WriteWhole(path, data, size);
    int descriptors = CountOpenDescriptors();

    Archive.status = SFX_OK;
    OpenArchive(path.c_str());
    if (Archive.status == SFX_OK) {
        Catalog& catalog = Archive.catalog;
        SfxStatus s = catalog.status;
        FUZZ_CHECK(s == SFX_OK || s == SFX_ERR_IO || s == SFX_ERR_NOMEM || s == SFX_ERR_BAD_DATA ||
                       s == SFX_ERR_EMPTY || s == SFX_ERR_NO_ARCHIVE,
                   "unexpected status %u", unsigned(s));
        size_t room = size / 46;
        size_t walked = 0;
        while (const CatalogEntry* e = NextCatalogEntry(&catalog)) {
            ++walked;
            FUZZ_CHECK(walked <= room, "more than %zu entries in a file of %zu bytes", room, size);
            FUZZ_CHECK(e->name[e->nameLength] == 0 && strlen(e->name) == e->nameLength,
                       "entry name not terminated at its length");
        }
        FUZZ_CHECK(walked == catalog.count, "count %u, walk found %zu", unsigned(catalog.count), walked);
        if (s == SFX_OK) FUZZ_CHECK(walked > 0, "SFX_OK with an empty catalogue");
    }
    CloseArchive();
    FUZZ_CHECK(Archive.catalog.count == 0 && Archive.catalog.directory == nullptr, "CloseArchive kept the catalogue");
    FUZZ_CHECK(CountOpenDescriptors() == descriptors, "a file stayed open (%d before, %d after)", descriptors,
               CountOpenDescriptors());
    return 0;
}
