#include "entropy/arans_error.hpp"

namespace tessarine::arans {

std::string AransError::display() const {
  switch (kind_) {
    case Kind::Truncated:
      return "Stream truncated";
    case Kind::InvalidLength:
      return "Inconsistent or oversized length in stream";
  }
  return {};
}

}  // namespace tessarine::arans
