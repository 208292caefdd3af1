// maskjpeg from Node.js through koffi: decode a mask, repair a stored JPEG,
// show a rejection. Each result is copied out with koffi.decode, which makes
// a JavaScript copy, and only then released through the library. (koffi.view
// would share the library's memory, which is gone after the release.)
'use strict';
const koffi = require('koffi');

// The library's file: maskjpeg.dll on Windows, the soname elsewhere.
const libraryName = process.env.MASKJPEG_LIBRARY || {
  win32: 'maskjpeg.dll',
  darwin: 'libmaskjpeg.1.dylib',
}[process.platform] || 'libmaskjpeg.so.1';
const lib = koffi.load(libraryName);

// __stdcall is what the library uses on 32-bit Windows; koffi ignores it on
// every other platform, where the C convention applies.
const decodeMask = lib.func('uint8_t * __stdcall decode_mask(const uint8_t *data, int32_t data_len, ' +
                            'int32_t width, int32_t height, _Out_ int32_t *out_size)');
const repairJpeg = lib.func('uint8_t * __stdcall repair_jpeg(const uint8_t *data, int32_t data_len, ' +
                            '_Out_ int32_t *out_size)');
const freeMaskBuffer = lib.func('void __stdcall free_mask_buffer(void *buffer)');

// A copy of the result's bytes (null for a failed call); the result is
// released either way.
function take(result, size) {
  if (result === null) return null;
  try {
    return Buffer.from(koffi.decode(result, 'uint8_t', size));
  } finally {
    freeMaskBuffer(result);
  }
}

function decode(payload, width, height) {
  const size = [0];
  return take(decodeMask(payload, payload.length, width, height, size), size[0]);
}

function repair(stored) {
  const size = [0];
  const result = take(repairJpeg(stored, stored.length, size), size[0]);
  return { result, size: size[0] };
}

const mask5x3 = Buffer.from('17E4031B02FFFE110000', 'hex');
const storedJpeg = Buffer.from('FFD8FFA0FFDA000903010002110311' + '12FF34FFD9', 'hex');
const notAJpeg = Buffer.from([0x00, 0x01, 0x02]);

const rgba = decode(mask5x3, 5, 3);
const alpha = [];
for (let i = 3; i < rgba.length; i += 4) alpha.push(rgba[i]);
console.log(`decode_mask 5x3: ${rgba.length} bytes, alpha ${alpha.join(' ')}`);

const jpeg = repair(storedJpeg).result;
const hex = Array.from(jpeg, (b) => b.toString(16).toUpperCase().padStart(2, '0')).join(' ');
console.log(`repair_jpeg: ${storedJpeg.length} bytes in, ${jpeg.length} bytes out: ${hex}`);

const rejected = repair(notAJpeg);
if (rejected.result !== null) process.exit(1);
console.log(`rejected: ${notAJpeg.length} bytes that are not a JPEG give no result, size ${rejected.size}`);
