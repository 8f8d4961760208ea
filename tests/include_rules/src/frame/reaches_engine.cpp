// Broken on purpose: the frame includes the wavelet engine.
#include "vibrel/vibrel.hpp"
#include "predictive/sample_type.hpp"
