#define TESSARINE_OWNS_NUMPY_API
#include "python/numpy_api.hpp"

namespace tessarine::python {

bool ensure_numpy_api() noexcept {
  // Written and read under the interpreter lock only. A separate flag, because a failed
  // version check inside _import_array can leave the table pointer set.
  static bool imported = false;
  if (!imported) imported = _import_array() == 0;
  return imported;
}

}  // namespace tessarine::python
