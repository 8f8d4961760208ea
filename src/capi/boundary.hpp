#pragma once

#include <exception>
#include <new>
#include <string>

#include "capi/tessarine.h"

namespace tessarine::capi {

// Records the detail of a failure for tessarine_last_error() and returns its status.
tessarine_status fail(tessarine_status status, std::string detail) noexcept;

// Clears the detail: a success leaves "" behind, so a stale message is never read as current.
tessarine_status succeed() noexcept;

// Runs one API call. Nothing may unwind into C: a failed allocation becomes
// TESSARINE_ERROR_OUT_OF_MEMORY and anything else TESSARINE_ERROR_INTERNAL.
template <class Call>
tessarine_status guarded(Call&& call) noexcept {
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return fail(TESSARINE_ERROR_OUT_OF_MEMORY, "not enough memory");
  } catch (const std::exception& error) {
    return fail(TESSARINE_ERROR_INTERNAL, error.what());
  } catch (...) {
    return fail(TESSARINE_ERROR_INTERNAL, "unknown failure");
  }
}

}  // namespace tessarine::capi
