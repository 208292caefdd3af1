//! maskjpeg from Rust, with no crates: decode a mask, repair a stored JPEG,
//! show a rejection. Each result is a `Buffer` that releases itself through
//! the library when dropped.
use std::ops::Deref;
use std::os::raw::c_void;
use std::ptr::NonNull;

mod ffi {
    use std::os::raw::c_void;

    // "system" is stdcall on 32-bit Windows and the C convention everywhere
    // else: the library's MASKJPEG_CALL. (Edition 2024 spells this block
    // `unsafe extern "system"`.)
    extern "system" {
        pub fn decode_mask(
            data: *const u8,
            data_len: i32,
            width: i32,
            height: i32,
            out_size: *mut i32,
        ) -> *mut u8;
        pub fn repair_jpeg(data: *const u8, data_len: i32, out_size: *mut i32) -> *mut u8;
        pub fn free_mask_buffer(buffer: *mut c_void);
    }
}

/// One result of the library, released through it on drop.
pub struct Buffer {
    data: NonNull<u8>,
    len: usize,
}

impl Buffer {
    /// Takes ownership of what a call returned; None for a failed call.
    fn from_result(data: *mut u8, size: i32) -> Option<Buffer> {
        NonNull::new(data).map(|data| Buffer { data, len: size as usize })
    }
}

impl Deref for Buffer {
    type Target = [u8];
    fn deref(&self) -> &[u8] {
        // The library's result holds `len` bytes and lives until drop.
        unsafe { std::slice::from_raw_parts(self.data.as_ptr(), self.len) }
    }
}

impl Drop for Buffer {
    fn drop(&mut self) {
        unsafe { ffi::free_mask_buffer(self.data.as_ptr() as *mut c_void) }
    }
}

/// The input's length as the library takes it; None past 2^31 - 1 bytes.
fn length(data: &[u8]) -> Option<i32> {
    i32::try_from(data.len()).ok()
}

pub fn decode_mask(payload: &[u8], width: i32, height: i32) -> Option<Buffer> {
    let mut size = 0;
    let result = unsafe {
        ffi::decode_mask(payload.as_ptr(), length(payload)?, width, height, &mut size)
    };
    Buffer::from_result(result, size)
}

/// The repaired stream, or the size the library wrote (0) when it rejects.
pub fn repair_jpeg(stored: &[u8]) -> Result<Buffer, i32> {
    let mut size = 0;
    let len = length(stored).ok_or(0)?;
    let result = unsafe { ffi::repair_jpeg(stored.as_ptr(), len, &mut size) };
    Buffer::from_result(result, size).ok_or(size)
}

fn main() {
    let mask_5x3 = [0x17, 0xE4, 0x03, 0x1B, 0x02, 0xFF, 0xFE, 0x11, 0x00, 0x00];
    let stored_jpeg = [
        0xFF, 0xD8, 0xFF, 0xA0, 0xFF, 0xDA, 0x00, 0x09, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11,
        0x12, 0xFF, 0x34, 0xFF, 0xD9,
    ];
    let not_a_jpeg = [0x00, 0x01, 0x02];

    let rgba = decode_mask(&mask_5x3, 5, 3).expect("decode_mask failed");
    let alpha: Vec<String> = rgba.chunks_exact(4).map(|pixel| pixel[3].to_string()).collect();
    println!("decode_mask 5x3: {} bytes, alpha {}", rgba.len(), alpha.join(" "));

    let jpeg = repair_jpeg(&stored_jpeg).expect("repair_jpeg failed");
    let hex: Vec<String> = jpeg.iter().map(|byte| format!("{:02X}", byte)).collect();
    println!(
        "repair_jpeg: {} bytes in, {} bytes out: {}",
        stored_jpeg.len(),
        jpeg.len(),
        hex.join(" ")
    );

    match repair_jpeg(&not_a_jpeg) {
        Ok(_) => std::process::exit(1),
        Err(size) => println!(
            "rejected: {} bytes that are not a JPEG give no result, size {}",
            not_a_jpeg.len(),
            size
        ),
    }
}
