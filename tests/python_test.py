"""The Python binding against the built library: usage: python_test.py LIB"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "python"))
import maskjpeg  # noqa: E402

LIB = None


class Binding(unittest.TestCase):
    def setUp(self):
        self.lib = maskjpeg.Library(LIB)

    def test_decode_mask(self):
        stream = bytes.fromhex("17 E4 03 1B 02 FF FE 11 00 00")
        rgba = self.lib.decode_mask(stream, 5, 3)
        self.assertEqual(len(rgba), 60)
        self.assertEqual(list(rgba[3::4]), [0, 1, 1, 128, 128, 128, 1, 1, 0, 1, 128, 128, 128, 128, 1])
        self.assertEqual(set(rgba[0::4] + rgba[1::4] + rgba[2::4]), {255})

    def test_repair_jpeg(self):
        stored = bytes.fromhex("FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11 12 FF 34 FF D9")
        self.assertEqual(
            self.lib.repair_jpeg(stored),
            bytes.fromhex("FF D8 FF DA 00 0C 03 01 00 02 11 03 11 00 3F 00 12 FF 00 34 FF D9"))

    def test_failures_raise(self):
        with self.assertRaises(maskjpeg.MaskjpegError):
            self.lib.decode_mask(b"\x12\x03", 1, 1)
        with self.assertRaises(maskjpeg.MaskjpegError):
            self.lib.decode_mask(b"\x11\x00\x00", 0, 1)
        with self.assertRaises(maskjpeg.MaskjpegError):
            self.lib.repair_jpeg(b"\x00\x01\x02")
        with self.assertRaises(ValueError):
            self.lib.repair_jpeg(b"")


if __name__ == "__main__":
    LIB = sys.argv.pop(1)
    unittest.main()
