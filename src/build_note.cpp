// Writes a line into the binary's .comment section that says how the library
// was compiled: GCC records neither -D options nor, reliably, the stack
// protector in the binary, so this is how a packager (and the hardening
// test) can read the build's protections off the shipped file itself.
#define MASKJPEG_STRINGIFY_(x) #x
#define MASKJPEG_STRINGIFY(x) MASKJPEG_STRINGIFY_(x)

#if defined(__SSP_STRONG__) || defined(__SSP_ALL__)
#define MASKJPEG_NOTE_SSP " stack-protector-strong"
#else
#define MASKJPEG_NOTE_SSP ""
#endif

// _FORTIFY_SOURCE only takes effect in an optimised build.
#if defined(_FORTIFY_SOURCE) && defined(__OPTIMIZE__)
#define MASKJPEG_NOTE_FORTIFY " fortify-source=" MASKJPEG_STRINGIFY(_FORTIFY_SOURCE)
#else
#define MASKJPEG_NOTE_FORTIFY ""
#endif

#if defined(__PIC__)
#define MASKJPEG_NOTE_PIC " pic"
#else
#define MASKJPEG_NOTE_PIC ""
#endif

__asm__(
    ".pushsection .comment,\"MS\",@progbits,1\n"
    ".asciz \"maskjpeg build:" MASKJPEG_NOTE_SSP MASKJPEG_NOTE_FORTIFY MASKJPEG_NOTE_PIC
    "\"\n"
    ".popsection\n");
