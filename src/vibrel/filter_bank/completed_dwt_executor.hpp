#pragma once

#include <cstddef>
#include <memory>

#include "vibrel/executor.hpp"
#include "vibrel/multi_level.hpp"

namespace vibrel {

// Turns a single-level filter-bank executor into a full DwtExecutor: the single-level
// operations forward to `inner`, the multi-level ones run the shared driver with the
// filter length (read once, here) as the shortest level input.
class CompletedDwtExecutor final : public DwtExecutor<f32> {
 public:
  CompletedDwtExecutor(IncompleteDwtHandle<f32> inner, std::size_t filter_length);

  [[nodiscard]] VibrelResult<void> execute_forward(std::span<const f32> input,
                                                   std::span<f32> approximations,
                                                   std::span<f32> details) const override;
  [[nodiscard]] VibrelResult<void> execute_forward_with_scratch(
      std::span<const f32> input, std::span<f32> approximations, std::span<f32> details,
      std::span<f32> scratch) const override;
  [[nodiscard]] std::size_t required_scratch_size(std::size_t input_length) const override;
  [[nodiscard]] DwtSize dwt_size(std::size_t input_length) const override;
  [[nodiscard]] VibrelResult<void> execute_inverse(std::span<const f32> approximations,
                                                   std::span<const f32> details,
                                                   std::span<f32> output) const override;
  [[nodiscard]] std::size_t idwt_size(DwtSize size) const override;
  [[nodiscard]] std::size_t filter_length() const override { return filter_length_; }

  [[nodiscard]] VibrelResult<Dwt<f32>> dwt(std::span<const f32> input,
                                           std::size_t level) const override;
  [[nodiscard]] VibrelResult<MultiDwt<f32>> multi_dwt(std::span<const f32> input,
                                                      std::size_t levels) const override;
  [[nodiscard]] VibrelResult<MultiDwt<f32>> multi_dwt_consuming(std::vector<f32>&& input,
                                                                std::size_t levels) const override;
  [[nodiscard]] VibrelResult<std::vector<f32>> idwt(const DwtView<f32>& view) const override;
  [[nodiscard]] VibrelResult<std::vector<f32>> multi_idwt(
      const MultiDwtView<f32>& view) const override;
  [[nodiscard]] VibrelResult<std::vector<f32>> multi_idwt_consuming(
      MultiDwtStorage<f32>&& bands) const override;

 private:
  [[nodiscard]] LevelRules rules() const { return {filter_length_, false, true}; }

  IncompleteDwtHandle<f32> inner_;
  std::size_t filter_length_;
};

}  // namespace vibrel
