// Allowed: the binding uses a public engine header.
#include "vibrel/vibrel.hpp"
