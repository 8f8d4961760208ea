#include "hdf5_filter/hdf5_symbols.hpp"

#include <dlfcn.h>
#include <link.h>

#include <cstdlib>
#include <cstring>

namespace tessarine::hdf5 {
namespace {

constexpr const char* kProbe = "H5Pmodify_filter";

// Every loaded object whose file name starts with "libhdf5" is tried; dlsym on its handle also
// searches what it links, so libhdf5_hl leads to libhdf5 too.
int find_loaded(dl_phdr_info* info, std::size_t, void* found) {
  const char* path = info->dlpi_name;
  if (!path || !*path) return 0;
  const char* slash = std::strrchr(path, '/');
  const char* name = slash ? slash + 1 : path;
  if (std::strncmp(name, "libhdf5", 7) != 0) return 0;
  void* handle = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
  if (!handle) return 0;
  if (dlsym(handle, kProbe)) {
    *static_cast<void**>(found) = handle;
    return 1;
  }
  dlclose(handle);
  return 0;
}

// The library that loaded the plugin: global for a tool linked to libhdf5 (h5dump), local for
// h5py, whose extension modules are loaded privately. The handle is kept for the process.
// RTLD_DEFAULT is a null pointer, so success is told apart by the flag.
bool hdf5_library(void*& library) {
  library = RTLD_DEFAULT;
  if (dlsym(RTLD_DEFAULT, kProbe)) return true;
  void* found = nullptr;
  dl_iterate_phdr(find_loaded, &found);
  library = found;
  return found != nullptr;
}

template <class T>
void bind(void* library, T& member, const char* name) {
  member = reinterpret_cast<T>(dlsym(library, name));
}

Symbols resolve() {
  Symbols s;
  void* library = nullptr;
  if (!hdf5_library(library)) return s;
  bind(library, s.get_class, "H5Tget_class");
  bind(library, s.get_size, "H5Tget_size");
  bind(library, s.get_sign, "H5Tget_sign");
  bind(library, s.get_order, "H5Tget_order");
  bind(library, s.get_chunk, "H5Pget_chunk");
  bind(library, s.get_filter, "H5Pget_filter_by_id2");
  bind(library, s.modify_filter, "H5Pmodify_filter");
  bind(library, s.push_error, "H5Epush2");
  bind(library, s.allocate, "H5allocate_memory");
  bind(library, s.release, "H5free_memory");
  bind(library, s.error_class, "H5E_ERR_CLS_g");
  bind(library, s.major_pipeline, "H5E_PLINE_g");
  bind(library, s.minor_cannot_apply, "H5E_CANAPPLY_g");
  return s;
}

}  // namespace

const Symbols& symbols() {
  static const Symbols resolved = resolve();  // thread-safe once
  return resolved;
}

void report(const char* function, const char* message) {
  const Symbols& s = symbols();
  if (!s.push_error || !s.error_class || !s.major_pipeline || !s.minor_cannot_apply) return;
  s.push_error(kDefaultErrorStack, __FILE__, function, __LINE__, *s.error_class,
               *s.major_pipeline, *s.minor_cannot_apply, "%s", message);
}

void* allocate(std::size_t size) {
  const Symbols& s = symbols();
  // Both or neither: a buffer must go back to the allocator it came from.
  if (s.allocate && s.release) return s.allocate(size, false);
  return std::malloc(size);
}

void release(void* buffer) {
  const Symbols& s = symbols();
  if (s.allocate && s.release) {
    s.release(buffer);
  } else {
    std::free(buffer);
  }
}

}  // namespace tessarine::hdf5
