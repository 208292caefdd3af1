"""Python binding for the maskjpeg shared library, through ctypes alone.

    import maskjpeg
    rgba = maskjpeg.decode_mask(payload, width, height)  # bytes, width*height*4
    jpeg = maskjpeg.repair_jpeg(stored)                  # bytes, a standard JPEG

Inputs may be any object with the buffer protocol: bytes, bytearray,
memoryview, array.array, a numpy array. bytes and writable contiguous buffers
are passed to the library without a copy; a read-only or non-contiguous one
is copied once first. Each result is copied into a new bytes object and the
library's buffer is released before the call returns, so nothing needs
freeing on the Python side. A payload the library rejects raises ValueError
(MaskjpegError, a subclass) with a message saying what was rejected.

The library is looked for, in this order:
  1. the path given to Library(path);
  2. the MASKJPEG_LIBRARY environment variable, a path to the library;
  3. the installed library on the loader's search path: libmaskjpeg.so.1 on
     Linux, maskjpeg.dll on Windows, libmaskjpeg.1.dylib on macOS;
  4. the build tree of the source checkout this package sits in (build/).
On 32-bit Windows the DLL's functions are stdcall and are loaded through
WinDLL; everywhere else through CDLL.
"""

import ctypes
import operator
import os
import sys

__all__ = ["Library", "MaskjpegError", "decode_mask", "repair_jpeg"]

if sys.platform == "win32":
    SONAME = "maskjpeg.dll"
elif sys.platform == "darwin":
    SONAME = "libmaskjpeg.1.dylib"
else:
    SONAME = "libmaskjpeg.so.1"
ENV_VAR = "MASKJPEG_LIBRARY"
_INT32_MAX = 2**31 - 1
_BUILD_TREE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", SONAME)
# stdcall on 32-bit Windows, the platform's C convention elsewhere.
_LOADER = ctypes.WinDLL if sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4 \
    else ctypes.CDLL


class MaskjpegError(ValueError):
    """The library returned no result for the given payload."""


def _candidates(path):
    if path is not None:
        return [os.fspath(path)]
    env = os.environ.get(ENV_VAR)
    if env:
        return [env]
    return [SONAME, os.path.normpath(_BUILD_TREE)]


def _load(path):
    errors = []
    for candidate in _candidates(path):
        try:
            return _LOADER(candidate)
        except OSError as error:
            errors.append("%s: %s" % (candidate, error))
    raise OSError("cannot load the maskjpeg library (set %s to its path):\n  %s"
                  % (ENV_VAR, "\n  ".join(errors)))


def _dimension(name, value):
    """value as an int (numpy integers too), if it is a positive 32-bit one."""
    try:
        number = operator.index(value)
    except TypeError:
        number = None
    if number is None or not 0 < number <= _INT32_MAX:
        raise MaskjpegError("%s must be a positive 32-bit integer, not %r" % (name, value))
    return number


class _Input:
    """A buffer-protocol object as (pointer argument, length), copied only
    where ctypes cannot point into it."""

    def __init__(self, data):
        if isinstance(data, bytes):
            self.arg, self.length = data, len(data)
            return
        view = memoryview(data)
        if view.c_contiguous and not view.readonly:
            # Points into the object itself; it stays alive through self.arg.
            self.arg = (ctypes.c_char * view.nbytes).from_buffer(view)
        else:
            self.arg = view.tobytes()
        self.length = view.nbytes


class Library:
    """One loaded copy of the maskjpeg shared library."""

    def __init__(self, path=None):
        lib = _load(path)
        u8p = ctypes.POINTER(ctypes.c_uint8)
        i32 = ctypes.c_int32
        i32p = ctypes.POINTER(i32)
        lib.decode_mask.argtypes = [ctypes.c_void_p, i32, i32, i32, i32p]
        lib.decode_mask.restype = u8p
        lib.repair_jpeg.argtypes = [ctypes.c_void_p, i32, i32p]
        lib.repair_jpeg.restype = u8p
        for release in (lib.free_mask_buffer, lib.free_jpeg_buffer):
            release.argtypes = [ctypes.c_void_p]
            release.restype = None
        self._lib = lib
        self.path = lib._name

    @staticmethod
    def _input(data):
        payload = _Input(data)
        if payload.length == 0:
            raise MaskjpegError("empty payload")
        if payload.length > _INT32_MAX:
            raise MaskjpegError("payload of %d bytes is larger than the library takes"
                                % payload.length)
        return payload

    @staticmethod
    def _take(result, size, release, message):
        if not result:
            raise MaskjpegError(message)
        try:
            return ctypes.string_at(result, size.value)
        finally:
            release(result)

    def decode_mask(self, data, width, height):
        """RGBA pixels (width * height * 4 bytes) of an LZO1X 2-bit mask."""
        width, height = _dimension("width", width), _dimension("height", height)
        payload = self._input(data)
        size = ctypes.c_int32(0)
        result = self._lib.decode_mask(payload.arg, payload.length, width, height,
                                       ctypes.byref(size))
        return self._take(result, size, self._lib.free_mask_buffer,
                          "not a valid %dx%d mask payload (%d bytes)"
                          % (width, height, payload.length))

    def repair_jpeg(self, data):
        """A standard JPEG stream from a stored-variant one (standard ones pass)."""
        payload = self._input(data)
        size = ctypes.c_int32(0)
        result = self._lib.repair_jpeg(payload.arg, payload.length, ctypes.byref(size))
        return self._take(result, size, self._lib.free_jpeg_buffer,
                          "not a JPEG stream that can be repaired (%d bytes)" % payload.length)


_default = None


def _library():
    global _default
    if _default is None:
        _default = Library()
    return _default


def decode_mask(data, width, height):
    """RGBA pixels of a mask payload, through the library found by default."""
    return _library().decode_mask(data, width, height)


def repair_jpeg(data):
    """A standard JPEG from a stored one, through the library found by default."""
    return _library().repair_jpeg(data)
