// maskjpeg: a command-line look at what the library makes of a payload.
// It reads and writes files; the library itself never does.
#include <png.h>

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
#include <vector>

#include "demo_samples.h"
#include "maskjpeg.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  maskjpeg decode-mask IN WIDTH HEIGHT OUT.png\n"
    "      Decode the LZO1X mask payload IN for a WIDTH x HEIGHT mask and\n"
    "      write the RGBA result (white, alpha = mask code: 0, 1, 1, 128).\n"
    "  maskjpeg repair-jpeg IN OUT.jpg\n"
    "      Rewrite the JPEG stored in the compact variant IN as a standard\n"
    "      JPEG file; a standard JPEG comes out unchanged.\n"
    "  maskjpeg demo [DIR]\n"
    "      Decode the sample payloads built into this tool and write the\n"
    "      results into DIR (default demo-out/).\n"
    "  maskjpeg --help\n"
    "      Show this text.\n";

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

// Reads a payload for the library, whose lengths are 32-bit.
bool read_payload(const std::string& path, std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
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
  std::fclose(file);
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

// Opens `path` for writing; reports the reason when it cannot.
std::FILE* open_output(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) report_io("write", path, errno);
  return file;
}

// Closes a file written to, reporting a write or close that failed (a full
// disk shows only here, when the buffered bytes are flushed).
bool close_output(std::FILE* file, const std::string& path) {
  int error = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
  if (std::fclose(file) != 0 && error == 0) error = errno;
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

bool parse_dimension(const char* text, int32_t& value) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v <= 0 || v > INT32_MAX) return false;
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
    std::fclose(file);
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

int decode_mask_command(const char* in_path, const char* width_text, const char* height_text,
                        const char* out_path) {
  int32_t width = 0, height = 0;
  if (!parse_dimension(width_text, width) || !parse_dimension(height_text, height)) {
    std::fprintf(stderr, "maskjpeg: WIDTH and HEIGHT must be positive integers\n");
    return 2;
  }
  std::vector<uint8_t> payload;
  if (!read_payload(in_path, payload)) return 1;
  Result mask;
  mask.data =
      decode_mask(payload.data(), static_cast<int32_t>(payload.size()), width, height, &mask.size);
  if (mask.data == nullptr) {
    std::fprintf(stderr, "maskjpeg: %s is not a valid %dx%d mask payload\n", in_path, width,
                 height);
    return 1;
  }
  return write_png(out_path, mask.data, width, height, PNG_FORMAT_RGBA) ? 0 : 1;
}

int repair_jpeg_command(const char* in_path, const char* out_path) {
  std::vector<uint8_t> stored;
  if (!read_payload(in_path, stored)) return 1;
  Result jpeg;
  jpeg.data = repair_jpeg(stored.data(), static_cast<int32_t>(stored.size()), &jpeg.size);
  if (jpeg.data == nullptr) {
    std::fprintf(stderr, "maskjpeg: %s is not a JPEG stream this tool can repair\n", in_path);
    return 1;
  }
  return write_file(out_path, jpeg.data, static_cast<size_t>(jpeg.size)) ? 0 : 1;
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
  if (!write_file(stored_path, kDemoStoredPhoto, sizeof kDemoStoredPhoto) ||
      !write_file(photo_path, photo.data, static_cast<size_t>(photo.size))) {
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
  return 0;
}

int run(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "decode-mask" && argc == 6) {
    return decode_mask_command(argv[2], argv[3], argv[4], argv[5]);
  }
  if (command == "repair-jpeg" && argc == 4) {
    return repair_jpeg_command(argv[2], argv[3]);
  }
  if (command == "demo" && argc <= 3) {
    return demo_command(argc == 3 ? argv[2] : "demo-out");
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
