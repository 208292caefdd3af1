"""The Python binding against the built library. usage: python_test.py LIB"""
import array
import ctypes
import mmap
import os
import tempfile
import time
import subprocess
import sys
import unittest

PYTHON_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python")
sys.path.insert(0, PYTHON_DIR)
import maskjpeg  # noqa: E402

LIB = None

FIVE_BY_THREE = bytes.fromhex("17 E4 03 1B 02 FF FE 11 00 00")
FIVE_BY_THREE_ALPHA = [0, 1, 1, 128, 128, 128, 1, 1, 0, 1, 128, 128, 128, 128, 1]
STORED = bytes.fromhex("FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11 12 FF 34 FF D9")
REPAIRED = bytes.fromhex("FF D8 FF DA 00 0C 03 01 00 02 11 03 11 00 3F 00 12 FF 00 34 FF D9")
JFIF = bytes.fromhex("FF D8 FF E0 00 10 4A 46 49 46 00 01 01 00 00 01 00 01 00 00 FF D9")


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def spy_on_the_library(lib):
    """Wraps lib's loaded library: each result's address and size are
    recorded, and each release scribbles over the buffer before freeing
    it, so that a result still read from library memory after its
    release comes back changed. Returns (sizes, released)."""
    real = lib._lib
    sizes, released = {}, []

    class Spied:
        def __getattr__(self, name):
            return getattr(real, name)

    def producing(function):
        def call(*args):
            result = function(*args)
            if result:
                sizes[result] = args[-1]._obj.value
            return result
        return call

    def releasing(function):
        def call(result):
            released.append(result)
            ctypes.memset(result, 0xAA, sizes[result])
            function(result)
        return call

    spied = Spied()
    spied.decode_mask = producing(real.decode_mask)
    spied.repair_jpeg = producing(real.repair_jpeg)
    spied.free_mask_buffer = releasing(real.free_mask_buffer)
    spied.free_jpeg_buffer = releasing(real.free_jpeg_buffer)
    lib._lib = spied
    return sizes, released


def spy_on_inputs(lib):
    """Wraps lib's producing functions so that each call records the
    address of the input the library was given. Returns that list."""
    real = lib._lib
    addresses = []

    class Spied:
        def __getattr__(self, name):
            return getattr(real, name)

    def recording(function):
        def call(data, *args):
            addresses.append(ctypes.cast(data, ctypes.c_void_p).value)
            return function(data, *args)
        return call

    spied = Spied()
    spied.decode_mask = recording(real.decode_mask)
    spied.repair_jpeg = recording(real.repair_jpeg)
    lib._lib = spied
    return addresses


def assert_resident_memory_stays_flat(test, calls):
    """Runs calls() 20,000 times to settle the allocator, then 50,000 times
    more, during which resident memory may grow by less than 1 MiB."""
    for _ in range(20000):
        calls()
    before = resident_bytes()
    for _ in range(50000):
        calls()
    growth = resident_bytes() - before
    test.assertLess(growth, 1 << 20, "resident memory grew by %d bytes" % growth)


class Results(unittest.TestCase):
    def setUp(self):
        self.lib = maskjpeg.Library(LIB)

    def test_examples(self):
        rgba = self.lib.decode_mask(FIVE_BY_THREE, 5, 3)
        self.assertIsInstance(rgba, bytes)
        self.assertEqual(len(rgba), 60)
        self.assertEqual(list(rgba[3::4]), FIVE_BY_THREE_ALPHA)
        self.assertEqual(set(rgba[0::4] + rgba[1::4] + rgba[2::4]), {255})
        self.assertEqual(self.lib.repair_jpeg(STORED), REPAIRED)
        self.assertEqual(self.lib.repair_jpeg(JFIF), JFIF)

    def test_any_buffer_gives_the_same_result(self):
        padded = bytearray(b"\xEE" + STORED + b"\xEE")
        interleaved = bytearray(2 * len(STORED))
        interleaved[::2] = STORED
        for data in (bytearray(STORED), memoryview(STORED), memoryview(padded)[1:-1],
                     array.array("B", STORED), memoryview(interleaved)[::2]):
            with self.subTest(type=type(data).__name__):
                self.assertEqual(self.lib.repair_jpeg(data), REPAIRED)
        self.assertEqual(list(self.lib.decode_mask(bytearray(FIVE_BY_THREE), 5, 3)[3::4]),
                         FIVE_BY_THREE_ALPHA)

    def test_rejected_input_raises_value_error(self):
        cases = [
            ("cut stream", lambda: self.lib.decode_mask(b"\x12\x03", 1, 1),
             "not a valid 1x1 mask payload"),
            ("zero width", lambda: self.lib.decode_mask(FIVE_BY_THREE, 0, 3),
             "width must be a positive 32-bit integer, not 0"),
            ("width past 32 bits", lambda: self.lib.decode_mask(FIVE_BY_THREE, 2**31, 1),
             "width must be a positive 32-bit integer, not 2147483648"),
            ("width a bool", lambda: self.lib.decode_mask(FIVE_BY_THREE, True, 3),
             "width must be a positive 32-bit integer, not True"),
            ("height not an integer", lambda: self.lib.decode_mask(FIVE_BY_THREE, 5, 3.0),
             "height must be a positive 32-bit integer, not 3.0"),
            ("mask too large", lambda: self.lib.decode_mask(FIVE_BY_THREE, 32768, 16384),
             "a 32768x16384 mask has 536870912 pixels; the library's limit is 536870911"),
            ("empty mask", lambda: self.lib.decode_mask(b"", 1, 1), "empty payload"),
            ("not a JPEG", lambda: self.lib.repair_jpeg(b"\x00\x01\x02"),
             "not a JPEG stream that can be repaired"),
            ("cut segment", lambda: self.lib.repair_jpeg(bytes.fromhex("FF D8 FF DB 00 43 00")),
             "not a JPEG stream that can be repaired"),
            ("empty JPEG", lambda: self.lib.repair_jpeg(bytearray()), "empty payload"),
        ]
        for name, call, words in cases:
            with self.subTest(name):
                with self.assertRaisesRegex(ValueError, "^%s" % words):
                    call()

    def test_sizes_past_the_limits_are_refused_before_any_copy(self):
        # Anonymous mappings: their pages cost nothing until touched, and a
        # copy of them would show as gigabytes of resident memory.
        cases = [
            ("mask", 2**31 + 16, lambda view: self.lib.decode_mask(view, 16, 16),
             "a payload of 2147483664 bytes is larger than the library's limit of 2147483647"),
            ("JPEG", 2**30, lambda view: self.lib.repair_jpeg(view),
             "a payload of 1073741824 bytes is larger than the library's limit of 1073741823"),
        ]
        for name, size, call, message in cases:
            with self.subTest(name), mmap.mmap(-1, size) as mapping:
                view = memoryview(mapping).toreadonly()
                before, start = resident_bytes(), time.monotonic()
                with self.assertRaisesRegex(ValueError, "^%s$" % message):
                    call(view)
                elapsed, growth = time.monotonic() - start, resident_bytes() - before
                view.release()
                self.assertLess(elapsed, 0.5)
                self.assertLess(growth, 1 << 20, "resident memory grew by %d bytes" % growth)

    def test_contiguous_inputs_reach_the_library_uncopied(self):
        numpy = need_numpy(self)
        addresses = spy_on_inputs(self.lib)
        with tempfile.TemporaryFile() as file:
            file.write(STORED)
            file.flush()
            with mmap.mmap(file.fileno(), 0, access=mmap.ACCESS_READ) as mapping:
                read_only_array = numpy.frombuffer(FIVE_BY_THREE, numpy.uint8)
                self.assertFalse(read_only_array.flags.writeable)
                mapped = numpy.frombuffer(mapping, numpy.uint8)
                cases = [
                    ("read-only mmap", mapping, mapped.ctypes.data),
                    ("memoryview of bytes", memoryview(STORED),
                     numpy.frombuffer(STORED, numpy.uint8).ctypes.data),
                    ("bytes", STORED, numpy.frombuffer(STORED, numpy.uint8).ctypes.data),
                ]
                for name, data, address in cases:
                    with self.subTest(name):
                        self.assertEqual(self.lib.repair_jpeg(data), REPAIRED)
                        self.assertEqual(addresses[-1], address)
                with self.subTest("read-only numpy array"):
                    rgba = self.lib.decode_mask(read_only_array, 5, 3)
                    self.assertEqual(list(rgba[3::4]), FIVE_BY_THREE_ALPHA)
                    self.assertEqual(addresses[-1], read_only_array.ctypes.data)
                del mapped
        # The export is released after the call: the mapping could close.

    def test_not_a_buffer_raises_type_error(self):
        with self.assertRaises(TypeError):
            self.lib.repair_jpeg("FF D8 FF D9")

    def test_results_are_copied_before_release_and_released_once(self):
        sizes, released = spy_on_the_library(self.lib)
        rgba = self.lib.decode_mask(FIVE_BY_THREE, 5, 3)
        jpeg = self.lib.repair_jpeg(STORED)
        with self.assertRaises(ValueError):
            self.lib.repair_jpeg(b"\x00")
        self.assertEqual(list(rgba[3::4]), FIVE_BY_THREE_ALPHA)
        self.assertEqual(jpeg, REPAIRED)
        self.assertEqual(len(released), 2)
        self.assertEqual(sorted(released), sorted(sizes))

    def test_many_calls_do_not_grow_resident_memory(self):
        stored = bytearray(STORED)

        def calls():
            self.lib.decode_mask(FIVE_BY_THREE, 5, 3)
            self.lib.repair_jpeg(stored)
            with self.assertRaises(ValueError):
                self.lib.repair_jpeg(b"\x00\x01")

        assert_resident_memory_stays_flat(self, calls)

    def test_numpy_arrays(self):
        numpy = need_numpy(self)
        width, height = 5, 3
        rgba = numpy.frombuffer(self.lib.decode_mask(numpy.frombuffer(FIVE_BY_THREE, numpy.uint8),
                                                     width, height), numpy.uint8)
        image = rgba.reshape(height, width, 4)
        self.assertEqual(self.lib.decode_mask(FIVE_BY_THREE, numpy.int64(5), numpy.int32(3)),
                         rgba.tobytes())
        self.assertEqual(image.shape, (3, 5, 4))
        self.assertEqual(image[..., 3].ravel().tolist(), FIVE_BY_THREE_ALPHA)
        self.assertTrue((image[..., :3] == 255).all())
        writable = numpy.array(bytearray(STORED), dtype=numpy.uint8)
        self.assertEqual(self.lib.repair_jpeg(writable), REPAIRED)


def need_numpy(test):
    try:
        import numpy
    except ImportError:
        test.skipTest("numpy is not installed")
    return numpy


class ZeroCopyArrays(unittest.TestCase):
    """decode_mask_array and repair_jpeg_array: arrays that view the
    library's own result and release it when the last view goes."""

    def setUp(self):
        self.lib = maskjpeg.Library(LIB)
        self.numpy = need_numpy(self)

    def test_values_shape_and_type(self):
        image = self.lib.decode_mask_array(FIVE_BY_THREE, 5, 3)
        self.assertEqual((image.shape, image.dtype, image.flags.writeable),
                         ((3, 5, 4), self.numpy.uint8, True))
        self.assertEqual(image.tobytes(), self.lib.decode_mask(FIVE_BY_THREE, 5, 3))
        jpeg = self.lib.repair_jpeg_array(STORED)
        self.assertEqual((jpeg.shape, jpeg.tobytes()), ((len(REPAIRED),), REPAIRED))
        for call in (lambda: self.lib.decode_mask_array(b"\x12\x03", 1, 1),
                     lambda: self.lib.decode_mask_array(FIVE_BY_THREE, 0, 3),
                     lambda: self.lib.repair_jpeg_array(b"\x00\x01")):
            with self.assertRaises(ValueError):
                call()

    def test_views_the_result_and_releases_it_with_the_last_view(self):
        sizes, released = spy_on_the_library(self.lib)
        image = self.lib.decode_mask_array(FIVE_BY_THREE, 5, 3)
        jpeg = self.lib.repair_jpeg_array(STORED)
        (mask_address, _), (jpeg_address, _) = sizes.items()
        # The arrays' data is the library's buffer itself: nothing was copied.
        self.assertEqual(image.__array_interface__["data"][0], mask_address)
        self.assertEqual(jpeg.__array_interface__["data"][0], jpeg_address)
        alpha = image[1:, :, 3]
        del image
        self.assertEqual(released, [], "released while a view was alive")
        self.assertEqual(alpha.ravel().tolist(), FIVE_BY_THREE_ALPHA[5:])
        del alpha
        self.assertEqual(released, [mask_address])
        self.assertEqual(jpeg.tobytes(), REPAIRED)
        del jpeg
        self.assertEqual(released, [mask_address, jpeg_address])

    def test_many_arrays_do_not_grow_resident_memory(self):
        payload = bytearray(FIVE_BY_THREE)

        def calls():
            self.lib.decode_mask_array(payload, 5, 3)
            self.lib.repair_jpeg_array(STORED)

        assert_resident_memory_stays_flat(self, calls)


class Discovery(unittest.TestCase):
    """How the package finds the library when no path is given."""

    def run_python(self, code, **env):
        full_env = dict(os.environ, PYTHONPATH=PYTHON_DIR, **env)
        return subprocess.run([sys.executable, "-c", code], env=full_env,
                              capture_output=True, text=True)

    def test_environment_variable(self):
        done = self.run_python("import maskjpeg; print(len(maskjpeg.decode_mask(b'\\x12\\x03\\x11"
                               "\\x00\\x00', 1, 1)), maskjpeg._library().path)",
                               MASKJPEG_LIBRARY=LIB)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout.split(), ["4", LIB])

    def test_soname_on_the_loader_path(self):
        done = self.run_python("import maskjpeg; print(maskjpeg._library().path)",
                               LD_LIBRARY_PATH=os.path.dirname(LIB), MASKJPEG_LIBRARY="")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout.strip(), maskjpeg.SONAME)

    def test_missing_library_is_a_clear_error(self):
        done = self.run_python("import maskjpeg; maskjpeg.repair_jpeg(b'\\xff')",
                               MASKJPEG_LIBRARY="/nonexistent/libmaskjpeg.so.1")
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("cannot load the maskjpeg library", done.stderr)
        self.assertIn("MASKJPEG_LIBRARY", done.stderr)


if __name__ == "__main__":
    LIB = os.path.abspath(sys.argv.pop(1))
    unittest.main()
