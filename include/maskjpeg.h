/*
 * maskjpeg: turns two kinds of stored image payloads into data ordinary code
 * can use.
 *
 *   decode_mask   LZO1X-compressed 2-bit mask  ->  white RGBA pixels
 *   repair_jpeg   compact stored JPEG variant  ->  standard baseline JPEG
 *
 * Conventions shared by every function:
 *
 *  - The input belongs to the caller. It is only read, only during the call,
 *    and no reference to it is kept. It must not change during the call; if
 *    another thread does change it, the call fails or returns some result,
 *    but it never reads or writes outside the input and its own buffers.
 *  - A result is a buffer the library allocates for that one call. It belongs
 *    to the caller from the return on, and goes back through either
 *    free_mask_buffer() or free_jpeg_buffer(): the two are one release
 *    operation under two names. Never release it with free() or delete.
 *  - Failure is reported one way only: the function returns NULL and writes 0
 *    to *out_size. There are no error codes, messages or logs. A call that
 *    succeeds never returns NULL. If out_size itself is NULL the call fails
 *    and writes nothing.
 *  - The library has no state: no globals, caches, threads or locks. Every
 *    function is reentrant and may be called from any number of threads at
 *    once; a result may be released on another thread than the one that made
 *    it.
 *
 * Licence: GPL-2.0-or-later.
 */
#ifndef MASKJPEG_H
#define MASKJPEG_H

#include <stdint.h>

/*
 * Version of this header and of the library built from it.
 *   MAJOR: bumped when the ABI changes incompatibly (a function's signature or
 *          a documented result changes); it is the shared library's soname.
 *   MINOR: bumped when something is added in a compatible way.
 *   PATCH: bumped for fixes that change no documented behaviour.
 * These are compile-time values only: they say which header a program was
 * built with. The library exports its four functions and nothing else, so
 * there is no run-time version query; the soname (libmaskjpeg.so.1) carries
 * the major version to the loader.
 */
#define MASKJPEG_VERSION_MAJOR 1
#define MASKJPEG_VERSION_MINOR 0
#define MASKJPEG_VERSION_PATCH 0

/*
 * MASKJPEG_API marks the exported functions. On ELF and Mach-O it makes them
 * visible in a library built with hidden visibility. On Windows the library's
 * own build defines MASKJPEG_BUILDING; a program that links the DLL defines
 * MASKJPEG_DLL to get dllimport. Without either, the declarations are plain,
 * which is what a static build needs.
 */
#if defined(_WIN32)
#  if defined(MASKJPEG_BUILDING)
#    define MASKJPEG_API __declspec(dllexport)
#  elif defined(MASKJPEG_DLL)
#    define MASKJPEG_API __declspec(dllimport)
#  else
#    define MASKJPEG_API
#  endif
#elif defined(__GNUC__) || defined(__clang__)
#  define MASKJPEG_API __attribute__((visibility("default")))
#else
#  define MASKJPEG_API
#endif

/*
 * MASKJPEG_CALL is the calling convention of the four functions: stdcall
 * (WINAPI) on 32-bit x86 Windows, the platform's standard for functions a
 * DLL exports and what .NET, VB and Delphi assume by default; the
 * platform's only C convention everywhere else, where it is empty. The DLL
 * exports the names undecorated on both Windows targets.
 */
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#  define MASKJPEG_CALL __stdcall
#else
#  define MASKJPEG_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * decode_mask() - expand an LZO1X-compressed 2-bit mask into RGBA pixels.
 *
 * data, data_len: one LZO1X stream, from the first byte, with no header.
 *     Bytes after its end-of-stream marker are ignored.
 * width, height: the mask's size in pixels; the payload carries none.
 * out_size: receives the result's length, width * height * 4, or 0.
 *
 * The stream decompresses to `height` rows of (width + 3) / 4 bytes; pixel x
 * of a row is bits 2*(x%4) and 2*(x%4)+1 of the row's byte x/4. Each pixel
 * becomes the four bytes R, G, B, A = FF FF FF and the alpha of its code:
 * code 0 -> 0, 1 -> 1, 2 -> 1, 3 -> 128. Rows follow each other with no gap.
 * A stream that ends before it fills the mask is no error: the rest of the
 * mask has code 0 (alpha 0), and the size is unchanged.
 *
 * Returns the image, which the caller releases with free_mask_buffer() (or
 * free_jpeg_buffer()). Returns NULL and writes 0 to *out_size when data is
 * NULL, data_len, width or height is not positive, width * height is
 * 536870912 or more, memory runs out, or the stream is cut short, corrupt,
 * or longer than the mask.
 */
MASKJPEG_API uint8_t *MASKJPEG_CALL decode_mask(const uint8_t *data,
                                                int32_t data_len,
                                                int32_t width, int32_t height,
                                                int32_t *out_size);

/*
 * repair_jpeg() - rewrite a JPEG stored in the compact variant as a standard
 * baseline JPEG stream; a standard stream comes back unchanged.
 *
 * data, data_len: the stored image. It is read marker by marker and never
 * decoded.
 * out_size: receives the result's length, or 0.
 *
 * The stored variant has an extra FF A0 marker (dropped), a scan header
 * whose length L counts only itself and the component table (the result's
 * header gets the missing bytes 00 3F 00 and the length L + 3), and scan
 * data without byte stuffing (every FF of it is written as FF 00). The scan
 * data is everything after the scan header up to a closing FF D9, or to the
 * end of the input when there is none; either way the result ends with
 * FF D9. Everything before the scan header is copied: SOI, every segment
 * with a length field (DQT, DHT, SOFn, DRI, APPn, COM, ...), and fill bytes
 * (extra FF before a marker), which go with the marker they precede and so
 * are dropped with an FF A0. Restart markers cannot be told from data in a
 * stored scan (without stuffing, a data FF may be followed by any byte), so
 * an FF D0-D7 in it is stuffed like any FF: an image stored with a restart
 * interval (DRI) comes out with FF 00 Dn where its encoder wrote FF Dn, and
 * decoders then give its first interval right and the rest wrongly.
 * A stream that is standard already, with an APP0 (JFIF) segment before its
 * scan or a standard scan header (length 6 + 2 * components), is returned
 * byte for byte, as is one with no scan at all. Input after an EOI that
 * comes before any scan is not part of the image and is left out. The
 * result is never longer than 2 * data_len + 1 bytes.
 *
 * Returns the stream, which the caller releases with free_jpeg_buffer() (or
 * free_mask_buffer()). Returns NULL and writes 0 to *out_size when data is
 * NULL, data_len is not positive or is 1073741824 or more, memory runs out,
 * nothing at all would be written (the input does not start with FF, or
 * holds nothing but FF A0 and fill bytes), or the input is not a marker stream: a byte
 * that is not FF where a marker should start, a marker byte 00-BF (other
 * than A0) or D0-D7 there, a lone FF at the end, a length below 2 or a
 * segment or scan header that runs past the end, or a scan header length
 * above 65532.
 */
MASKJPEG_API uint8_t *MASKJPEG_CALL repair_jpeg(const uint8_t *data,
                                                int32_t data_len,
                                                int32_t *out_size);

/*
 * free_mask_buffer() - release a result of decode_mask() or repair_jpeg().
 *
 * NULL is accepted and does nothing. Release each result exactly once.
 */
MASKJPEG_API void MASKJPEG_CALL free_mask_buffer(void *buffer);

/*
 * free_jpeg_buffer() - the same release operation as free_mask_buffer().
 */
MASKJPEG_API void MASKJPEG_CALL free_jpeg_buffer(void *buffer);

#ifdef __cplusplus
}
#endif

#endif /* MASKJPEG_H */
