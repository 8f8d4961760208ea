#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vibrel/tables/daubechies.hpp"
#include "vibrel/tables/symlet.hpp"
#include "vibrel/tables/wavelet_tables.hpp"

namespace vibrel {
namespace {

struct Table {
  std::string name;
  std::size_t order;
  std::span<const double> taps;
};

std::vector<Table> all_tables() {
  std::vector<Table> tables;
  for (std::uint32_t v = 0; v < 24; ++v) {
    tables.push_back({"db" + std::to_string(v + 1), v + 1,
                      daubechies_taps(static_cast<DaubechiesWavelet>(v))});
  }
  for (std::uint32_t v = 0; v < 19; ++v) {
    tables.push_back(
        {"sym" + std::to_string(v + 2), v + 2, symlet_taps(static_cast<SymletWavelet>(v))});
  }
  return tables;
}

const Table& find(const std::vector<Table>& tables, const std::string& name) {
  for (const Table& table : tables) {
    if (table.name == name) return table;
  }
  ADD_FAILURE() << "no table " << name;
  return tables.front();
}

std::size_t largest_at(std::span<const double> taps) {
  std::size_t best = 0;
  for (std::size_t k = 1; k < taps.size(); ++k) {
    if (std::fabs(taps[k]) > std::fabs(taps[best])) best = k;
  }
  return best;
}

std::vector<std::uint32_t> f32_bits(std::span<const double> taps) {
  const auto converted = taps_to_f32(taps);
  EXPECT_TRUE(converted.has_value());
  std::vector<std::uint32_t> bits;
  for (f32 tap : *converted) bits.push_back(std::bit_cast<std::uint32_t>(tap));
  return bits;
}

TEST(WaveletTables, EveryTableIsOrthonormal) {
  for (const Table& table : all_tables()) {
    SCOPED_TRACE(table.name);
    ASSERT_EQ(table.taps.size(), 2 * table.order);
    double sum = 0.0;
    double squares = 0.0;
    for (double tap : table.taps) {
      sum += tap;
      squares += tap * tap;
    }
    EXPECT_NEAR(sum, std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(squares, 1.0, 2e-11);
  }
}

TEST(WaveletTables, TellingRows) {
  const struct {
    const char* name;
    double first;
    double last;
    std::size_t largest;
  } rows[] = {
      {"db1", 0.7071067811865476, 0.7071067811865476, 0},
      {"db3", 0.33267055295008263, 0.03522629188570953, 1},
      {"db4", 0.2303778133088965, -0.010597401785069032, 1},
      {"db8", 0.05441584224310401, -0.00011747678412476953, 2},
      {"db24", 0.00019143580094755136, -4.34278250380371e-12, 6},
      {"sym2", 0.48296291314469025, -0.12940952255092145, 1},
      {"sym4", 0.0322231006040427, -0.07576571478927333, 4},
      {"sym8", 0.0018899503327594609, -0.0033824159510061256, 8},
      {"sym20", -6.329129044776395e-07, 3.695537474835221e-07, 19},
  };
  const std::vector<Table> tables = all_tables();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Table& table = find(tables, row.name);
    EXPECT_EQ(table.taps.front(), row.first);
    EXPECT_EQ(table.taps.back(), row.last);
    EXPECT_EQ(largest_at(table.taps), row.largest);
  }
}

TEST(WaveletTables, CodecWaveletsConvertToTheirF32Bits) {
  EXPECT_EQ(f32_bits(daubechies_taps(DaubechiesWavelet::Db1)),
            (std::vector<std::uint32_t>{0x3F3504F3, 0x3F3504F3}));
  EXPECT_EQ(f32_bits(daubechies_taps(DaubechiesWavelet::Db4)),
            (std::vector<std::uint32_t>{0x3E6BE829, 0x3F37002F, 0x3F218167, 0xBCE53E38,
                                        0xBE3F860E, 0x3CFCA711, 0x3D06B056, 0xBC2DA0BA}));
  EXPECT_EQ(f32_bits(symlet_taps(SymletWavelet::Sym4)),
            (std::vector<std::uint32_t>{0x3D03FC5F, 0xBC4E80DF, 0xBDCB339E, 0x3E9880D1,
                                        0x3F4DC1D3, 0x3EFEC7E0, 0xBCF2C635, 0xBD9B2B0E}));
}

TEST(WaveletTables, LowOrdersDifferInDoubleButAgreeInF32) {
  const struct {
    DaubechiesWavelet daubechies;
    SymletWavelet symlet;
  } pairs[] = {{DaubechiesWavelet::Db2, SymletWavelet::Sym2},
               {DaubechiesWavelet::Db3, SymletWavelet::Sym3}};
  for (const auto& pair : pairs) {
    const auto daubechies = daubechies_taps(pair.daubechies);
    const auto symlet = symlet_taps(pair.symlet);
    ASSERT_EQ(daubechies.size(), symlet.size());
    EXPECT_NE(std::vector<double>(daubechies.begin(), daubechies.end()),
              std::vector<double>(symlet.begin(), symlet.end()));
    EXPECT_EQ(f32_bits(daubechies), f32_bits(symlet));
  }
}

TEST(WaveletTables, Db2IsTheClosedForm) {
  const double root3 = std::sqrt(3.0);
  const double scale = 4.0 * std::sqrt(2.0);
  const double closed[] = {(1 + root3) / scale, (3 + root3) / scale, (3 - root3) / scale,
                           (1 - root3) / scale};
  const auto taps = daubechies_taps(DaubechiesWavelet::Db2);
  ASSERT_EQ(taps.size(), 4u);
  for (std::size_t k = 0; k < 4; ++k) EXPECT_NEAR(taps[k], closed[k], 3e-16) << k;
}

TEST(WaveletTables, ValuesOutsideTheEnumerationHaveNoTaps) {
  EXPECT_TRUE(daubechies_taps(static_cast<DaubechiesWavelet>(24)).empty());
  EXPECT_TRUE(symlet_taps(static_cast<SymletWavelet>(19)).empty());
  const auto converted = taps_to_f32({});
  ASSERT_TRUE(converted.has_value());
  EXPECT_TRUE(converted->empty());
}

}  // namespace
}  // namespace vibrel
