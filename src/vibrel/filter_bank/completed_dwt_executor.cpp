#include "vibrel/filter_bank/completed_dwt_executor.hpp"

#include <utility>

namespace vibrel {

CompletedDwtExecutor::CompletedDwtExecutor(IncompleteDwtHandle<f32> inner,
                                           std::size_t filter_length)
    : inner_(std::move(inner)), filter_length_(filter_length) {}

VibrelResult<void> CompletedDwtExecutor::execute_forward(std::span<const f32> input,
                                                         std::span<f32> approximations,
                                                         std::span<f32> details) const {
  return inner_->execute_forward(input, approximations, details);
}

VibrelResult<void> CompletedDwtExecutor::execute_forward_with_scratch(
    std::span<const f32> input, std::span<f32> approximations, std::span<f32> details,
    std::span<f32> scratch) const {
  return inner_->execute_forward_with_scratch(input, approximations, details, scratch);
}

std::size_t CompletedDwtExecutor::required_scratch_size(std::size_t input_length) const {
  return inner_->required_scratch_size(input_length);
}

DwtSize CompletedDwtExecutor::dwt_size(std::size_t input_length) const {
  return inner_->dwt_size(input_length);
}

VibrelResult<void> CompletedDwtExecutor::execute_inverse(std::span<const f32> approximations,
                                                         std::span<const f32> details,
                                                         std::span<f32> output) const {
  return inner_->execute_inverse(approximations, details, output);
}

std::size_t CompletedDwtExecutor::idwt_size(DwtSize size) const {
  return inner_->idwt_size(size);
}

VibrelResult<Dwt<f32>> CompletedDwtExecutor::dwt(std::span<const f32> input,
                                                 std::size_t level) const {
  return dwt_with_rules(*inner_, input, level, rules());
}

VibrelResult<MultiDwt<f32>> CompletedDwtExecutor::multi_dwt(std::span<const f32> input,
                                                            std::size_t levels) const {
  return multi_dwt_with_rules(*inner_, input, levels, rules());
}

VibrelResult<MultiDwt<f32>> CompletedDwtExecutor::multi_dwt_consuming(std::vector<f32>&& input,
                                                                      std::size_t levels) const {
  return multi_dwt_consuming_with_rules(*inner_, std::move(input), levels, rules());
}

VibrelResult<std::vector<f32>> CompletedDwtExecutor::idwt(const DwtView<f32>& view) const {
  return idwt_with_rules(*inner_, view, rules());
}

VibrelResult<std::vector<f32>> CompletedDwtExecutor::multi_idwt(
    const MultiDwtView<f32>& view) const {
  return multi_idwt_with_rules(*inner_, view, rules());
}

VibrelResult<std::vector<f32>> CompletedDwtExecutor::multi_idwt_consuming(
    MultiDwtStorage<f32>&& bands) const {
  return multi_idwt_consuming_with_rules(*inner_, std::move(bands), rules());
}

}  // namespace vibrel
