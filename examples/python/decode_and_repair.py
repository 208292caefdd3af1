"""maskjpeg from Python: decode a mask, repair a stored JPEG, show a rejection.

The package releases every result itself: decode_mask and repair_jpeg return
bytes, decode_mask_array a numpy array that views the library's buffer until
it is garbage-collected.
"""
import maskjpeg

MASK_5X3 = bytes.fromhex("17 E4 03 1B 02 FF FE 11 00 00")
STORED_JPEG = bytes.fromhex("FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11 12 FF 34 FF D9")
NOT_A_JPEG = bytes([0x00, 0x01, 0x02])

rgba = maskjpeg.decode_mask(MASK_5X3, 5, 3)
print("decode_mask 5x3: %d bytes, alpha %s" % (len(rgba), " ".join(map(str, rgba[3::4]))))

try:
    image = maskjpeg.decode_mask_array(MASK_5X3, 5, 3)  # shape (3, 5, 4), no copy
    assert image[..., 3].tobytes() == rgba[3::4]
except ImportError:
    pass  # numpy is not installed

jpeg = maskjpeg.repair_jpeg(STORED_JPEG)
print("repair_jpeg: %d bytes in, %d bytes out: %s"
      % (len(STORED_JPEG), len(jpeg), jpeg.hex(" ").upper()))

try:
    maskjpeg.repair_jpeg(NOT_A_JPEG)
except ValueError:  # maskjpeg.MaskjpegError
    print("rejected: %d bytes that are not a JPEG give no result, size 0" % len(NOT_A_JPEG))
