#include "codec/transform.hpp"

#include "vibrel/vibrel.hpp"

namespace tessarine {

vibrel::DwtHandle<float> make_transform(Method method) {
  using vibrel::Vibrel;
  switch (method) {
    case Method::Cdf53:
      return Vibrel::make_cdf53_f32();
    case Method::Cdf97:
      return Vibrel::make_cdf97_f32();
    case Method::Db4:
      return Vibrel::make_daubechies_f32(vibrel::DaubechiesWavelet::Db4, vibrel::BorderMode::Wrap);
    case Method::Sym4:
      return Vibrel::make_symlet_f32(vibrel::SymletWavelet::Sym4, vibrel::BorderMode::Wrap);
  }
  return nullptr;
}

}  // namespace tessarine
