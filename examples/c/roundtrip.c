/* Reads a frame, decodes it, and codes the decoded samples again under the same bounds.
 *
 *   cc roundtrip.c $(pkg-config --cflags --libs tessarine) -o roundtrip
 *   ./roundtrip in.tsrn out.tsrn [decoded.raw]
 *
 * decoded.raw, if named, receives the decoded samples' bytes in the machine's order. */
#include <stdio.h>
#include <stdlib.h>

#include <tessarine.h>

static void* read_file(const char* path, size_t* size) {
  FILE* file = fopen(path, "rb");
  if (!file) return NULL;
  void* data = NULL;
  if (fseek(file, 0, SEEK_END) == 0) {
    long length = ftell(file);
    if (length >= 0 && fseek(file, 0, SEEK_SET) == 0 && (data = malloc(length ? length : 1))) {
      *size = fread(data, 1, (size_t)length, file);
      if (*size != (size_t)length) {
        free(data);
        data = NULL;
      }
    }
  }
  fclose(file);
  return data;
}

static int write_file(const char* path, const void* data, size_t size) {
  FILE* file = fopen(path, "wb");
  if (!file) return 0;
  const int ok = fwrite(data, 1, size, file) == size;
  return fclose(file) == 0 && ok;
}

static int fail(const char* what, tessarine_status status) {
  fprintf(stderr, "%s: %s (%s)\n", what, tessarine_status_text(status), tessarine_last_error());
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    fprintf(stderr, "usage: %s in.tsrn out.tsrn [decoded.raw]\n", argv[0]);
    return 2;
  }
  if (tessarine_version_number() / 100 != TESSARINE_VERSION_NUMBER / 100) {
    fprintf(stderr, "header and library versions differ\n");
    return 1;
  }
  size_t size = 0;
  void* frame = read_file(argv[1], &size);
  if (!frame) {
    perror(argv[1]);
    return 1;
  }
  tessarine_frame_header header;
  tessarine_status status = tessarine_frame_info(frame, size, &header);
  if (status != TESSARINE_OK) return fail("reading the frame", status);

  /* The size query first, then one buffer of exactly that size. */
  size_t decoded_size = 0;
  tessarine_frame_decompress(frame, size, 1, NULL, 0, &decoded_size);
  void* samples = malloc(decoded_size ? decoded_size : 1);
  status = tessarine_frame_decompress(frame, size, 2, samples, decoded_size, &decoded_size);
  if (status != TESSARINE_OK) return fail("decoding", status);
  if (argc == 4 && !write_file(argv[3], samples, decoded_size)) {
    perror(argv[3]);
    return 1;
  }

  size_t capacity = tessarine_frame_compress_bound(header.dtype, header.sample_count);
  void* coded = malloc(capacity ? capacity : 1);
  size_t coded_size = 0;
  status = tessarine_frame_compress(samples, header.sample_count, header.dtype, &header.bound, 2,
                                    coded, capacity, &coded_size);
  if (status != TESSARINE_OK) return fail("coding", status);
  if (!write_file(argv[2], coded, coded_size)) {
    perror(argv[2]);
    return 1;
  }
  printf("%llu samples of %zu bytes, largest error %g; %zu bytes in, %zu out\n",
         (unsigned long long)header.sample_count, tessarine_dtype_size(header.dtype),
         header.largest_error, size, coded_size);
  free(coded);
  free(samples);
  free(frame);
  return 0;
}
