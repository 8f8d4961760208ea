#include "predictive/error.hpp"

namespace tessarine::predictive {

std::string PredictiveError::display() const {
  switch (kind_) {
    case Kind::Damaged:
      return std::string("frame is damaged: ") + what_;
    case Kind::BadArgument:
      return what_;
    case Kind::OutOfMemory:
      return "not enough memory to decode the frame";
  }
  return "unknown error";
}

}  // namespace tessarine::predictive
