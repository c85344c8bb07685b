#include "LargeVector.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Memory from the system starts as zeros and holds what is written; a vector growing past the
// size where its storage moves to such memory keeps its elements, and shrinks back.
TEST(LargeVector, KeepsElementsAcrossTheSwitchOfStorage) {
  const size_t bytes = size_t{5} << 20;
  auto* memory = static_cast<unsigned char*>(platform::AllocateLarge(bytes));
  EXPECT_EQ(memory[0], 0);
  EXPECT_EQ(memory[bytes - 1], 0);
  memory[bytes - 1] = 7;
  EXPECT_EQ(memory[bytes - 1], 7);
  platform::FreeLarge(memory, bytes);

  LargeVector<uint64_t> values;
  for (uint64_t k = 0; k < (uint64_t{3} << 20); ++k) values.push_back(k * 3);
  for (uint64_t k = 0; k < values.size(); k += 4099) ASSERT_EQ(values[k], k * 3);
  values.resize(10);
  values.shrink_to_fit();
  EXPECT_EQ(values.back(), 27u);
}

}  // namespace
