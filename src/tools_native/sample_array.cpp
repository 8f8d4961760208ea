#include "tools_native/sample_array.hpp"

#include <memory>

namespace tessarine::tools {

nb::object float32_array_taking(std::vector<float>&& samples) {
  auto owned = std::make_unique<std::vector<float>>(std::move(samples));
  float* data = owned->data();
  const std::size_t length = owned->size();
  nb::capsule owner(owned.get(),
                    [](void* kept) noexcept { delete static_cast<std::vector<float>*>(kept); });
  owned.release();  // the capsule owns it from here on
  return nb::cast(FloatArray(data, {length}, owner));
}

}  // namespace tessarine::tools
