// Loading any bytes behind any mark (none, UTF-8, UTF-16 LE or BE), with format detection and
// optionally a sort or a duplicate removal: nothing crashes, a loaded table always saves, and
// load-save-load is a fixed point: the second save writes the bytes of the first, and the
// second load finds the lines and the encoding of the first. A sort moves records and a
// duplicate removal drops or overwrites them, but neither invents a line.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Error.h"
#include "FuzzCheck.h"
#include "MyLib.h"
#include "StringListEX.h"

namespace {

using Lines = std::vector<std::string>;

Lines LinesOf(const TStringList& list) {
  Lines lines;
  for (long long i = 0; i < list.LineCount(); ++i) lines.push_back(list.GetLine(i));
  return lines;
}

bool BeginsLikeMark(std::string_view line) {
  for (std::string_view mark : {kMarkUtf8, kMarkUtf16Le, kMarkUtf16Be}) {
    if (line.substr(0, mark.size()) == mark) return true;
  }
  return false;
}

// The one refusal a loaded table may meet: a first row that begins like a byte-order mark in a
// table without a quote character to enclose it (the next load would drop those bytes).
struct RefusedMarkRow {};

std::string Saved(TStringListCSVEX* table, const std::string& details) {
  std::string bytes;
  try {
    table->SaveToStreamEX([&bytes](std::string_view piece) { bytes.append(piece); });
  } catch (const TessarinError& e) {
    if (table->QuoteMark == 0 && table->LineCount() > 0 && BeginsLikeMark(table->GetLine(0))) {
      throw RefusedMarkRow{};
    }
    fuzz::Check(false, "a loaded table always saves", details + "\n" + e.what());
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint8_t how = input.ConsumeIntegral<uint8_t>();
  const std::string_view marks[] = {"", kMarkUtf8, kMarkUtf16Le, kMarkUtf16Be};
  const uint32_t expected = (how & 4) ? TStringListEX::kEncodingUtf8 : 0;
  const int operation = (how >> 3) % 4;  // 0 none, 1 sort, 2 keep first, 3 keep last
  const long long column = (how >> 5) % 4;
  const std::string bytes = std::string(marks[how % 4]) + input.ConsumeRemainingBytesAsString();
  std::string details = "mark " + std::to_string(how % 4) + " expected " +
                        std::to_string(expected) + " operation " + std::to_string(operation) +
                        " column " + std::to_string(column) + "\nbytes " + fuzz::Shown(bytes);

  TStringListCSVEX first;
  first.LoadFromStreamEX(bytes, expected);
  first.DetectFormat();
  const Lines loaded = LinesOf(first);
  if (operation == 1) first.SortByColumn(column);
  if (operation >= 2) first.RemoveDuplicates(column, operation == 3);
  Lines kept = LinesOf(first);
  if (operation == 1) {
    Lines a = loaded, b = kept;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    fuzz::Check(a == b, "a sort keeps every line", details);
  } else if (operation >= 2) {
    Lines a = loaded, b = kept;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    fuzz::Check(std::includes(a.begin(), a.end(), b.begin(), b.end()),
                "a duplicate removal keeps only lines of the table", details);
  }
  std::string saved;
  try {
    saved = Saved(&first, details);
  } catch (const RefusedMarkRow&) {
    return 0;
  }
  details += "\nsaved " + fuzz::Shown(saved);
  TStringListCSVEX second;
  second.LoadFromStreamEX(saved, expected);
  second.DetectFormat();
  // A first row that begins like a byte-order mark is saved with its first field quoted, so
  // that the next load keeps those bytes: that one line may come back in its quoted form.
  Lines reloaded = LinesOf(second);
  if (!kept.empty() && !reloaded.empty() && BeginsLikeMark(kept[0])) reloaded[0] = kept[0];
  fuzz::Check(reloaded == kept, "the saved table loads the same lines", details);
  fuzz::Check(second.TextEncoding == first.TextEncoding && second.WriteBom == first.WriteBom,
              "the saved table loads with the same encoding", details);
  const std::string again = Saved(&second, details);
  fuzz::Check(again == saved, "load-save-load is a fixed point",
              details + "\nsaved again " + fuzz::Shown(again));
  return 0;
}
