/* The configuration of liblzma as the builders compile it: the raw
   LZMA1 encoder and what it stands on, nothing else (no decoders, no other
   filters, no threads of its own, no integrity checks but the CRC-32 table
   that the match finder hashes with). */
#define HAVE_ENCODER_LZMA1 1
#define HAVE_MF_HC3 1
#define HAVE_MF_HC4 1
#define HAVE_MF_BT2 1
#define HAVE_MF_BT3 1
#define HAVE_MF_BT4 1
#define HAVE_CHECK_CRC32 1
#define HAVE_STDBOOL_H 1
#define HAVE__BOOL 1
#define HAVE_STDINT_H 1
#define HAVE_INTTYPES_H 1
#define HAVE_LIMITS_H 1
#define HAVE_STRING_H 1
#define HAVE_STRINGS_H 1
#define HAVE_MEMORY_H 1
#define HAVE_STDLIB_H 1
#define HAVE_VISIBILITY 0
#define TUKLIB_FAST_UNALIGNED_ACCESS 1
#define ASSUME_RAM 128
#define PACKAGE "xz"
#define PACKAGE_NAME "XZ Utils"
#define PACKAGE_URL "https://tukaani.org/xz/"
#if defined(_WIN64) || defined(__LP64__)
#define SIZEOF_SIZE_T 8
#else
#define SIZEOF_SIZE_T 4
#endif
