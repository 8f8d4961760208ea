#pragma once

// The few HDF5 types and constants the filter uses, declared here so that the plugin links no
// particular libhdf5: it is loaded into h5py's bundled library and into a system one alike.
// These layouts have been stable since HDF5 1.10 (hid_t became 64-bit there).

#include <cstddef>
#include <cstdint>

namespace tessarine::hdf5 {

using hid_t = std::int64_t;
using herr_t = int;
using htri_t = int;
using hsize_t = unsigned long long;
using H5Z_filter_t = int;

inline constexpr hid_t kDefaultErrorStack = 0;  // H5E_DEFAULT
inline constexpr unsigned kFilterReverse = 0x0100;  // H5Z_FLAG_REVERSE: decoding
inline constexpr int kFilterClassVersion = 1;       // H5Z_CLASS_T_VERS
inline constexpr int kPluginTypeFilter = 0;         // H5PL_TYPE_FILTER
inline constexpr int kMaxRank = 32;                 // H5S_MAX_RANK

// H5T_class_t, H5T_sign_t and H5T_order_t values the filter tells apart.
inline constexpr int kClassInteger = 0;
inline constexpr int kClassFloat = 1;
inline constexpr int kSignNone = 0;
inline constexpr int kOrderBig = 1;

using CanApply = htri_t (*)(hid_t dcpl, hid_t type, hid_t space);
using SetLocal = herr_t (*)(hid_t dcpl, hid_t type, hid_t space);
using FilterCall = std::size_t (*)(unsigned flags, std::size_t cd_count, const unsigned* cd_values,
                                   std::size_t nbytes, std::size_t* buf_size, void** buf);

// H5Z_class2_t, field for field.
struct FilterClass {
  int version;
  H5Z_filter_t id;
  unsigned encoder_present;
  unsigned decoder_present;
  const char* name;
  CanApply can_apply;
  SetLocal set_local;
  FilterCall filter;
};

}  // namespace tessarine::hdf5
