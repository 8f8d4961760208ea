// Broken on purpose: the binding calls the entropy coder around the codec.
#include "entropy/arans.hpp"
#include "codec/byte_stream.hpp"
