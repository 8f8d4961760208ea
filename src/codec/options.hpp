#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "codec/payload_coders.hpp"

namespace tessarine {

// Which wavelet transforms the signal. The numeric values are the codes the options carry.
enum class Method : std::uint8_t { Cdf53 = 0, Cdf97 = 1, Db4 = 2, Sym4 = 3 };

// Strength of the dead zone on detail coefficients (a multiple of the base threshold).
enum class Cutoff : std::uint8_t { Low = 0, Medium = 1, High = 2 };

// The four-character method code stored in a container header, as its ASCII bytes.
using MethodCode = std::array<std::uint8_t, 4>;

// Everything the caller chooses for one compression. The binding validates `scale` (6..12)
// when it builds the options; the compressor checks it and the enum codes again, for C++
// callers that build options by hand.
struct CompressionOptions {
  Method method = Method::Cdf97;
  std::uint8_t scale = 11;
  Cutoff cutoff = Cutoff::Low;
  Coder coder = Coder::Auto;

  friend bool operator==(const CompressionOptions&, const CompressionOptions&) = default;
};

inline constexpr std::uint8_t kMinScale = 6;
inline constexpr std::uint8_t kMaxScale = 12;

// Name lookups are exact: case-sensitive, no trimming.
[[nodiscard]] std::optional<Method> method_from_name(std::string_view name);
[[nodiscard]] std::optional<Cutoff> cutoff_from_name(std::string_view name);
[[nodiscard]] std::optional<Coder> coder_from_name(std::string_view name);
[[nodiscard]] std::optional<Method> method_from_code(const MethodCode& code);

// A value outside its enum (reachable only through a cast) gives an all-zero code or an
// empty name.
[[nodiscard]] MethodCode method_code(Method method);
[[nodiscard]] std::string_view method_name(Method method);
[[nodiscard]] std::string_view cutoff_name(Cutoff cutoff);
[[nodiscard]] std::string_view coder_name(Coder coder);

// Each setting's names in code order: a name's index is the code the options carry, for
// bindings that pass codes rather than names.
[[nodiscard]] std::vector<std::string_view> method_names();
[[nodiscard]] std::vector<std::string_view> cutoff_names();
[[nodiscard]] std::vector<std::string_view> coder_names();

}  // namespace tessarine
