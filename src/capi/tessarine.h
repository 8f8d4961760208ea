/* Tessarine C API: compress and decompress 1-D sampled signals into caller-provided buffers.
 *
 * Read this first:
 * - Nothing here allocates memory the caller must free, prints, or throws. Every function that
 *   can fail returns a tessarine_status; tessarine_status_text() names the code and
 *   tessarine_last_error() gives the detail of this thread's last failure.
 * - A frame ("TSRF", version 2) holds any real dtype under error bounds, with a CRC-32; a
 *   container ("TSRN") holds float32 samples coded by a wavelet, without a checksum. Their byte
 *   layouts are in docs/format.md. Frames of version 1 (wavelets with a residual layer) and
 *   multichannel frames are read by the Python package only: here decoding them gives
 *   TESSARINE_ERROR_UNSUPPORTED (tessarine_frame_info reads a multichannel frame's header).
 * - Samples are in the machine's byte order; frames and containers are little-endian bytes.
 * - Functions are thread-safe; distinct calls share no state.
 */
#ifndef TESSARINE_H
#define TESSARINE_H

#include <stddef.h>
#include <stdint.h>

#define TESSARINE_VERSION_MAJOR 0
#define TESSARINE_VERSION_MINOR 1
#define TESSARINE_VERSION_PATCH 0
/* major * 10000 + minor * 100 + patch; compare with tessarine_version_number() at run time. */
#define TESSARINE_VERSION_NUMBER \
  (TESSARINE_VERSION_MAJOR * 10000 + TESSARINE_VERSION_MINOR * 100 + TESSARINE_VERSION_PATCH)

#if defined(TESSARINE_BUILDING) && defined(__GNUC__)
#define TESSARINE_API __attribute__((visibility("default")))
#else
#define TESSARINE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum tessarine_status {
  TESSARINE_OK = 0,
  TESSARINE_ERROR_ARGUMENT = 1,         /* a null pointer, unknown dtype or setting, bad bound */
  TESSARINE_ERROR_BUFFER_TOO_SMALL = 2, /* *written holds the size that is needed */
  TESSARINE_ERROR_DAMAGED = 3,          /* bytes that are not a readable frame or container */
  TESSARINE_ERROR_UNSUPPORTED = 4,      /* readable bytes this library cannot decode */
  TESSARINE_ERROR_OUT_OF_MEMORY = 5,
  TESSARINE_ERROR_INTERNAL = 6
} tessarine_status;

/* Sample types: NumPy's kind letter and item size. Values are stable. */
typedef enum tessarine_dtype {
  TESSARINE_FLOAT16 = 1,
  TESSARINE_FLOAT32 = 2,
  TESSARINE_FLOAT64 = 3,
  TESSARINE_INT8 = 4,
  TESSARINE_INT16 = 5,
  TESSARINE_INT32 = 6,
  TESSARINE_INT64 = 7,
  TESSARINE_UINT8 = 8,
  TESSARINE_UINT16 = 9,
  TESSARINE_UINT32 = 10,
  TESSARINE_UINT64 = 11,
  TESSARINE_DTYPE_INT_ = 0x7fffffff /* not a dtype: lets any int be passed and refused */
} tessarine_dtype;

/* Which members of tessarine_bound are given; at least one must be. */
#define TESSARINE_BOUND_MAX_ERROR 1u
#define TESSARINE_BOUND_REL_ERROR 2u
#define TESSARINE_BOUND_PSNR 4u

/* Error bounds of a frame. Every bound given holds: max_error is |x - x'| for every finite
 * sample (0 returns every bit), rel_error the same as a fraction of max - min of the finite
 * samples, psnr (dB) 20 log10((max - min) / RMSE) over the finite samples. */
typedef struct tessarine_bound {
  unsigned flags;
  double max_error;
  double rel_error;
  double psnr;
} tessarine_bound;

typedef struct tessarine_frame_header {
  tessarine_dtype dtype;
  uint64_t sample_count;
  tessarine_bound bound;
  double largest_error; /* measured by the encoder on what decoding returns */
} tessarine_frame_header;

/* Wavelet container settings; the values are the codes the Python package uses. */
typedef enum tessarine_method {
  TESSARINE_CDF53 = 0,
  TESSARINE_CDF97 = 1,
  TESSARINE_DB4 = 2,
  TESSARINE_SYM4 = 3,
  TESSARINE_METHOD_INT_ = 0x7fffffff /* not a method, as above */
} tessarine_method;
typedef enum tessarine_cutoff {
  TESSARINE_CUTOFF_LOW = 0,
  TESSARINE_CUTOFF_MEDIUM = 1,
  TESSARINE_CUTOFF_HIGH = 2,
  TESSARINE_CUTOFF_INT_ = 0x7fffffff /* not a cutoff, as above */
} tessarine_cutoff;
typedef enum tessarine_coder {
  TESSARINE_CODER_DEFLATE = 0,
  TESSARINE_CODER_ARANS = 1,
  TESSARINE_CODER_AUTO = 2,
  TESSARINE_CODER_INT_ = 0x7fffffff /* not a coder, as above */
} tessarine_coder;

typedef struct tessarine_container_settings {
  tessarine_method method; /* default TESSARINE_CDF97 */
  unsigned scale;          /* 6 to 12; default 11 */
  tessarine_cutoff cutoff; /* default TESSARINE_CUTOFF_LOW */
  tessarine_coder coder;   /* default TESSARINE_CODER_ARANS */
} tessarine_container_settings;

TESSARINE_API unsigned tessarine_version_number(void);
/* A static text naming the status; never NULL, also for unknown values. */
TESSARINE_API const char* tessarine_status_text(int status);
/* The detail of the calling thread's last failed call ("" if none); valid until its next call. */
TESSARINE_API const char* tessarine_last_error(void);
/* Bytes per sample of a dtype, 0 for an unknown value. */
TESSARINE_API size_t tessarine_dtype_size(tessarine_dtype dtype);

/* Frames. ---------------------------------------------------------------------------------- */

/* The largest frame `count` samples of `dtype` can give: incompressible samples are stored as
 * they are. 0 for an unknown dtype or a size beyond size_t. */
TESSARINE_API size_t tessarine_frame_compress_bound(tessarine_dtype dtype, uint64_t count);

/* Codes `count` samples of `dtype` into dst under every bound given, on up to `threads` threads
 * (0 means 1; the bytes do not depend on it). On success *written is the frame's size; with
 * TESSARINE_ERROR_BUFFER_TOO_SMALL it is the size needed and dst is left unspecified. */
TESSARINE_API tessarine_status tessarine_frame_compress(const void* samples, uint64_t count,
                                                        tessarine_dtype dtype,
                                                        const tessarine_bound* bound,
                                                        unsigned threads, void* dst,
                                                        size_t capacity, size_t* written);

/* The header of a frame, its checksum verified (every byte is read). */
TESSARINE_API tessarine_status tessarine_frame_info(const void* frame, size_t size,
                                                    tessarine_frame_header* info);

/* Decodes every sample of a frame into dst, which must hold count x item size bytes (capacity
 * in bytes; larger is allowed). *written is the number of bytes decoded or needed. */
TESSARINE_API tessarine_status tessarine_frame_decompress(const void* frame, size_t size,
                                                          unsigned threads, void* dst,
                                                          size_t capacity, size_t* written);

/* Containers. ------------------------------------------------------------------------------ */

/* The defaults of tessarine_container_settings (cdf97, scale 11, low cutoff, rANS). */
TESSARINE_API tessarine_container_settings tessarine_container_defaults(void);

/* An upper bound on the container of `count` samples with any settings; 0 beyond its limit of
 * 2^31 - 1 samples. */
TESSARINE_API size_t tessarine_container_compress_bound(uint64_t count);

/* Codes float32 samples into a container (no bound: the error is set by scale and cutoff).
 * NaN and -inf become 0, +inf becomes 1. *written as for frames. */
TESSARINE_API tessarine_status tessarine_container_compress(
    const float* samples, uint64_t count, const tessarine_container_settings* settings, void* dst,
    size_t capacity, size_t* written);

/* The sample count of a container, from its header. */
TESSARINE_API tessarine_status tessarine_container_sample_count(const void* container,
                                                                size_t size, uint64_t* count);

/* Decodes a container into dst, which holds `capacity` floats; *written is the sample count
 * decoded or needed. */
TESSARINE_API tessarine_status tessarine_container_decompress(const void* container,
                                                              size_t size, float* dst,
                                                              uint64_t capacity,
                                                              uint64_t* written);

#ifdef __cplusplus
}
#endif

#endif /* TESSARINE_H */
