#pragma once

// How the encoder cuts its planes into blocks. A plane whose records (kRecordBytesPerSymbol per
// symbol and plane) fit in BlockLimits::max_record_bytes is one block, recorded whole. Longer
// ones are cut into blocks of B symbols: the encoder holds the records of `kept` blocks at a
// time (as many as the budget pays for, at least two) and the model as it stood at the start
// of each block it must model again (2 * entries bytes per plane), so its memory grows with the
// square root of the plane rather than with the plane. B = sqrt(symbols * entries / 16) makes
// the saved models about twice one block's records. At 10 million samples (two planes of 10
// million symbols, 8 context bits): 50 blocks of about 202,000 symbols, 6.2 MiB of records
// each, 5 kept, and 11 MiB of saved models.
//
// Blocks short enough for their records to stay in a 2 MiB second-level cache (2^16 symbols of
// two planes) measured no faster, besides needing more saved models: the coding loop is bound
// by its state chains and its instruction count, not by reading records. 2^15-symbol blocks
// are slower, losing more to saving and restoring models than they gain.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace tessarine::arans {

struct BlockPlan {
  std::size_t symbols = 0;  // per plane
  std::size_t block = 0;    // symbols in every block but the first, which may be shorter
  std::size_t count = 0;
  std::size_t kept = 0;  // blocks whose records are held at once; the last `kept` are
                         // recorded by the first pass, the others modelled again

  [[nodiscard]] std::size_t length(std::size_t j) const {
    return j == 0 ? symbols - (count - 1) * block : block;
  }
  [[nodiscard]] std::size_t start(std::size_t j) const {
    return j == 0 ? 0 : length(0) + (j - 1) * block;
  }
};

inline constexpr std::size_t kRecordBytesPerSymbol = 16;

struct BlockLimits {
  // Modelling a plane again, beside the coding, costs about a tenth of the encoding time, so
  // up to this much memory goes to records to avoid it: signals up to about a million samples
  // need no second model pass.
  std::size_t max_record_bytes = std::size_t{32} << 20;
  // Shorter blocks would spend more time restoring models than modelling.
  std::size_t min_block = std::size_t{1} << 14;
  std::size_t max_block = SIZE_MAX;
};

[[nodiscard]] inline BlockPlan plan_blocks(std::size_t symbols, std::size_t planes,
                                           std::size_t model_entries, BlockLimits limits = {}) {
  if (symbols == 0) return {};
  const std::size_t bytes_per_symbol = planes * kRecordBytesPerSymbol;
  if (symbols <= limits.max_record_bytes / bytes_per_symbol) return {symbols, symbols, 1, 1};
  const double balanced =
      std::sqrt(static_cast<double>(symbols) * static_cast<double>(model_entries) / 16.0);
  const std::size_t block = std::min(
      {symbols, limits.max_block, std::max(limits.min_block, static_cast<std::size_t>(balanced))});
  const std::size_t count = (symbols + block - 1) / block;
  const std::size_t affordable = limits.max_record_bytes / (block * bytes_per_symbol);
  // Coding one block while modelling the one before needs two buffers.
  const std::size_t kept =
      std::clamp<std::size_t>(affordable, std::min<std::size_t>(2, count), count);
  return {symbols, block, count, kept};
}

}  // namespace tessarine::arans
