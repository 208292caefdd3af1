"""Python binding for the maskjpeg shared library, through ctypes.

    import maskjpeg
    rgba = maskjpeg.decode_mask(payload, width, height)   # bytes, width*height*4
    jpeg = maskjpeg.repair_jpeg(stored)                   # bytes, a standard JPEG

Each call copies the library's result into a bytes object and releases the
library's buffer at once, so nothing needs freeing on the Python side. A
payload the library rejects raises MaskjpegError (a ValueError).

The library is found as libmaskjpeg.so.1 on the loader's search path, or
load it from a path of your choice with maskjpeg.Library(path).
"""

import ctypes
import ctypes.util

__all__ = ["Library", "MaskjpegError", "decode_mask", "repair_jpeg"]

_INT32_MAX = 2**31 - 1


class MaskjpegError(ValueError):
    """The library returned no result for the given payload."""


class Library:
    """One loaded copy of the maskjpeg shared library."""

    def __init__(self, path=None):
        if path is None:
            path = ctypes.util.find_library("maskjpeg") or "libmaskjpeg.so.1"
        lib = ctypes.CDLL(path)
        u8p = ctypes.POINTER(ctypes.c_uint8)
        i32 = ctypes.c_int32
        lib.decode_mask.argtypes = [ctypes.c_char_p, i32, i32, i32, ctypes.POINTER(i32)]
        lib.decode_mask.restype = u8p
        lib.repair_jpeg.argtypes = [ctypes.c_char_p, i32, ctypes.POINTER(i32)]
        lib.repair_jpeg.restype = u8p
        lib.free_mask_buffer.argtypes = [ctypes.c_void_p]
        lib.free_mask_buffer.restype = None
        self._lib = lib

    def _take(self, result, size, what):
        if not result:
            raise MaskjpegError(what)
        try:
            return ctypes.string_at(result, size.value)
        finally:
            self._lib.free_mask_buffer(result)

    @staticmethod
    def _payload(data):
        data = bytes(data)
        if not data:
            raise MaskjpegError("empty payload")
        if len(data) > _INT32_MAX:
            raise MaskjpegError("payload larger than 2 GiB")
        return data

    def decode_mask(self, data, width, height):
        """RGBA pixels (width * height * 4 bytes) of an LZO1X 2-bit mask."""
        data = self._payload(data)
        if not (0 < width <= _INT32_MAX and 0 < height <= _INT32_MAX):
            raise MaskjpegError("width and height must be positive 32-bit integers")
        size = ctypes.c_int32(0)
        result = self._lib.decode_mask(data, len(data), width, height, ctypes.byref(size))
        return self._take(result, size, "not a valid %dx%d mask payload" % (width, height))

    def repair_jpeg(self, data):
        """A standard JPEG stream from a stored-variant one (standard ones pass)."""
        data = self._payload(data)
        size = ctypes.c_int32(0)
        result = self._lib.repair_jpeg(data, len(data), ctypes.byref(size))
        return self._take(result, size, "not a JPEG stream that can be repaired")


_default = None


def _library():
    global _default
    if _default is None:
        _default = Library()
    return _default


def decode_mask(data, width, height):
    """RGBA pixels of a mask payload, through the default library."""
    return _library().decode_mask(data, width, height)


def repair_jpeg(data):
    """A standard JPEG from a stored one, through the default library."""
    return _library().repair_jpeg(data)
