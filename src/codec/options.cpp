#include "codec/options.hpp"

#include <algorithm>

namespace tessarine {
namespace {

// The one place that ties each method to its header code and its Python name.
struct MethodEntry {
  Method method;
  MethodCode code;
  std::string_view name;
};

constexpr std::array<MethodEntry, 4> kMethods{{
    {Method::Cdf53, {'c', 'f', '5', '3'}, "cdf53"},
    {Method::Cdf97, {'c', 'f', '9', '7'}, "cdf97"},
    {Method::Db4, {'d', 'b', '0', '4'}, "db4"},
    {Method::Sym4, {'s', 'y', 'm', '4'}, "sym4"},
}};

// Indexed by the enum's value.
constexpr std::array<std::string_view, 3> kCutoffNames{"low", "medium", "high"};

template <class Enum, std::size_t N>
std::optional<Enum> index_of(const std::array<std::string_view, N>& names, std::string_view name) {
  const auto found = std::ranges::find(names, name);
  if (found == names.end()) return std::nullopt;
  return static_cast<Enum>(found - names.begin());
}

template <std::size_t N>
std::string_view name_at(const std::array<std::string_view, N>& names, std::size_t index) {
  return index < N ? names[index] : std::string_view{};
}

// Names of codes 0, 1, ... up to the first code without one; every enum here is dense.
template <class Enum>
std::vector<std::string_view> names_by_code(std::string_view (*name_of)(Enum)) {
  std::vector<std::string_view> names;
  for (std::size_t code = 0; code <= 0xFF; ++code) {
    const std::string_view name = name_of(static_cast<Enum>(code));
    if (name.empty()) break;
    names.push_back(name);
  }
  return names;
}

// Null for a value outside the enum (reachable only through a cast).
const MethodEntry* entry_of(Method method) {
  const auto found = std::ranges::find(kMethods, method, &MethodEntry::method);
  return found == kMethods.end() ? nullptr : &*found;
}

}  // namespace

std::optional<Method> method_from_name(std::string_view name) {
  const auto found = std::ranges::find(kMethods, name, &MethodEntry::name);
  if (found == kMethods.end()) return std::nullopt;
  return found->method;
}

std::optional<Cutoff> cutoff_from_name(std::string_view name) {
  return index_of<Cutoff>(kCutoffNames, name);
}

std::optional<Coder> coder_from_name(std::string_view name) {
  if (name == kAutoCoderName) return Coder::Auto;
  const auto found = std::ranges::find(kPayloadCoders, name, &PayloadCoder::name);
  if (found == kPayloadCoders.end()) return std::nullopt;
  return found->coder;
}

std::optional<Method> method_from_code(const MethodCode& code) {
  const auto found = std::ranges::find(kMethods, code, &MethodEntry::code);
  if (found == kMethods.end()) return std::nullopt;
  return found->method;
}

MethodCode method_code(Method method) {
  const MethodEntry* entry = entry_of(method);
  return entry ? entry->code : MethodCode{};
}

std::string_view method_name(Method method) {
  const MethodEntry* entry = entry_of(method);
  return entry ? entry->name : std::string_view{};
}

std::string_view cutoff_name(Cutoff cutoff) {
  return name_at(kCutoffNames, static_cast<std::size_t>(cutoff));
}

std::string_view coder_name(Coder coder) {
  if (coder == Coder::Auto) return kAutoCoderName;
  const auto found = std::ranges::find(kPayloadCoders, coder, &PayloadCoder::coder);
  return found == kPayloadCoders.end() ? std::string_view{} : found->name;
}

std::vector<std::string_view> method_names() { return names_by_code(&method_name); }

std::vector<std::string_view> cutoff_names() { return names_by_code(&cutoff_name); }

std::vector<std::string_view> coder_names() { return names_by_code(&coder_name); }

}  // namespace tessarine
