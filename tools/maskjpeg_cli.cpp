// maskjpeg: a command-line look at what the library makes of a payload.
// It reads and writes files; the library itself never does.
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "demo_samples.h"
#include "maskjpeg.h"
#include "payload_info.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  maskjpeg decode-mask IN WIDTH HEIGHT OUT.png\n"
    "      Decode the LZO1X mask payload IN for a WIDTH x HEIGHT mask and\n"
    "      write the RGBA result (white, alpha = mask code: 0, 1, 1, 128).\n"
    "  maskjpeg repair-jpeg IN OUT.jpg\n"
    "      Rewrite the JPEG stored in the compact variant IN as a standard\n"
    "      JPEG file; a standard JPEG comes out unchanged.\n"
    "  maskjpeg info FILE\n"
    "      Say what a payload is: an LZO1X stream (its size, and the mask\n"
    "      shapes it fits) or a JPEG (stored or standard, its frame, its scan).\n"
    "  maskjpeg demo [DIR]\n"
    "      Decode the sample payloads built into this tool and write the\n"
    "      results into DIR (default demo-out/).\n"
    "  maskjpeg --version | --help\n"
    "IN, FILE and OUT may be - for standard input and output.\n";

// Each command's own usage line, for a message about its arguments.
const char* command_usage(const std::string& command) {
  if (command == "decode-mask") return "maskjpeg decode-mask IN WIDTH HEIGHT OUT.png";
  if (command == "repair-jpeg") return "maskjpeg repair-jpeg IN OUT.jpg";
  if (command == "info") return "maskjpeg info FILE";
  return "maskjpeg demo [DIR]";
}

// width * height below this keeps the result size in 32 bits.
constexpr int64_t kPixelLimit = int64_t{1} << 29;

// Owns one result of the library (either release name serves both kinds).
struct Result {
  uint8_t* data = nullptr;
  int32_t size = 0;
  ~Result() { free_mask_buffer(data); }
};

// Files go through C stdio so that every failure, whatever its kind (a
// directory, a missing file, a full disk), is reported with the system's
// reason and never as an exception.
void report_io(const char* what, const std::string& path, int error) {
  std::fprintf(stderr, "maskjpeg: cannot %s %s: %s\n", what, path.c_str(), std::strerror(error));
}

// Reads a payload for the library, whose lengths are 32-bit; "-" is
// standard input.
bool read_payload(const std::string& path, std::vector<uint8_t>& bytes) {
  const bool stdin_ = path == "-";
  std::FILE* file = stdin_ ? stdin : std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    report_io("read", path, errno);
    return false;
  }
  bytes.clear();
  uint8_t chunk[1 << 16];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 &&
         bytes.size() <= static_cast<size_t>(INT32_MAX)) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  const int error = std::ferror(file) ? errno : 0;
  if (!stdin_) std::fclose(file);
  if (error != 0) {
    report_io("read", path, error);
    return false;
  }
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) {
    std::fprintf(stderr, "maskjpeg: %s is too large for a payload (2 GiB at most)\n", path.c_str());
    return false;
  }
  return true;
}

// Opens `path` for writing ("-": standard output); reports the reason when
// it cannot.
std::FILE* open_output(const std::string& path) {
  if (path == "-") return stdout;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) report_io("write", path, errno);
  return file;
}

// Closes a file written to, reporting a write or close that failed (a full
// disk shows only here, when the buffered bytes are flushed).
bool close_output(std::FILE* file, const std::string& path) {
  int error = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
  const int closed = file == stdout ? std::fflush(file) : std::fclose(file);
  if (closed != 0 && error == 0) error = errno;
  if (error != 0) report_io("write", path, error);
  return error == 0;
}

bool write_file(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* file = open_output(path);
  if (file == nullptr) return false;
  errno = 0;
  std::fwrite(data, 1, size, file);
  return close_output(file, path);
}

// Where the one-line report of a success goes: standard output, unless the
// result itself went there.
std::FILE* report_stream(const std::string& out_path) { return out_path == "-" ? stderr : stdout; }

// Reads WIDTH or HEIGHT (`name`): a positive 32-bit integer. Says what is
// wrong when it is not.
bool parse_dimension(const char* name, const char* text, int32_t& value) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v <= 0 || v > INT32_MAX) {
    std::fprintf(stderr, "maskjpeg: %s must be a positive integer, not '%s'\n", name, text);
    return false;
  }
  value = static_cast<int32_t>(v);
  return true;
}

bool write_png(const std::string& path, const uint8_t* pixels, int32_t width, int32_t height,
               png_uint_32 format) {
  std::FILE* file = open_output(path);
  if (file == nullptr) return false;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = format;
  errno = 0;
  const int ok = png_image_write_to_stdio(&image, file, 0, pixels, 0, nullptr);
  const int error = errno;
  const std::string message = image.message;
  png_image_free(&image);
  if (!ok) {
    // A failed write of the file has a system reason; anything else is
    // libpng's own.
    if (error != 0) {
      report_io("write", path, error);
    } else {
      std::fprintf(stderr, "maskjpeg: cannot write %s: %s\n", path.c_str(), message.c_str());
    }
    if (file != stdout) std::fclose(file);
    return false;
  }
  return close_output(file, path);
}

// The mask's alpha values (0, 1, 128) are close to invisible in a viewer, so
// the demo also writes them as opaque grey levels: 0 black, 1 grey, 128 white.
std::vector<uint8_t> alpha_view(const Result& rgba) {
  std::vector<uint8_t> grey(static_cast<size_t>(rgba.size) / 4);
  for (size_t i = 0; i < grey.size(); ++i) {
    const uint8_t a = rgba.data[i * 4 + 3];
    grey[i] = a == 0 ? 0 : a == 1 ? 110 : 255;
  }
  return grey;
}

int decode_mask_command(const std::string& in_path, const char* width_text, const char* height_text,
                        const std::string& out_path) {
  int32_t width = 0, height = 0;
  if (!parse_dimension("WIDTH", width_text, width) ||
      !parse_dimension("HEIGHT", height_text, height)) {
    return 2;
  }
  if (int64_t{width} * height >= kPixelLimit) {
    std::fprintf(stderr,
                 "maskjpeg: a %dx%d mask is too large: width x height must stay below %lld "
                 "(its RGBA result would pass 2 GiB)\n",
                 width, height, static_cast<long long>(kPixelLimit));
    return 1;
  }
  std::vector<uint8_t> payload;
  if (!read_payload(in_path, payload)) return 1;
  if (payload.empty()) {
    std::fprintf(stderr, "maskjpeg: %s is empty\n", in_path.c_str());
    return 1;
  }
  Result mask;
  mask.data =
      decode_mask(payload.data(), static_cast<int32_t>(payload.size()), width, height, &mask.size);
  if (mask.data == nullptr) {
    std::fprintf(
        stderr, "maskjpeg: %s is not a valid %dx%d mask payload: %s\n", in_path.c_str(), width,
        height,
        payload_info::explain_mask_refusal(payload.data(), payload.size(), width, height).c_str());
    return 1;
  }
  if (!write_png(out_path, mask.data, width, height, PNG_FORMAT_RGBA)) return 1;
  size_t alpha_count[3] = {0, 0, 0};  // alpha 0, 1, 128
  for (int32_t i = 3; i < mask.size; i += 4) {
    const uint8_t a = mask.data[i];
    ++alpha_count[a == 0 ? 0 : a == 1 ? 1 : 2];
  }
  std::fprintf(report_stream(out_path),
               "%s: %dx%d mask, %d bytes of RGBA; alpha 0: %zu pixels, 1: %zu, 128: %zu\n",
               out_path.c_str(), width, height, mask.size, alpha_count[0], alpha_count[1],
               alpha_count[2]);
  return 0;
}

int repair_jpeg_command(const std::string& in_path, const std::string& out_path) {
  std::vector<uint8_t> stored;
  if (!read_payload(in_path, stored)) return 1;
  if (stored.empty()) {
    std::fprintf(stderr, "maskjpeg: %s is empty\n", in_path.c_str());
    return 1;
  }
  Result jpeg;
  jpeg.data = repair_jpeg(stored.data(), static_cast<int32_t>(stored.size()), &jpeg.size);
  if (jpeg.data == nullptr) {
    std::fprintf(stderr, "maskjpeg: %s is not a JPEG stream this tool can repair: %s\n",
                 in_path.c_str(),
                 payload_info::read_jpeg(stored.data(), stored.size()).reason.c_str());
    return 1;
  }
  if (!write_file(out_path, jpeg.data, static_cast<size_t>(jpeg.size))) return 1;
  const bool unchanged = static_cast<size_t>(jpeg.size) == stored.size() &&
                         std::memcmp(jpeg.data, stored.data(), stored.size()) == 0;
  if (unchanged) {
    std::fprintf(report_stream(out_path), "%s: standard JPEG, copied unchanged (%d bytes)\n",
                 out_path.c_str(), jpeg.size);
  } else {
    const payload_info::JpegReport info = payload_info::read_jpeg(stored.data(), stored.size());
    std::fprintf(report_stream(out_path),
                 "%s: repaired, %zu stuffing bytes added (%zu -> %d bytes)\n", out_path.c_str(),
                 info.scan_ff, stored.size(), jpeg.size);
  }
  return 0;
}

// Widths and heights whose packed mask is exactly `size` bytes: for each
// row stride s that divides it, widths 4s - 3 to 4s with height size / s.
// The shapes closest to square come first.
std::string mask_shapes(size_t size) {
  std::vector<std::pair<size_t, size_t>> shapes;  // stride, height
  for (size_t s = 1; s * s <= size; ++s) {
    if (size % s != 0) continue;
    shapes.emplace_back(s, size / s);
    if (s != size / s) shapes.emplace_back(size / s, s);
  }
  auto squareness = [](const std::pair<size_t, size_t>& sh) {
    const double w = 4.0 * static_cast<double>(sh.first), h = static_cast<double>(sh.second);
    return w > h ? w / h : h / w;
  };
  std::sort(shapes.begin(), shapes.end(),
            [&](const auto& a, const auto& b) { return squareness(a) < squareness(b); });
  std::string text;
  const size_t shown = std::min<size_t>(shapes.size(), 6);
  for (size_t i = 0; i < shown; ++i) {
    const size_t s = shapes[i].first, h = shapes[i].second;
    if (4 * s * h >= static_cast<size_t>(kPixelLimit)) continue;
    text += "\n  width " + std::to_string(4 * s - 3) + "-" + std::to_string(4 * s) +
            " with height " + std::to_string(h);
  }
  if (shapes.size() > shown) {
    text += "\n  (" + std::to_string(shapes.size() - shown) + " more, further from square)";
  }
  return text;
}

// What `info` decompresses at most to describe an LZO1X stream.
constexpr size_t kInfoLzoLimit = size_t{64} << 20;

void print_jpeg(const std::string& path, const payload_info::JpegReport& jpeg) {
  if (jpeg.verdict == payload_info::JpegReport::kStandard) {
    std::printf("%s: JPEG, standard (repair-jpeg copies it unchanged)\n", path.c_str());
  } else {
    std::printf(
        "%s: JPEG, stored compact variant (repair-jpeg makes it a standard stream of %zu "
        "bytes)\n",
        path.c_str(), jpeg.size);
  }
  if (jpeg.has_frame) {
    std::printf("  frame: %dx%d, %d component%s (SOF marker %02X)\n", jpeg.width, jpeg.height,
                jpeg.components, jpeg.components == 1 ? "" : "s", jpeg.frame_marker);
  }
  if (!jpeg.has_scan) {
    std::printf("  no scan\n");
  } else if (jpeg.verdict == payload_info::JpegReport::kRepaired) {
    std::printf("  scan: %zu bytes of entropy-coded data, %zu FF bytes (each gets a stuffing 00)\n",
                jpeg.scan_bytes, jpeg.scan_ff);
  } else {
    std::printf("  scan: %zu bytes of entropy-coded data\n", jpeg.scan_bytes);
  }
}

void print_lzo(const std::string& path, size_t packed_size, const payload_info::LzoReport& lzo) {
  if (lzo.status == payload_info::LzoReport::kTooLarge) {
    std::printf(
        "%s: LZO1X stream of %zu bytes that decompresses to more than %zu bytes (the most "
        "this command reads)\n",
        path.c_str(), packed_size, lzo.size);
    return;
  }
  std::printf("%s: LZO1X stream of %zu bytes, decompresses to %zu bytes\n", path.c_str(),
              packed_size, lzo.size);
  if (lzo.size > 0) {
    std::printf("as a packed 2-bit mask it fills whole rows of:%s\n",
                mask_shapes(lzo.size).c_str());
    std::printf("(a larger mask also takes it: its rest comes out with alpha 0)\n");
  }
}

// Says what a payload is by which reading of it succeeds: the library's
// JPEG repair, or liblzo2's decompressor. Either can take a stream that
// begins with FF, so both are tried, and a payload both take is said to be
// both.
int info_command(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (!read_payload(path, bytes)) return 1;
  if (bytes.empty()) {
    std::fprintf(stderr, "maskjpeg: %s is empty\n", path.c_str());
    return 1;
  }
  const payload_info::JpegReport jpeg = payload_info::read_jpeg(bytes.data(), bytes.size());
  const payload_info::LzoReport lzo =
      payload_info::read_lzo(bytes.data(), bytes.size(), kInfoLzoLimit);
  const bool is_jpeg = jpeg.verdict != payload_info::JpegReport::kRejected;
  const bool is_lzo = lzo.status == payload_info::LzoReport::kOk ||
                      lzo.status == payload_info::LzoReport::kTooLarge;
  if (!is_jpeg && !is_lzo) {
    std::fprintf(
        stderr, "maskjpeg: %s is neither a JPEG stream (%s) nor a whole LZO1X stream (%s)\n",
        path.c_str(), jpeg.reason.c_str(),
        lzo.status == payload_info::LzoReport::kOutOfMemory ? "out of memory" : lzo.detail.c_str());
    return 1;
  }
  if (is_jpeg && is_lzo) {
    std::printf(
        "%s: reads both as a JPEG stream and as an LZO1X stream; what stored it says "
        "which it is\n",
        path.c_str());
  }
  if (is_jpeg) print_jpeg(path, jpeg);
  if (is_lzo) print_lzo(path, bytes.size(), lzo);
  return 0;
}

int demo_command(const std::string& dir) {
  // The directory itself is made if missing, but not a missing parent: a
  // mistyped path should not leave a tree behind.
  std::error_code ec;
  std::filesystem::create_directory(dir, ec);
  if (ec) {
    std::fprintf(stderr, "maskjpeg: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
    return 1;
  }
  Result mask;
  mask.data = decode_mask(kDemoMask, static_cast<int32_t>(sizeof kDemoMask), kDemoMaskWidth,
                          kDemoMaskHeight, &mask.size);
  if (mask.data == nullptr) {
    std::fprintf(stderr, "maskjpeg: the built-in sample mask failed to decode\n");
    return 1;
  }
  const std::string rgba_path = dir + "/mask.png";
  const std::string view_path = dir + "/mask-view.png";
  if (!write_png(rgba_path, mask.data, kDemoMaskWidth, kDemoMaskHeight, PNG_FORMAT_RGBA) ||
      !write_png(view_path, alpha_view(mask).data(), kDemoMaskWidth, kDemoMaskHeight,
                 PNG_FORMAT_GRAY)) {
    return 1;
  }
  Result photo;
  photo.data =
      repair_jpeg(kDemoStoredPhoto, static_cast<int32_t>(sizeof kDemoStoredPhoto), &photo.size);
  if (photo.data == nullptr) {
    std::fprintf(stderr, "maskjpeg: the built-in sample JPEG failed to repair\n");
    return 1;
  }
  const std::string stored_path = dir + "/photo.stored";
  const std::string photo_path = dir + "/photo.jpg";
  const std::string payload_path = dir + "/mask-" + std::to_string(kDemoMaskWidth) + "x" +
                                   std::to_string(kDemoMaskHeight) + ".lzo";
  if (!write_file(stored_path, kDemoStoredPhoto, sizeof kDemoStoredPhoto) ||
      !write_file(photo_path, photo.data, static_cast<size_t>(photo.size)) ||
      !write_file(payload_path, kDemoMask, sizeof kDemoMask)) {
    return 1;
  }

  std::printf("decoded a %zu-byte LZO1X mask payload into a %dx%d RGBA image (%d bytes)\n",
              sizeof kDemoMask, kDemoMaskWidth, kDemoMaskHeight, mask.size);
  std::printf("  %s       the result as it is: white, alpha 0/1/1/128 by mask code\n",
              rgba_path.c_str());
  std::printf("  %s  its alpha as grey levels (0 black, 1 grey, 128 white): a smiley\n",
              view_path.c_str());
  std::printf("repaired a %zu-byte stored JPEG into a %d-byte standard one (%dx%d)\n",
              sizeof kDemoStoredPhoto, photo.size, kDemoPhotoWidth, kDemoPhotoHeight);
  std::printf("  %s    the stored form, which ordinary decoders reject\n", stored_path.c_str());
  std::printf("  %s       the repaired JPEG: a house on a hill under the sun\n",
              photo_path.c_str());
  std::printf("  %s  the mask payload itself, to try the commands on\n", payload_path.c_str());
  std::printf("try:\n");
  std::printf("  maskjpeg info %s\n", payload_path.c_str());
  std::printf("  maskjpeg decode-mask %s %d %d mask-again.png\n", payload_path.c_str(),
              kDemoMaskWidth, kDemoMaskHeight);
  std::printf("  maskjpeg info %s\n", stored_path.c_str());
  std::printf("  maskjpeg repair-jpeg %s photo-again.jpg\n", stored_path.c_str());
  return 0;
}

// Names what is missing or extra in a command's arguments.
int wrong_arguments(const std::string& command, int given, int wanted_min, int wanted_max,
                    const char* const names[]) {
  if (given < wanted_min) {
    std::fprintf(stderr, "maskjpeg %s: missing %s\nusage: %s\n", command.c_str(), names[given],
                 command_usage(command));
  } else {
    std::fprintf(stderr, "maskjpeg %s: too many arguments (%d, at most %d)\nusage: %s\n",
                 command.c_str(), given, wanted_max, command_usage(command));
  }
  return 2;
}

int run(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const int given = argc > 2 ? argc - 2 : 0;
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("maskjpeg %d.%d.%d\n", MASKJPEG_VERSION_MAJOR, MASKJPEG_VERSION_MINOR,
                MASKJPEG_VERSION_PATCH);
    return 0;
  }
  if (command == "decode-mask") {
    static const char* const kNames[] = {"IN", "WIDTH", "HEIGHT", "OUT.png"};
    if (given != 4) return wrong_arguments(command, given, 4, 4, kNames);
    return decode_mask_command(argv[2], argv[3], argv[4], argv[5]);
  }
  if (command == "repair-jpeg") {
    static const char* const kNames[] = {"IN", "OUT.jpg"};
    if (given != 2) return wrong_arguments(command, given, 2, 2, kNames);
    return repair_jpeg_command(argv[2], argv[3]);
  }
  if (command == "info") {
    static const char* const kNames[] = {"FILE"};
    if (given != 1) return wrong_arguments(command, given, 1, 1, kNames);
    return info_command(argv[2]);
  }
  if (command == "demo") {
    static const char* const kNames[] = {"DIR"};
    if (given > 1) return wrong_arguments(command, given, 0, 1, kNames);
    return demo_command(given == 1 ? argv[2] : "demo-out");
  }
  if (command.empty()) {
    std::fprintf(stderr, "maskjpeg: missing command\n");
  } else {
    std::fprintf(stderr, "maskjpeg: unknown command '%s'\n", command.c_str());
  }
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "maskjpeg: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "maskjpeg: %s\n", e.what());
  }
  return 1;
}
