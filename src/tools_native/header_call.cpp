#include <string_view>
#include <vector>

#include "codec/decompressor.hpp"
#include "codec/header.hpp"
#include "codec/payload_coders.hpp"
#include "codec/signal_synthesis.hpp"
#include "codec/transform.hpp"
#include "tools_native/byte_input.hpp"
#include "tools_native/native_functions.hpp"
#include "tools_native/raise.hpp"

namespace tessarine::tools {
namespace {

nb::str as_str(std::string_view text) { return nb::str(text.data(), text.size()); }

// Coarsest approximation length, then detail lengths finest first: the order of the payload.
nb::list band_lengths(const TessarineHeader& header) {
  const Method method = *method_from_code(header.method);  // from_bytes accepted the code
  const vibrel::DwtHandle<float> executor = make_transform(method);
  const auto layout = stored_layout(*executor, header.sample_count, header.levels);
  nb::list lengths;
  lengths.append(layout.back().approximation_length);
  for (const vibrel::DwtSize& size : layout) lengths.append(size.details_length);
  return lengths;
}

}  // namespace

nb::dict header_fields(nb::handle data) {
  const PinnedBytes pinned(data);
  const auto header = TessarineHeader::from_bytes(pinned.bytes());
  if (!header) raise_codec_error(header.error());
  const auto counts = check_counts(*header);
  if (!counts) raise_codec_error(counts.error());
  const Method method = *method_from_code(header->method);
  nb::dict fields;
  fields["method"] = as_str(method_name(method));
  fields["levels"] = header->levels;
  fields["scale"] = header->scale;
  fields["coder"] = as_str(coder_for_header_byte(header->coder)->name);  // checked by from_bytes
  fields["sample_count"] = header->sample_count;
  fields["min"] = header->min;
  fields["max"] = header->max;
  fields["mean"] = header->mean;
  fields["payload_len"] = header->payload_len;
  fields["band_lengths"] = band_lengths(*header);
  return fields;
}

}  // namespace tessarine::tools
