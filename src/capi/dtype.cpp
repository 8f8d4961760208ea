#include "capi/dtype.hpp"

#include <array>

namespace tessarine::capi {
namespace {

struct Entry {
  tessarine_dtype dtype;
  predictive::SampleType type;
};

constexpr std::array<Entry, 11> kTypes{{
    {TESSARINE_FLOAT16, {'f', 2}}, {TESSARINE_FLOAT32, {'f', 4}}, {TESSARINE_FLOAT64, {'f', 8}},
    {TESSARINE_INT8, {'i', 1}},    {TESSARINE_INT16, {'i', 2}},   {TESSARINE_INT32, {'i', 4}},
    {TESSARINE_INT64, {'i', 8}},   {TESSARINE_UINT8, {'u', 1}},   {TESSARINE_UINT16, {'u', 2}},
    {TESSARINE_UINT32, {'u', 4}},  {TESSARINE_UINT64, {'u', 8}},
}};

}  // namespace

std::optional<predictive::SampleType> sample_type(tessarine_dtype dtype) {
  for (const Entry& entry : kTypes) {
    if (entry.dtype == dtype) return entry.type;
  }
  return std::nullopt;
}

tessarine_dtype dtype_of(predictive::SampleType type) {
  for (const Entry& entry : kTypes) {
    if (entry.type == type) return entry.dtype;
  }
  return static_cast<tessarine_dtype>(0);  // parse_frame admits only the types above
}

}  // namespace tessarine::capi

extern "C" size_t tessarine_dtype_size(tessarine_dtype dtype) {
  const auto type = tessarine::capi::sample_type(dtype);
  return type ? type->size : 0;
}
