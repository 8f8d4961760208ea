// Broken on purpose: the codec reaches into the engine's internals.
#include "vibrel/filter_bank/filter_banks.hpp"
