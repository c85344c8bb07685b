// Natural comparison, with and without case: results are -1, 0 or 1; equal texts compare
// equal; swapping the operands negates the result; and on every triple the order is
// transitive, equality included (so sorting and searching by it are well defined).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "CompareString.h"
#include "FuzzCheck.h"

namespace {

void CheckOrder(int (*compare)(std::string_view, std::string_view), const char* name,
                const std::string& a, const std::string& b, const std::string& c) {
  const std::string details = std::string(name) + " a " + fuzz::Shown(a) + " b " +
                              fuzz::Shown(b) + " c " + fuzz::Shown(c);
  const int ab = compare(a, b);
  const int bc = compare(b, c);
  const int ac = compare(a, c);
  for (int r : {ab, bc, ac}) fuzz::Check(r >= -1 && r <= 1, "results are -1, 0 or 1", details);
  fuzz::Check(compare(a, a) == 0, "a text equals itself", details);
  fuzz::Check(compare(b, a) == -ab, "antisymmetric (a, b)", details);
  fuzz::Check(compare(c, b) == -bc, "antisymmetric (b, c)", details);
  fuzz::Check(compare(c, a) == -ac, "antisymmetric (a, c)", details);
  if (ab == 0 && bc == 0) fuzz::Check(ac == 0, "equality is transitive", details);
  if (ab <= 0 && bc <= 0) fuzz::Check(ac <= 0, "order is transitive (a <= b <= c)", details);
  if (ab >= 0 && bc >= 0) fuzz::Check(ac >= 0, "order is transitive (a >= b >= c)", details);
  if ((ab < 0 && bc <= 0) || (ab <= 0 && bc < 0)) {
    fuzz::Check(ac < 0, "strict order is transitive", details);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string a = input.ConsumeRandomLengthString();
  const std::string b = input.ConsumeRandomLengthString();
  const std::string c = input.ConsumeRemainingBytesAsString();
  CheckOrder(NaturalCompareStr, "NaturalCompareStr", a, b, c);
  CheckOrder(NaturalCompareText, "NaturalCompareText", a, b, c);
  if (a == b) fuzz::Check(NaturalCompareStr(a, b) == 0, "byte-equal texts compare equal");
  return 0;
}
