"""Python binding for the maskjpeg shared library, through ctypes alone.

    import maskjpeg
    rgba = maskjpeg.decode_mask(payload, width, height)        # bytes, width*height*4
    image = maskjpeg.decode_mask_array(payload, width, height) # numpy (height, width, 4)
    jpeg = maskjpeg.repair_jpeg(stored)                        # bytes, a standard JPEG

Inputs may be any object with the buffer protocol: bytes, bytearray,
memoryview, array.array, mmap, a numpy array. Every C-contiguous one,
read-only or not, is passed to the library as its own address, without a
copy (on CPython; where the C API is missing, as on PyPy, a read-only one is
copied); only a non-contiguous one is copied, once. Sizes are checked
before anything is copied: payloads of 1 to 2**31 - 1 bytes for masks and
1 to 2**30 - 1 for JPEGs, width and height positive 32-bit integers (not
bool) with width * height below 2**29. A size past a limit, and a payload
the library rejects, raise ValueError (MaskjpegError, a subclass) with a
message that says which.

decode_mask and repair_jpeg copy the library's result into a new bytes
object and release the library's buffer before they return.
decode_mask_array and repair_jpeg_array (numpy needed) copy nothing: the
array they return views the library's buffer, which is released through the
library when the last array viewing it is garbage-collected.

Calls release the GIL while the library works, so threads run them in
parallel; the library has no state, so one Library serves every thread.

The library is looked for, in this order:
  1. the path given to Library(path);
  2. the library installed inside this package (pip install puts it there);
  3. the MASKJPEG_LIBRARY environment variable, a path to the library (when
     it is set, no other place is tried);
  4. the installed library on the loader's search path: libmaskjpeg.so.1 on
     Linux, maskjpeg.dll on Windows, libmaskjpeg.1.dylib on macOS;
  5. the build tree of the source checkout this package sits in (build/).
On 32-bit Windows the DLL's functions are stdcall and are loaded through
WinDLL; everywhere else through CDLL.
"""

from __future__ import annotations

import ctypes
import operator
import os
import re
import sys
from typing import TYPE_CHECKING, Callable, List, Optional, Tuple, Union

if TYPE_CHECKING:
    import array

    import numpy

    Buffer = Union[bytes, bytearray, memoryview, array.array, numpy.ndarray]
    PathLike = Union[str, "os.PathLike[str]"]

__all__ = ["Library", "MaskjpegError", "decode_mask", "decode_mask_array", "repair_jpeg",
           "repair_jpeg_array", "__version__"]

_HERE = os.path.dirname(os.path.abspath(__file__))


def _header_version() -> str:
    """The version written in the checkout's public header."""
    try:
        with open(os.path.join(_HERE, "..", "..", "include", "maskjpeg.h")) as header:
            text = header.read()
        return ".".join(re.search(r"#define MASKJPEG_VERSION_%s (\d+)" % part, text).group(1)
                        for part in ("MAJOR", "MINOR", "PATCH"))
    except (OSError, AttributeError):
        return "0+unknown"


try:  # written by the package build
    from ._version import __version__
except ImportError:  # a source checkout
    __version__ = _header_version()

if sys.platform == "win32":
    SONAME = "maskjpeg.dll"
elif sys.platform == "darwin":
    SONAME = "libmaskjpeg.1.dylib"
else:
    SONAME = "libmaskjpeg.so.1"
ENV_VAR = "MASKJPEG_LIBRARY"
_INT32_MAX = 2**31 - 1
_BUNDLED = os.path.join(_HERE, SONAME)
_BUILD_TREE = os.path.normpath(os.path.join(_HERE, "..", "..", "build", SONAME))
# stdcall on 32-bit Windows, the platform's C convention elsewhere.
_LOADER = ctypes.WinDLL if sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4 \
    else ctypes.CDLL


class MaskjpegError(ValueError):
    """A payload the library returned no result for, or a size past its
    limits (checked before the library is called)."""


def _candidates(path: Optional[PathLike]) -> List[str]:
    if path is not None:
        return [os.fspath(path)]
    if os.path.exists(_BUNDLED):
        return [_BUNDLED]
    env = os.environ.get(ENV_VAR)
    if env:
        # A library named on purpose and not found is an error, not a
        # reason to load some other one.
        return [env]
    return [SONAME, _BUILD_TREE]


def _load(path: Optional[PathLike]) -> ctypes.CDLL:
    errors = []
    for candidate in _candidates(path):
        try:
            return _LOADER(candidate)
        except OSError as error:
            errors.append("%s: %s" % (candidate, error))
    raise OSError("cannot load the maskjpeg library (set %s to its path):\n  %s"
                  % (ENV_VAR, "\n  ".join(errors)))


_PIXEL_LIMIT = 2**29  # width * height * 4 must fit the library's 32-bit size
_MASK_INPUT_LIMIT = _INT32_MAX
_JPEG_INPUT_LIMIT = 2**30 - 1  # twice the input must fit 32 bits


def _dimension(name: str, value: int) -> int:
    """value as an int (numpy integers too, bool not), if it is a positive
    32-bit one."""
    number = None
    if not isinstance(value, bool):
        try:
            number = operator.index(value)
        except TypeError:
            pass
    if number is None or not 0 < number <= _INT32_MAX:
        raise MaskjpegError("%s must be a positive 32-bit integer, not %r" % (name, value))
    return number


def _mask_shape(width: int, height: int) -> Tuple[int, int]:
    width, height = _dimension("width", width), _dimension("height", height)
    if width * height >= _PIXEL_LIMIT:
        raise MaskjpegError("a %dx%d mask has %d pixels; the library's limit is %d"
                            % (width, height, width * height, _PIXEL_LIMIT - 1))
    return width, height


class _PyBuffer(ctypes.Structure):
    """CPython's Py_buffer, as the buffer protocol fills it."""
    _fields_ = [("buf", ctypes.c_void_p), ("obj", ctypes.c_void_p),
                ("len", ctypes.c_ssize_t), ("itemsize", ctypes.c_ssize_t),
                ("readonly", ctypes.c_int), ("ndim", ctypes.c_int),
                ("format", ctypes.c_char_p), ("shape", ctypes.c_void_p),
                ("strides", ctypes.c_void_p), ("suboffsets", ctypes.c_void_p),
                ("internal", ctypes.c_void_p)]


try:  # CPython: a read-only buffer's own address, through the C API
    _get_buffer = ctypes.pythonapi.PyObject_GetBuffer
    _get_buffer.argtypes = [ctypes.py_object, ctypes.POINTER(_PyBuffer), ctypes.c_int]
    _get_buffer.restype = ctypes.c_int
    _release_buffer = ctypes.pythonapi.PyBuffer_Release
    _release_buffer.argtypes = [ctypes.POINTER(_PyBuffer)]
    _release_buffer.restype = None
except AttributeError:  # no C API (PyPy): read-only buffers are copied
    _get_buffer = None
_PYBUF_SIMPLE = 0


class _Input:
    """A buffer-protocol object as a pointer the library reads and its
    length, checked against `limit` before anything is copied.

    bytes and every C-contiguous buffer, read-only ones included (an mmap, a
    read-only numpy array, a memoryview of bytes), are passed as their own
    address: the library only reads its input. The buffer is held exported
    for the whole call, so its owner cannot close or resize it meanwhile.
    Only a non-contiguous buffer is copied, once.
    """

    def __init__(self, data: Buffer, limit: int) -> None:
        self._held: Optional[_PyBuffer] = None
        if isinstance(data, bytes):
            self.arg, self.length = data, len(data)
        else:
            view = memoryview(data)
            self.length = view.nbytes
        if self.length == 0:
            raise MaskjpegError("empty payload")
        if self.length > limit:
            raise MaskjpegError("a payload of %d bytes is larger than the library's limit"
                                " of %d" % (self.length, limit))
        if isinstance(data, bytes):
            return
        if not view.c_contiguous:
            self.arg = view.tobytes()
        elif not view.readonly:
            # Points into the object itself; it stays alive through self.arg.
            self.arg = (ctypes.c_char * self.length).from_buffer(view)
        elif _get_buffer is not None:
            held = _PyBuffer()
            _get_buffer(view, ctypes.byref(held), _PYBUF_SIMPLE)
            self._held, self.arg = held, held.buf
        else:
            self.arg = view.tobytes()

    def __enter__(self) -> "_Input":
        return self

    def __exit__(self, *exc: object) -> None:
        if self._held is not None:
            _release_buffer(ctypes.byref(self._held))
            self._held = None


class _Owned:
    """One result of the library, seen by numpy through the array interface.

    numpy keeps this object as the base of every array made from it, so it
    lives exactly as long as the last of them and then hands the buffer back
    to the library.
    """

    __slots__ = ("__array_interface__", "_address", "_release")

    def __init__(self, address: int, shape: Tuple[int, ...],
                 release: Callable[[int], None]) -> None:
        self._address = address
        self._release = release
        self.__array_interface__ = {"data": (address, False), "shape": shape,
                                    "typestr": "|u1", "version": 3}

    def __del__(self) -> None:
        self._release(self._address)


class Library:
    """One loaded copy of the maskjpeg shared library."""

    def __init__(self, path: Optional[PathLike] = None) -> None:
        lib = _load(path)
        i32 = ctypes.c_int32
        i32p = ctypes.POINTER(i32)
        # Results come back as plain addresses (int, or None for NULL).
        lib.decode_mask.argtypes = [ctypes.c_void_p, i32, i32, i32, i32p]
        lib.decode_mask.restype = ctypes.c_void_p
        lib.repair_jpeg.argtypes = [ctypes.c_void_p, i32, i32p]
        lib.repair_jpeg.restype = ctypes.c_void_p
        for release in (lib.free_mask_buffer, lib.free_jpeg_buffer):
            release.argtypes = [ctypes.c_void_p]
            release.restype = None
        self._lib = lib
        self.path: str = lib._name

    def _decode(self, data: Buffer, width: int, height: int) -> Tuple[int, int, int, int]:
        width, height = _mask_shape(width, height)
        size = ctypes.c_int32(0)
        with _Input(data, _MASK_INPUT_LIMIT) as payload:
            result = self._lib.decode_mask(payload.arg, payload.length, width, height,
                                           ctypes.byref(size))
        if not result:
            raise MaskjpegError("not a valid %dx%d mask payload (%d bytes)"
                                % (width, height, payload.length))
        return result, size.value, width, height

    def _repair(self, data: Buffer) -> Tuple[int, int]:
        size = ctypes.c_int32(0)
        with _Input(data, _JPEG_INPUT_LIMIT) as payload:
            result = self._lib.repair_jpeg(payload.arg, payload.length, ctypes.byref(size))
        if not result:
            raise MaskjpegError("not a JPEG stream that can be repaired (%d bytes)"
                                % payload.length)
        return result, size.value

    def _copy(self, result: int, size: int) -> bytes:
        try:
            return ctypes.string_at(result, size)
        finally:
            self._lib.free_mask_buffer(result)

    def _owned(self, result: int, shape: Tuple[int, ...]) -> _Owned:
        return _Owned(result, shape, self._lib.free_mask_buffer)

    def decode_mask(self, data: Buffer, width: int, height: int) -> bytes:
        """RGBA pixels (width * height * 4 bytes) of an LZO1X 2-bit mask."""
        result, size, _, _ = self._decode(data, width, height)
        return self._copy(result, size)

    def decode_mask_array(self, data: Buffer, width: int, height: int) -> numpy.ndarray:
        """The mask's RGBA pixels as a writable uint8 numpy array of shape
        (height, width, 4) that views the library's result: no copy."""
        import numpy  # first: without numpy, nothing is decoded
        result, _, width, height = self._decode(data, width, height)
        return numpy.asarray(self._owned(result, (height, width, 4)))

    def repair_jpeg(self, data: Buffer) -> bytes:
        """A standard JPEG stream from a stored-variant one (standard ones pass)."""
        return self._copy(*self._repair(data))

    def repair_jpeg_array(self, data: Buffer) -> numpy.ndarray:
        """repair_jpeg's stream as a 1-D uint8 numpy array that views the
        library's result: no copy."""
        import numpy  # first: without numpy, nothing is repaired
        result, size = self._repair(data)
        return numpy.asarray(self._owned(result, (size,)))


_default: Optional[Library] = None


def _library() -> Library:
    global _default
    if _default is None:
        _default = Library()
    return _default


def decode_mask(data: Buffer, width: int, height: int) -> bytes:
    """RGBA pixels of a mask payload, through the library found by default."""
    return _library().decode_mask(data, width, height)


def decode_mask_array(data: Buffer, width: int, height: int) -> numpy.ndarray:
    """RGBA pixels of a mask payload as a (height, width, 4) numpy array that
    views the library's result, through the library found by default."""
    return _library().decode_mask_array(data, width, height)


def repair_jpeg(data: Buffer) -> bytes:
    """A standard JPEG from a stored one, through the library found by default."""
    return _library().repair_jpeg(data)


def repair_jpeg_array(data: Buffer) -> numpy.ndarray:
    """A standard JPEG from a stored one as a 1-D numpy array that views the
    library's result, through the library found by default."""
    return _library().repair_jpeg_array(data)
