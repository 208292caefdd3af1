"""The Python binding against the bare C call it makes, and against what a
Python user would write without the library (python-lzo + numpy).

usage: python_bench.py LIBRARY [REPETITIONS]

Each figure is the median over REPETITIONS batches of the time per call.
Every call's result is released before the next call, as a program that
decodes one mask after another does. A missed target is marked MISSED in
the table, as the C benchmarks do.
"""
import concurrent.futures
import ctypes
import mmap
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
import maskjpeg  # noqa: E402
import numpy  # noqa: E402

try:
    import lzo
except ImportError:
    lzo = None

ALPHA = numpy.array([0, 1, 1, 128], numpy.uint8)


def runs_mask(width, height, seed):
    """Packed 2-bit codes in runs of 0..63 pixels, as the C benchmarks use."""
    rng = numpy.random.default_rng(seed)
    row_bytes = (width + 3) // 4
    pixels = row_bytes * 4 * height
    lengths = rng.integers(1, 64, pixels // 16 + 64)
    codes = numpy.repeat(rng.integers(0, 4, lengths.size).astype(numpy.uint8), lengths)[:pixels]
    quads = codes.reshape(-1, 4)
    return (quads[:, 0] | quads[:, 1] << 2 | quads[:, 2] << 4 | quads[:, 3] << 6).tobytes()


def lzo1x_1(raw):
    """A raw LZO1X stream (no python-lzo header) of raw."""
    if lzo is None:
        raise RuntimeError("python-lzo is needed to make the payloads (Debian's python3-lzo)")
    return lzo.compress(raw, 1, False)


def python_lzo_and_numpy(payload, width, height):
    """What a Python user would write: decompress, unpack the codes, map them
    to alpha and build the RGBA array."""
    row_bytes = (width + 3) // 4
    packed = numpy.frombuffer(lzo.decompress(payload, False, row_bytes * height), numpy.uint8)
    packed = packed.reshape(height, row_bytes)
    codes = numpy.stack([(packed >> shift) & 3 for shift in (0, 2, 4, 6)], axis=-1)
    rgba = numpy.full((height, width, 4), 255, numpy.uint8)
    rgba[..., 3] = ALPHA[codes.reshape(height, row_bytes * 4)[:, :width]]
    return rgba


def per_call(functions, calls, repetitions):
    """Seconds per call of each function in each of repetitions batches of
    calls; the batches of the functions take turns, so that a busy spell of
    the machine falls on all of them alike."""
    times = [[] for _ in functions]
    for _ in range(repetitions):
        for function, spent in zip(functions, times):
            start = time.perf_counter()
            for _ in range(calls):
                function()
            spent.append((time.perf_counter() - start) / calls)
    return times


def ratio(times, floors):
    """The median of the batch-by-batch ratios of two functions timed
    together: steadier than a ratio of medians on a noisy machine."""
    return statistics.median(t / f for t, f in zip(times, floors))


def stored_jpeg(size, seed):
    """A stored-variant stream of about size bytes: SOI, FF A0, a short scan
    header, then entropy-like scan bytes (some FF among them) and EOI."""
    rng = numpy.random.default_rng(seed)
    scan = rng.integers(0, 256, size, numpy.uint8).tobytes()
    return bytes.fromhex("FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11") + scan + b"\xFF\xD9"


def main():
    library = maskjpeg.Library(os.path.abspath(sys.argv[1]))
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    raw = library._lib
    rows = []

    def row(case, name, times, floor_name=None, floor_times=None, target=None):
        seconds = statistics.median(times)
        text = ""
        if floor_times is not None:
            value = ratio(times, floor_times)
            text = "%.2f" % value
            if target is not None:
                text += " (target <=%.2f, %s)" % (target, "ok" if value <= target else "MISSED")
        rows.append((case, name, "%.3f ms" % (seconds * 1e3), floor_name or "", text))

    for width, height, calls, array_target in ((512, 512, 400, 1.25), (4096, 4096, 8, 1.1)):
        payload = lzo1x_1(runs_mask(width, height, width))
        case = "mask %dx%d" % (width, height)
        size = ctypes.c_int32()

        def bare():
            result = raw.decode_mask(payload, len(payload), width, height, ctypes.byref(size))
            raw.free_mask_buffer(result)

        def array():
            maskjpeg_array = library.decode_mask_array(payload, width, height)
            del maskjpeg_array  # the last view: the result is released here

        assert (library.decode_mask_array(payload, width, height)
                == python_lzo_and_numpy(payload, width, height)).all()
        c_call, zero_copy = per_call([bare, array], calls, repetitions)
        copied, = per_call([lambda: library.decode_mask(payload, width, height)],
                           max(calls // 4, 2), repetitions)
        python, = per_call([lambda: python_lzo_and_numpy(payload, width, height)],
                           max(calls // 4, 2), repetitions)
        row(case, "bare C call through ctypes", c_call)
        row(case, "decode_mask_array (no copy)", zero_copy, "bare C call", c_call, array_target)
        row(case, "decode_mask (bytes, a copy)", copied, "bare C call", c_call)
        slower = statistics.median(python) / statistics.median(zero_copy)
        rows.append((case, "python-lzo + numpy", "%.3f ms" % (statistics.median(python) * 1e3),
                     "decode_mask_array", "%.2fx slower (target >= 2.00, %s)"
                     % (slower, "ok" if slower >= 2 else "MISSED")))

    # Threads: each of 1 or 2 Python threads makes calls back to back; the
    # GIL is released during each native call, so two threads share the work.
    for width, calls in ((512, 4000), (4096, 40)):
        payload = lzo1x_1(runs_mask(width, width, 7))

        def worker(count):
            for _ in range(count):
                library.decode_mask_array(payload, width, width)

        for threads in (1, 2):
            with concurrent.futures.ThreadPoolExecutor(threads) as pool:
                start = time.perf_counter()
                list(pool.map(worker, [calls // threads] * threads))
                seconds = time.perf_counter() - start
            rows.append(("mask %dx%d" % (width, width), "decode_mask_array, %d thread%s"
                         % (threads, "s"[threads == 1:]), "%.3f ms" % (seconds / calls * 1e3),
                         "", "%.0f calls/s" % (calls / seconds)))

    # repair_jpeg: bytes against the zero-copy array.
    for size in (64 << 10, 1 << 20, 16 << 20):
        stored = stored_jpeg(size, size)
        calls = max(4, (64 << 20) // size)
        case = "JPEG %s" % ("%d KiB" % (size >> 10) if size < 1 << 20 else "%d MiB" % (size >> 20))
        copied, zero_copy = per_call([lambda: library.repair_jpeg(stored),
                                      lambda: library.repair_jpeg_array(stored).shape],
                                     calls, repetitions)
        row(case, "repair_jpeg (bytes, a copy)", copied)
        row(case, "repair_jpeg_array (no copy)", zero_copy, "repair_jpeg", copied)

    # A read-only mmap of a file, the usual way to read an archive: its own
    # pages reach the library, so it costs what bytes cost.
    stored = stored_jpeg(16 << 20, 16)
    with tempfile.TemporaryFile() as file:
        file.write(stored)
        file.flush()
        with mmap.mmap(file.fileno(), 0, access=mmap.ACCESS_READ) as mapping:
            from_bytes, from_mmap = per_call([lambda: library.repair_jpeg_array(stored).shape,
                                              lambda: library.repair_jpeg_array(mapping).shape],
                                             4, repetitions)
    row("JPEG 16 MiB", "repair_jpeg_array (bytes input)", from_bytes)
    row("JPEG 16 MiB", "repair_jpeg_array (read-only mmap input)", from_mmap,
        "bytes input", from_bytes, 1.1)

    print("Python binding (%s), medians of %d repetitions, library %s"
          % (sys.version.split()[0], repetitions, library.path))
    print("| case | call | time | against | ratio |")
    print("|---|---|---:|---|---|")
    for case in rows:
        print("| %s |" % " | ".join(case))


if __name__ == "__main__":
    main()
