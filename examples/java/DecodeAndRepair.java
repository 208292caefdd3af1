// maskjpeg from Java, through JNA: decode a mask, repair a stored JPEG, show
// a rejection. Each result is copied into a Java array and released through
// the library in a finally block.
import com.sun.jna.Function;
import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.Platform;
import com.sun.jna.Pointer;
import com.sun.jna.ptr.IntByReference;
import java.util.Map;
import java.util.StringJoiner;

public final class DecodeAndRepair {
    /** The library's four functions. */
    public interface Maskjpeg extends Library {
        Pointer decode_mask(byte[] data, int dataLen, int width, int height, IntByReference outSize);

        Pointer repair_jpeg(byte[] data, int dataLen, IntByReference outSize);

        void free_mask_buffer(Pointer buffer);

        void free_jpeg_buffer(Pointer buffer);
    }

    /**
     * Loads the library by the name the platform gives it: maskjpeg.dll on
     * Windows, and the soname elsewhere (JNA would otherwise look for
     * libmaskjpeg.so, the development symlink). The functions are stdcall on
     * 32-bit Windows and the platform's C convention everywhere else.
     */
    static Maskjpeg load() {
        String name = Platform.isWindows() ? "maskjpeg"
                : Platform.isMac() ? "libmaskjpeg.1.dylib" : "libmaskjpeg.so.1";
        int convention = Platform.isWindows() && !Platform.is64Bit()
                ? Function.ALT_CONVENTION : Function.C_CONVENTION;
        return Native.load(System.getProperty("maskjpeg.library", name), Maskjpeg.class,
                Map.of(Library.OPTION_CALLING_CONVENTION, convention));
    }

    static final Maskjpeg MASKJPEG = load();

    /** The result's bytes, or null for a failed call; the result is released either way. */
    static byte[] take(Pointer result, IntByReference size) {
        if (result == null) return null;
        try {
            return result.getByteArray(0, size.getValue());
        } finally {
            MASKJPEG.free_mask_buffer(result);
        }
    }

    public static void main(String[] args) {
        byte[] mask5x3 = bytes(0x17, 0xE4, 0x03, 0x1B, 0x02, 0xFF, 0xFE, 0x11, 0x00, 0x00);
        byte[] storedJpeg = bytes(0xFF, 0xD8, 0xFF, 0xA0, 0xFF, 0xDA, 0x00, 0x09, 0x03, 0x01,
                0x00, 0x02, 0x11, 0x03, 0x11, 0x12, 0xFF, 0x34, 0xFF, 0xD9);
        byte[] notAJpeg = bytes(0x00, 0x01, 0x02);
        IntByReference size = new IntByReference();

        byte[] rgba = take(MASKJPEG.decode_mask(mask5x3, mask5x3.length, 5, 3, size), size);
        if (rgba == null) System.exit(1);
        StringJoiner alpha = new StringJoiner(" ");
        for (int i = 3; i < rgba.length; i += 4) alpha.add(Integer.toString(rgba[i] & 0xFF));
        System.out.println("decode_mask 5x3: " + rgba.length + " bytes, alpha " + alpha);

        byte[] jpeg = take(MASKJPEG.repair_jpeg(storedJpeg, storedJpeg.length, size), size);
        if (jpeg == null) System.exit(1);
        StringJoiner hex = new StringJoiner(" ");
        for (byte b : jpeg) hex.add(String.format("%02X", b & 0xFF));
        System.out.println("repair_jpeg: " + storedJpeg.length + " bytes in, " + jpeg.length
                + " bytes out: " + hex);

        if (take(MASKJPEG.repair_jpeg(notAJpeg, notAJpeg.length, size), size) != null) System.exit(1);
        System.out.println("rejected: " + notAJpeg.length
                + " bytes that are not a JPEG give no result, size " + size.getValue());
    }

    static byte[] bytes(int... values) {
        byte[] out = new byte[values.length];
        for (int i = 0; i < values.length; i++) out[i] = (byte) values[i];
        return out;
    }
}
