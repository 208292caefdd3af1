// repair_jpeg at the marker level: one table of stored inputs and what each
// must become, failures included.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "maskjpeg.h"
#include "test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The three-component example and its repaired form.
const char* const kStored = "FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11 12 FF 34 FF D9";
const char* const kRepaired = "FF D8 FF DA 00 0C 03 01 00 02 11 03 11 00 3F 00 12 FF 00 34 FF D9";

struct Case {
  const char* what;
  Bytes input;
  Bytes expected;  // empty: the call must fail
};

std::vector<Case> cases() {
  const Bytes jfif =
      hex("FF D8 FF E0 00 10 4A 46 49 46 00 01 01 00 00 01 00 01 00 00"
          " FF DB 00 04 01 02 FF DA 00 0C 03 01 00 02 11 03 11 00 3F 00 12 FF 00 34 FF D9");
  // A scan header with the given length field and header bytes after it
  // (a component count of 3, then filler), followed by `tail`.
  auto with_scan_header = [](size_t length, size_t header_bytes, const char* tail) {
    Bytes b = {0xFF,
               0xD8,
               0xFF,
               0xDA,
               static_cast<uint8_t>(length >> 8),
               static_cast<uint8_t>(length & 0xFF),
               0x03};
    b.resize(b.size() + header_bytes - 1, 0x11);
    const Bytes t = hex(tail);
    b.insert(b.end(), t.begin(), t.end());
    return b;
  };

  return {
      // What the stored form becomes.
      {"SOI and EOI only", hex("FF D8 FF D9"), hex("FF D8 FF D9")},
      {"three-component example", hex(kStored), hex(kRepaired)},
      {"without FF A0", hex("FF D8 FF DA 00 09 03 01 00 02 11 03 11 12 FF 34 FF D9"),
       hex(kRepaired)},
      {"FF A0 twice", hex("FF D8 FF A0 FF A0 FF DA 00 09 03 01 00 02 11 03 11 12 FF 34 FF D9"),
       hex(kRepaired)},
      {"one-component scan", hex("FF D8 FF DA 00 05 01 01 00 AB FF D9"),
       hex("FF D8 FF DA 00 08 01 01 00 00 3F 00 AB FF D9")},
      {"stored scan header of length 2", hex("FF D8 FF DA 00 02 12 FF 34 FF D9"),
       hex("FF D8 FF DA 00 05 00 3F 00 12 FF 00 34 FF D9")},
      {"longest scan header", with_scan_header(65532, 65530, "AB FF D9"),
       with_scan_header(65535, 65530, "00 3F 00 AB FF D9")},
      {"segments before the scan are copied",
       hex("FF D8 FF A0 FF DB 00 04 01 02 FF C4 00 03 05 FF C0 00 02 FF DA 00 02 FF D9"),
       hex("FF D8 FF DB 00 04 01 02 FF C4 00 03 05 FF C0 00 02 FF DA 00 05 00 3F 00 FF D9")},
      {"fill bytes before a marker pass", hex("FF FF FF D8 FF D9"), hex("FF FF FF D8 FF D9")},
      // Fill bytes go with the marker they precede: dropped with an FF A0.
      {"fill byte before FF A0", hex("FF D8 FF FF A0 FF D9"), hex("FF D8 FF D9")},
      {"fill byte before a final FF A0", hex("FF D8 FF FF A0"), hex("FF D8")},
      // The end of the scan.
      {"scan cut short ends with EOI", hex("FF D8 FF DA 00 02 12 34"),
       hex("FF D8 FF DA 00 05 00 3F 00 12 34 FF D9")},
      {"scan ending in a lone FF", hex("FF D8 FF DA 00 02 12 FF"),
       hex("FF D8 FF DA 00 05 00 3F 00 12 FF 00 FF D9")},
      {"bytes after the end marker are scan data", hex("FF D8 FF DA 00 02 12 FF D9 00"),
       hex("FF D8 FF DA 00 05 00 3F 00 12 FF 00 D9 00 FF D9")},
      {"empty scan", hex("FF DA 00 02 FF D9"), hex("FF DA 00 05 00 3F 00 FF D9")},
      {"all-FF scan, more than twice the input", hex("FF DA 00 02 FF FF FF"),
       hex("FF DA 00 05 00 3F 00 FF 00 FF 00 FF 00 FF D9")},
      {"one FF after the header, no end marker", hex("FF DA 00 02 FF"),
       hex("FF DA 00 05 00 3F 00 FF 00 FF D9")},
      // Standard streams pass unchanged.
      {"JFIF", jfif, jfif},
      {"standard scan header without APP0", hex(kRepaired), hex(kRepaired)},
      {"APP1, COM and DRI segments",
       hex("FF D8 FF E1 00 04 AA BB FF FE 00 03 41 FF DD 00 04 00 10 FF D9"),
       hex("FF D8 FF E1 00 04 AA BB FF FE 00 03 41 FF DD 00 04 00 10 FF D9")},
      {"APP1 with nothing after it", hex("FF D8 FF E1 00 04 AA BB"),
       hex("FF D8 FF E1 00 04 AA BB")},
      {"bytes after EOI are not part of the image", hex("FF D8 FF D9 12 34"), hex("FF D8 FF D9")},
      // Input that is no marker stream fails.
      {"does not start with FF", hex("00 01 02 03 04"), {}},
      {"lone FF at the end", hex("FF D8 FF"), {}},
      {"only FF A0: nothing written", hex("FF A0"), {}},
      {"fill bytes and FF A0: nothing written", hex("FF FF A0"), {}},
      {"fill bytes at the end", hex("FF D8 FF FF"), {}},
      {"non-FF byte where a marker starts", hex("FF D8 12 FF D9"), {}},
      {"marker byte without a length (TEM)", hex("FF D8 FF 01 FF D9"), {}},
      {"marker byte below C0", hex("FF D8 FF BF 00 02 FF D9"), {}},
      {"restart marker outside a scan", hex("FF D8 FF D0 FF D9"), {}},
      {"segment past the end", hex("FF D8 FF DB 00 10 01 02"), {}},
      {"length field cut", hex("FF D8 FF DB 00"), {}},
      {"segment length below 2", hex("FF D8 FF DB 00 01 FF D9"), {}},
      {"scan length field cut", hex("FF D8 FF DA 00"), {}},
      {"scan length below 2", hex("FF D8 FF DA 00 01 FF D9"), {}},
      {"scan header past the end", hex("FF D8 FF DA 00 09 03 01 00"), {}},
      {"scan header too long to fix", with_scan_header(65533, 65531, "AB FF D9"), {}},
  };
}

TEST(RepairJpeg, MarkerTable) {
  for (const Case& c : cases()) {
    // Copy into an exactly sized buffer so a read past the end is caught by
    // the sanitizer build.
    const Bytes input = c.input;
    EXPECT_EQ(repair(input), c.expected) << c.what;
  }
}

TEST(RepairJpeg, ArgumentChecks) {
  const Bytes soi = hex("FF D8 FF D9");
  int32_t size = -1;
  EXPECT_EQ(repair_jpeg(nullptr, 4, &size), nullptr);
  EXPECT_EQ(size, 0);
  for (int32_t len : {0, -1, INT32_MIN, int32_t{1} << 30, INT32_MAX}) {
    size = -1;
    EXPECT_EQ(repair_jpeg(soi.data(), len, &size), nullptr) << len;
    EXPECT_EQ(size, 0);
  }
  EXPECT_EQ(repair_jpeg(soi.data(), 4, nullptr), nullptr);
}

// Tiny all-FF scans give the largest results relative to the input; each
// length around the kernels' step sizes must be exact (and stay inside the
// result, which the sanitizer build checks).
TEST(RepairJpeg, AllFFScansOfEveryLength) {
  for (size_t k = 0; k <= 600; ++k) {
    Bytes stored = hex("FF DA 00 02");
    stored.resize(4 + k, 0xFF);
    Bytes expected = hex("FF DA 00 05 00 3F 00");
    for (size_t i = 0; i < k; ++i) expected.insert(expected.end(), {0xFF, 0x00});
    expected.insert(expected.end(), {0xFF, 0xD9});
    ASSERT_EQ(repair(stored), expected) << k << " FF bytes";
  }
}

// Scans from FF-free to all-FF, sized so the stuffing outgrows the first
// allocation early, late or not at all: the result is always the whole scan
// stuffed, nothing lost at the point where the buffer had to grow.
TEST(RepairJpeg, ScansOfEveryDensity) {
  std::mt19937 rng(99);
  for (unsigned one_in : {0u, 256u, 64u, 40u, 16u, 2u, 1u}) {
    for (size_t length : {size_t{1000}, size_t{100000}, size_t{1} << 20}) {
      Bytes stored = hex("FF D8 FF A0 FF DA 00 05 01 01 00");
      Bytes expected = hex("FF D8 FF DA 00 08 01 01 00 00 3F 00");
      for (size_t i = 0; i < length; ++i) {
        uint8_t b = static_cast<uint8_t>(rng() % 255);  // never FF by itself
        if (one_in != 0 && rng() % one_in == 0) b = 0xFF;
        stored.push_back(b);
        expected.push_back(b);
        if (b == 0xFF) expected.push_back(0x00);
      }
      stored.insert(stored.end(), {0xFF, 0xD9});
      expected.insert(expected.end(), {0xFF, 0xD9});
      ASSERT_EQ(repair(stored), expected) << "one FF in " << one_in << ", " << length << " bytes";
    }
  }
}

TEST(RepairJpeg, EitherNameReleasesAJpegResult) {
  for (auto release : {free_jpeg_buffer, free_mask_buffer}) {
    int32_t size = 0;
    const Bytes soi = hex("FF D8 FF D9");
    uint8_t* out = repair_jpeg(soi.data(), 4, &size);
    ASSERT_NE(out, nullptr);
    release(out);
  }
}

}  // namespace
