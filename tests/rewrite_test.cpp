// The JPEG rewrite with outputs of the test's own size and with kernels
// that change the input part-way, as a host thread could: every write must
// stay inside the output's buffer whatever the input does, and a rewrite
// that runs out of room must fail rather than hand over a cut stream.
#include "jpeg/rewrite.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;
using maskjpeg::Output;

Bytes run(const Bytes& in, Output& out, const maskjpeg::ScanKernels& k, bool& ok) {
  ok = maskjpeg::rewrite(in.data(), in.size(), out, k);
  EXPECT_LE(out.size(), out.capacity());
  return Bytes(out.data(), out.data() + out.size());
}

// The reviewer's overflow: a result sized for one input ("FF D8 FF D9", 4
// bytes) written for another (the same bytes with the EOI turned into a
// 4 KiB COM segment). The old writer trusted the first count and wrote the
// whole segment past the 4-byte block.
TEST(Rewrite, OutputSizedForOtherInputFails) {
  Bytes changed = hex("FF D8 FF FE 10 00");
  changed.resize(changed.size() + 4094, 0x00);
  const Bytes eoi = hex("FF D9");
  changed.insert(changed.end(), eoi.begin(), eoi.end());
  Output out(4);
  ASSERT_TRUE(out.ok());
  bool ok = true;
  const Bytes written = run(changed, out, maskjpeg::portable_scan_kernels(), ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(written, hex("FF D8 FF FE"));  // the segment's length field did not fit
}

// Every capacity from 0 up: the rewrite either fails within the capacity or
// (once the headers fit, growing for the scan's stuffing if need be) gives
// exactly the repaired stream.
TEST(Rewrite, EveryCapacityFailsOrGivesTheWholeStream) {
  Bytes all_ff_scan = hex("FF D8 FF A0 FF DA 00 02");
  all_ff_scan.resize(all_ff_scan.size() + 300, 0xFF);
  const Bytes inputs[] = {
      hex("FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11 12 FF 34 FF D9"),
      hex("FF D8 FF DB 00 04 01 02 FF C4 00 03 05 FF DA 00 02 FF FF FF"),
      hex("FF FF D8 FF E0 00 04 AA BB CC"),
      all_ff_scan,
  };
  maskjpeg::ScanKernels kernels[maskjpeg::kMaxScanKernels];
  const size_t families = maskjpeg::supported_scan_kernels(kernels);
  for (size_t f = 0; f < families; ++f) {
    for (const Bytes& in : inputs) {
      const Bytes expected = repair(in);
      ASSERT_FALSE(expected.empty());
      for (size_t capacity = 0; capacity <= expected.size() + 1; ++capacity) {
        Output out(capacity);
        if (!out.ok()) continue;  // malloc(0) may give null
        bool ok = false;
        const Bytes written = run(in, out, kernels[f], ok);
        if (ok) {
          EXPECT_EQ(written, expected) << "capacity " << capacity;
        } else {
          EXPECT_LT(capacity, expected.size()) << "failed with room to spare";
        }
      }
    }
  }
}

// Kernels that count the rest of the scan and then turn all of it into FF
// bytes before it is stuffed: the buffer grown for the count is too small
// for what the scan now holds, and the rewrite must fail inside it.
size_t count_then_fill_with_ff(const uint8_t* in, size_t n) {
  const size_t counted = maskjpeg::portable_scan_kernels().count_ff(in, n);
  std::memset(const_cast<uint8_t*>(in), 0xFF, n);  // the test's own bytes
  return counted;
}

TEST(Rewrite, ScanChangedAfterCountingFails) {
  const Bytes head = hex("FF D8 FF DA 00 02");
  maskjpeg::ScanKernels kernels[maskjpeg::kMaxScanKernels];
  const size_t families = maskjpeg::supported_scan_kernels(kernels);
  for (size_t f = 0; f < families; ++f) {
    Bytes in = head;
    in.resize(head.size() + 2000, 0x12);
    in[head.size() + 10] = 0xFF;  // the first FF finds the room full
    const maskjpeg::ScanKernels changing = {count_then_fill_with_ff, kernels[f].stuff};
    // Room for the stream without its stuffing bytes only.
    Output out(2 + 5 + 2000 + 2);
    ASSERT_TRUE(out.ok());
    bool ok = true;
    run(in, out, changing, ok);
    EXPECT_FALSE(ok);
  }
}

// The trace the CLI explains a result from: one row per way the walk ends,
// with the offset it names. Success or failure must be what repair_jpeg
// returns for the same bytes.
TEST(Rewrite, TraceSaysWhereAndWhyTheWalkEnded) {
  using Stop = maskjpeg::RewriteTrace::Stop;
  const struct {
    const char* in;
    Stop stop;
    size_t at;
  } cases[] = {
      {"FF D8 FF DB 00 04 01 02", Stop::kEndOfInput, 8},
      {"FF D8 FF A0 FF D9 00", Stop::kEndOfImage, 5},
      {"FF D8 FF E0 00 02", Stop::kStandardRest, 3},
      {"FF D8 FF DA 00 08 01 01 00 00 3F 00 12", Stop::kStandardScan, 3},
      {"FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11 12 FF 34 FF D9", Stop::kRepairedScan, 5},
      {"00 01 02", Stop::kNotMarker, 0},
      {"FF D8 12", Stop::kNotMarker, 2},
      {"FF D8 FF FF", Stop::kNoMarkerByte, 2},
      {"FF", Stop::kNoMarkerByte, 0},
      {"FF D8 FF 01 00 04", Stop::kUnknownMarker, 3},
      {"FF D8 FF C4 00", Stop::kLengthCut, 3},
      {"FF D8 FF DA 00", Stop::kLengthCut, 3},
      {"FF D8 FF DB 00 01", Stop::kLengthBelowTwo, 3},
      {"FF D8 FF DB 00 10 01", Stop::kSegmentPastEnd, 3},
      {"FF D8 FF DA 00 10 01", Stop::kSegmentPastEnd, 3},
      {"FF D8 FF DA FF FD", Stop::kScanHeaderTooLong, 3},
      {"FF A0 FF A0", Stop::kNothingWritten, 4},
  };
  for (const auto& c : cases) {
    const Bytes in = hex(c.in);
    maskjpeg::RewriteTrace trace;
    size_t size = 0;
    const maskjpeg::Buffer result =
        maskjpeg::repair(in.data(), in.size(), maskjpeg::best_scan_kernels(), size, &trace);
    EXPECT_EQ(static_cast<int>(trace.stop), static_cast<int>(c.stop)) << c.in;
    EXPECT_EQ(trace.at, c.at) << c.in;
    EXPECT_EQ(result != nullptr, trace.ok()) << c.in;
    EXPECT_EQ(repair(in).empty(), !trace.ok()) << c.in;
  }
}

}  // namespace
