#pragma once

#include <cstddef>

#include "hdf5_filter/hdf5_abi.hpp"

namespace tessarine::hdf5 {

// The HDF5 functions the filter calls, found in whichever libhdf5 loaded it. A null member
// means that library lacks it; `complete()` tells whether the callbacks can run at all.
struct Symbols {
  int (*get_class)(hid_t) = nullptr;                 // H5Tget_class
  std::size_t (*get_size)(hid_t) = nullptr;          // H5Tget_size
  int (*get_sign)(hid_t) = nullptr;                  // H5Tget_sign
  int (*get_order)(hid_t) = nullptr;                 // H5Tget_order
  int (*get_chunk)(hid_t, int, hsize_t*) = nullptr;  // H5Pget_chunk
  herr_t (*get_filter)(hid_t, H5Z_filter_t, unsigned*, std::size_t*, unsigned*, std::size_t,
                       char*, unsigned*) = nullptr;  // H5Pget_filter_by_id2
  herr_t (*modify_filter)(hid_t, H5Z_filter_t, unsigned, std::size_t,
                          const unsigned*) = nullptr;  // H5Pmodify_filter
  herr_t (*push_error)(hid_t, const char*, const char*, unsigned, hid_t, hid_t, hid_t,
                       const char*, ...) = nullptr;  // H5Epush2
  void* (*allocate)(std::size_t, bool) = nullptr;    // H5allocate_memory
  herr_t (*release)(void*) = nullptr;                // H5free_memory
  const hid_t* error_class = nullptr;                // H5E_ERR_CLS_g
  const hid_t* major_pipeline = nullptr;             // H5E_PLINE_g
  const hid_t* minor_cannot_apply = nullptr;         // H5E_CANAPPLY_g

  [[nodiscard]] bool complete() const {
    return get_class && get_size && get_sign && get_order && get_chunk && get_filter &&
           modify_filter;
  }
};

// Resolved once, on first use.
[[nodiscard]] const Symbols& symbols();

// Pushes `message` onto HDF5's error stack, where h5py and the tools report it.
void report(const char* function, const char* message);

// Buffers handed to and taken from HDF5 come from its own allocator where it offers one.
[[nodiscard]] void* allocate(std::size_t size);
void release(void* buffer);

}  // namespace tessarine::hdf5
