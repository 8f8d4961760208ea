#pragma once
// Broken on purpose: the kernel reaches up to the engine's error type.
#include "vibrel/error.hpp"
