// The HDF5 dynamically loaded filter: HDF5 finds it on its plugin path and calls the two
// exported functions; everything else goes through the callbacks of the class below.

#include <cstring>
#include <string>
#include <vector>

#include "hdf5_filter/chunk_codec.hpp"
#include "hdf5_filter/client_data.hpp"
#include "hdf5_filter/hdf5_abi.hpp"
#include "hdf5_filter/hdf5_symbols.hpp"

namespace tessarine::hdf5 {
namespace {

constexpr const char* kAccepted =
    "tessarine filter accepts float16, float32, float64 and 1 to 8 byte integers "
    "(wavelet containers: float32 only)";

std::optional<ElementType> element_of(hid_t type) {
  const Symbols& s = symbols();
  const int type_class = s.get_class(type);
  if (type_class != kClassInteger && type_class != kClassFloat) return std::nullopt;
  const ElementType element{
      type_class == kClassFloat ? 'f' : (s.get_sign(type) == kSignNone ? 'u' : 'i'),
      static_cast<unsigned>(s.get_size(type)), s.get_order(type) == kOrderBig};
  if (!dtype_of(element)) return std::nullopt;
  return element;
}

std::optional<FilterSettings> stored_settings(hid_t dcpl) {
  std::vector<unsigned> values(kUserValues + 4 + kMaxRank);
  std::size_t count = values.size();
  unsigned flags = 0;
  if (symbols().get_filter(dcpl, kFilterId, &flags, &count, values.data(), 0, nullptr, nullptr) < 0) {
    return std::nullopt;
  }
  values.resize(std::min(count, values.size()));
  // Values set_local appended for another dataset (a copied property list) are replaced.
  if (values.size() > kUserValues) values.resize(kUserValues);
  return parse_settings(values);
}

htri_t check_apply(hid_t dcpl, hid_t type) {
  if (!symbols().complete()) return -1;
  const auto element = element_of(type);
  const auto settings = stored_settings(dcpl);
  if (!element || (settings && settings->mode == Mode::Container &&
                   (element->kind != 'f' || element->size != 4))) {
    report("tessarine_can_apply", kAccepted);
    return -1;
  }
  return 1;
}

herr_t store_local(hid_t dcpl, hid_t type) {
  const Symbols& s = symbols();
  if (!s.complete()) return -1;
  auto settings = stored_settings(dcpl);
  if (!settings) {
    report("tessarine_set_local", "tessarine filter values are not of a known layout version");
    return -1;
  }
  settings->element = element_of(type);
  hsize_t dims[kMaxRank];
  const int rank = s.get_chunk(dcpl, kMaxRank, dims);
  if (!settings->element || rank < 1) return -1;
  for (int i = 0; i < rank; ++i) settings->chunk.push_back(dims[i]);
  if (!settings->lane_axis()) {
    report("tessarine_set_local", "tessarine filter axis is not an axis of the dataset");
    return -1;
  }
  unsigned flags = 0;
  std::size_t count = 0;
  if (s.get_filter(dcpl, kFilterId, &flags, &count, nullptr, 0, nullptr, nullptr) < 0) return -1;
  const std::vector<unsigned> values = local_values(*settings);
  return s.modify_filter(dcpl, kFilterId, flags, values.size(), values.data());
}

// The callbacks HDF5 calls; nothing may unwind into its C code.
htri_t can_apply(hid_t dcpl, hid_t type, hid_t) {
  try {
    return check_apply(dcpl, type);
  } catch (...) {
    return -1;
  }
}

herr_t set_local(hid_t dcpl, hid_t type, hid_t) {
  try {
    return store_local(dcpl, type);
  } catch (...) {
    return -1;
  }
}

// Replaces *buf with the result; 0 tells HDF5 the filter failed (the chunk is then not read,
// or, for an optional filter on write, stored unfiltered).
std::size_t replace_buffer(void** buf, std::size_t* buf_size, std::span<const std::uint8_t> bytes) {
  void* out = allocate(bytes.empty() ? 1 : bytes.size());
  if (!out) return 0;
  if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
  release(*buf);
  *buf = out;
  *buf_size = bytes.size();
  return bytes.size();
}

std::size_t run_filter(unsigned flags, std::size_t cd_count, const unsigned* cd_values,
                       std::size_t nbytes, std::size_t* buf_size, void** buf) {
  const auto settings = parse_settings({cd_values, cd_count});
  if (!settings) return 0;
  const std::span<const std::uint8_t> in(static_cast<const std::uint8_t*>(*buf), nbytes);
  if (!(flags & kFilterReverse)) {
    auto encoded = encode_chunk(*settings, in);
    return encoded ? replace_buffer(buf, buf_size, *encoded) : 0;
  }
  const std::uint64_t size = chunk_bytes(*settings);
  void* out = allocate(size == 0 ? 1 : size);
  if (!out) return 0;
  auto decoded = decode_chunk(*settings, in, {static_cast<std::uint8_t*>(out), size});
  if (!decoded) {
    report("tessarine_filter", decoded.error().c_str());
    release(out);
    return 0;
  }
  release(*buf);
  *buf = out;
  *buf_size = size;
  return size;
}

std::size_t filter(unsigned flags, std::size_t cd_count, const unsigned* cd_values,
                   std::size_t nbytes, std::size_t* buf_size, void** buf) {
  try {
    return run_filter(flags, cd_count, cd_values, nbytes, buf_size, buf);
  } catch (...) {
    return 0;
  }
}

const FilterClass kClass{kFilterClassVersion, kFilterId, 1, 1,
                         "tessarine (provisional filter id 386)",
                         can_apply, set_local, filter};

}  // namespace
}  // namespace tessarine::hdf5

extern "C" {

__attribute__((visibility("default"))) int H5PLget_plugin_type(void) {
  return tessarine::hdf5::kPluginTypeFilter;
}

__attribute__((visibility("default"))) const void* H5PLget_plugin_info(void) {
  return &tessarine::hdf5::kClass;
}

}  // extern "C"
