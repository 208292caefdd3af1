// maskjpeg from Go through cgo: decode a mask, repair a stored JPEG, show a
// rejection. Each result is copied into Go memory with C.GoBytes and released
// through the library before the function returns.
//
// Build with the library's header and library on cgo's paths, e.g.
//
//	CGO_CFLAGS=-I/usr/local/include CGO_LDFLAGS=-L/usr/local/lib go build
package main

/*
#cgo LDFLAGS: -lmaskjpeg
#include <maskjpeg.h>
*/
import "C"

import (
	"errors"
	"fmt"
	"math"
	"os"
	"strings"
	"unsafe"
)

// ErrRejected is returned for a payload the library gives no result for.
var ErrRejected = errors.New("maskjpeg: payload rejected")

// input is the pointer and length to pass for data. An empty slice has no
// first element to point at (&data[0] panics), and the library rejects
// empty input anyway, so it is refused here.
func input(data []byte) (*C.uint8_t, C.int32_t, error) {
	if len(data) == 0 || len(data) > math.MaxInt32 {
		return nil, 0, ErrRejected
	}
	return (*C.uint8_t)(unsafe.Pointer(&data[0])), C.int32_t(len(data)), nil
}

// take copies a result into Go memory and releases it.
func take(result *C.uint8_t, size C.int32_t) ([]byte, error) {
	if result == nil {
		return nil, ErrRejected
	}
	defer C.free_mask_buffer(unsafe.Pointer(result))
	return C.GoBytes(unsafe.Pointer(result), C.int(size)), nil
}

// DecodeMask returns the RGBA pixels of an LZO1X 2-bit mask.
func DecodeMask(payload []byte, width, height int32) ([]byte, error) {
	data, length, err := input(payload)
	if err != nil {
		return nil, err
	}
	var size C.int32_t
	return take(C.decode_mask(data, length, C.int32_t(width), C.int32_t(height), &size), size)
}

// RepairJpeg returns a standard JPEG stream for a stored one.
func RepairJpeg(stored []byte) ([]byte, int32, error) {
	data, length, err := input(stored)
	if err != nil {
		return nil, 0, err
	}
	var size C.int32_t
	jpeg, err := take(C.repair_jpeg(data, length, &size), size)
	return jpeg, int32(size), err
}

func main() {
	mask5x3 := []byte{0x17, 0xE4, 0x03, 0x1B, 0x02, 0xFF, 0xFE, 0x11, 0x00, 0x00}
	storedJpeg := []byte{0xFF, 0xD8, 0xFF, 0xA0, 0xFF, 0xDA, 0x00, 0x09, 0x03, 0x01,
		0x00, 0x02, 0x11, 0x03, 0x11, 0x12, 0xFF, 0x34, 0xFF, 0xD9}
	notAJpeg := []byte{0x00, 0x01, 0x02}

	rgba, err := DecodeMask(mask5x3, 5, 3)
	if err != nil {
		fmt.Fprintln(os.Stderr, err)
		os.Exit(1)
	}
	var alpha []string
	for i := 3; i < len(rgba); i += 4 {
		alpha = append(alpha, fmt.Sprint(rgba[i]))
	}
	fmt.Printf("decode_mask 5x3: %d bytes, alpha %s\n", len(rgba), strings.Join(alpha, " "))

	jpeg, _, err := RepairJpeg(storedJpeg)
	if err != nil {
		fmt.Fprintln(os.Stderr, err)
		os.Exit(1)
	}
	hex := make([]string, len(jpeg))
	for i, b := range jpeg {
		hex[i] = fmt.Sprintf("%02X", b)
	}
	fmt.Printf("repair_jpeg: %d bytes in, %d bytes out: %s\n", len(storedJpeg), len(jpeg), strings.Join(hex, " "))

	if _, size, err := RepairJpeg(notAJpeg); errors.Is(err, ErrRejected) {
		fmt.Printf("rejected: %d bytes that are not a JPEG give no result, size %d\n", len(notAJpeg), size)
	} else {
		os.Exit(1)
	}
	if _, err := DecodeMask(nil, 5, 3); !errors.Is(err, ErrRejected) {
		os.Exit(1)
	}
}
