// maskjpeg from C#: P/Invoke, with each result owned by a SafeHandle whose
// ReleaseHandle gives it back to the library, even on an exception or when
// the caller forgets Dispose.
using System;
using System.Linq;
using System.Runtime.InteropServices;
using Microsoft.Win32.SafeHandles;

static class Native
{
    // "maskjpeg" is maskjpeg.dll on Windows. On Linux the runtime would look
    // for libmaskjpeg.so, the development symlink; Program.exe.config maps
    // the name to the soname, libmaskjpeg.so.1, which every install has.
    const string Library = "maskjpeg";

    // Winapi: stdcall on 32-bit Windows, the platform's C convention
    // everywhere else, as the library's header declares.
    [DllImport(Library, CallingConvention = CallingConvention.Winapi)]
    public static extern MaskjpegBuffer decode_mask(byte[] data, int dataLen, int width,
                                                    int height, out int outSize);

    [DllImport(Library, CallingConvention = CallingConvention.Winapi)]
    public static extern MaskjpegBuffer repair_jpeg(byte[] data, int dataLen, out int outSize);

    [DllImport(Library, CallingConvention = CallingConvention.Winapi)]
    public static extern void free_mask_buffer(IntPtr buffer);
}

// A result of the library. IsInvalid for a failed call (a null pointer).
sealed class MaskjpegBuffer : SafeHandleZeroOrMinusOneIsInvalid
{
    MaskjpegBuffer() : base(ownsHandle: true) { }

    protected override bool ReleaseHandle()
    {
        Native.free_mask_buffer(handle);
        return true;
    }

    public byte[] ToArray(int size)
    {
        var bytes = new byte[size];
        Marshal.Copy(handle, bytes, 0, size);
        return bytes;
    }
}

static class Program
{
    static readonly byte[] Mask5x3 = { 0x17, 0xE4, 0x03, 0x1B, 0x02, 0xFF, 0xFE, 0x11, 0x00, 0x00 };
    static readonly byte[] StoredJpeg = { 0xFF, 0xD8, 0xFF, 0xA0, 0xFF, 0xDA, 0x00, 0x09, 0x03, 0x01,
                                          0x00, 0x02, 0x11, 0x03, 0x11, 0x12, 0xFF, 0x34, 0xFF, 0xD9 };
    static readonly byte[] NotAJpeg = { 0x00, 0x01, 0x02 };

    static int Main()
    {
        int size;
        using (var rgba = Native.decode_mask(Mask5x3, Mask5x3.Length, 5, 3, out size))
        {
            if (rgba.IsInvalid) return 1;
            var pixels = rgba.ToArray(size);
            var alpha = Enumerable.Range(0, size / 4).Select(i => pixels[4 * i + 3].ToString());
            Console.WriteLine($"decode_mask 5x3: {size} bytes, alpha {string.Join(" ", alpha)}");
        }

        using (var jpeg = Native.repair_jpeg(StoredJpeg, StoredJpeg.Length, out size))
        {
            if (jpeg.IsInvalid) return 1;
            var hex = string.Join(" ", jpeg.ToArray(size).Select(b => b.ToString("X2")));
            Console.WriteLine($"repair_jpeg: {StoredJpeg.Length} bytes in, {size} bytes out: {hex}");
        }

        using (var none = Native.repair_jpeg(NotAJpeg, NotAJpeg.Length, out size))
        {
            if (!none.IsInvalid) return 1;
            Console.WriteLine($"rejected: {NotAJpeg.Length} bytes that are not a JPEG give no result, size {size}");
        }
        return 0;
    }
}
