// Natural string comparison: runs of decimal digits compare as numbers, so "a2" < "a10".
#pragma once

#include <string>
#include <string_view>

/// -1, 0 or 1. Digit runs compare by exact value at any length; equal non-zero values ignore
/// leading zeros ("a007b" == "a7b"); runs of zeros order by length; digits sort before every
/// other byte; other bytes compare unsigned. Without `match_case` both texts are lower-cased
/// with the system's locale rules first.
int NaturalCompare(std::string_view a, std::string_view b, bool match_case);
/// NaturalCompare ignoring case.
int NaturalCompareText(std::string_view a, std::string_view b);
/// NaturalCompare with case.
int NaturalCompareStr(std::string_view a, std::string_view b);

/// Appends a form of the text whose plain byte order (CompareKeyBytes) is NaturalCompareStr's
/// order: equal forms for texts it finds equal, and the same sign for every other pair. Made
/// once per text, it turns each comparison of a sort into a memcmp.
void AppendNaturalKey(std::string_view text, std::string* out);

/// Plain byte order of two texts (a proper prefix first): -1, 0 or 1.
int CompareKeyBytes(std::string_view a, std::string_view b);
