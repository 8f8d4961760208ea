#include <string>

#include "capi/boundary.hpp"
#include "capi/tessarine.h"

namespace tessarine::capi {
namespace {

// One per thread, so concurrent callers never read each other's detail.
thread_local std::string last_detail;

}  // namespace

tessarine_status fail(tessarine_status status, std::string detail) noexcept {
  try {
    last_detail = std::move(detail);
  } catch (...) {
    last_detail.clear();  // the status still says what failed
  }
  return status;
}

tessarine_status succeed() noexcept {
  last_detail.clear();
  return TESSARINE_OK;
}

}  // namespace tessarine::capi

extern "C" {

unsigned tessarine_version_number(void) { return TESSARINE_VERSION_NUMBER; }

const char* tessarine_status_text(int status) {
  switch (status) {
    case TESSARINE_OK:
      return "success";
    case TESSARINE_ERROR_ARGUMENT:
      return "invalid argument";
    case TESSARINE_ERROR_BUFFER_TOO_SMALL:
      return "destination buffer too small";
    case TESSARINE_ERROR_DAMAGED:
      return "data is damaged or not a frame or container";
    case TESSARINE_ERROR_UNSUPPORTED:
      return "data is readable but not supported by this library";
    case TESSARINE_ERROR_OUT_OF_MEMORY:
      return "out of memory";
    case TESSARINE_ERROR_INTERNAL:
      return "internal error";
  }
  return "unknown status";
}

const char* tessarine_last_error(void) { return tessarine::capi::last_detail.c_str(); }

}  // extern "C"
