// Construction of the table list; its operations live in the StringListCSV_*.cpp files, one per
// concern (fields, quoting, assembly, sort, de-duplication, detection, loading).
#include "StringListEX.h"

TStringListCSVEX::TStringListCSVEX() { Delimiter = ';'; }
