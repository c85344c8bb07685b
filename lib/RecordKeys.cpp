#include "RecordKeys.h"

#include <algorithm>
#include <cstring>

#include "Error.h"
#include "MyLib.h"

RecordKeyReader::RecordKeyReader(const TStringListCSVEX& table, long long column)
    : table_(table), dialect_(table.Dialect()), column_(column) {
  if (column < 0) throw IndexError(column);
}

bool RecordKeyReader::Read(size_t first, size_t end, std::string_view* key,
                           std::string* scratch) const {
  if (end - first == 1) {
    const std::string_view row = table_.LineView(static_cast<long long>(first));
    *key = FieldAt(row, column_, dialect_, scratch);
    if (key->empty()) *key = std::string_view();
    return key->empty() || key->data() != scratch->data();
  } else {
    std::string joined;
    for (size_t line = first; line < end; ++line) {
      if (line > first) joined.append("\r\n", 2);
      joined.append(table_.LineView(static_cast<long long>(line)));
    }
    const std::string_view value = FieldAt(joined, column_, dialect_, scratch);
    if (value.data() != scratch->data()) scratch->assign(value.data(), value.size());
  }
  *key = *scratch;
  return false;
}

namespace {

// A quick hash of a key's bytes, eight at a time; equal bytes give equal hashes.
uint64_t HashKey(std::string_view key) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ key.size();
  const char* p = key.data();
  size_t n = key.size();
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    h = (h ^ word) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  uint64_t last = 0;
  if (n > 0) std::memcpy(&last, p, n);
  h = (h ^ last) * 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 29;
  h *= 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 32);
}

}  // namespace

KeyTable::KeyTable() : slots_(1024, Slot{0, 0}) {}

uint64_t KeyTable::Hash(std::string_view key) { return HashKey(key); }

void KeyTable::Prefetch(uint64_t hash) const {
#if defined(__GNUC__)
  __builtin_prefetch(&slots_[static_cast<size_t>(hash) & (slots_.size() - 1)]);
#else
  (void)hash;
#endif
}

size_t* KeyTable::Insert(std::string_view key, uint64_t hash, size_t number) {
  const auto high = static_cast<uint32_t>(hash >> 32);
  const size_t mask = slots_.size() - 1;
  for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.entry == 0) {
      if (keys_.size() >= UINT32_MAX) throw TessarinError("Too many distinct keys");
      keys_.push_back(Key{bytes_.Keep(key).data(), key.size(), number, hash});
      slot = Slot{high, static_cast<uint32_t>(keys_.size())};
      // At most half full, so a search meets a free slot soon.
      if (keys_.size() * 2 > slots_.size()) Grow();
      return nullptr;
    }
    if (slot.hash != high) continue;
    Key& known = keys_[slot.entry - 1];
    if (known.size == key.size() &&
        (key.empty() || std::memcmp(known.data, key.data(), key.size()) == 0)) {
      return &known.number;
    }
  }
}

void KeyTable::Reserve(size_t keys) {
  size_t slots = slots_.size();
  while (slots < 2 * keys) slots *= 2;
  keys_.reserve(keys);
  if (slots == slots_.size()) return;
  slots_.resize(slots / 2);
  Grow();  // rebuilds the slots at the size asked for
}

void KeyTable::Grow() {
  slots_.assign(slots_.size() * 2, Slot{0, 0});
  const size_t mask = slots_.size() - 1;
  for (size_t k = 0; k < keys_.size(); ++k) {
    const uint64_t hash = keys_[k].hash;
    size_t i = static_cast<size_t>(hash) & mask;
    while (slots_[i].entry != 0) i = (i + 1) & mask;
    slots_[i] = Slot{static_cast<uint32_t>(hash >> 32), static_cast<uint32_t>(k + 1)};
  }
}
