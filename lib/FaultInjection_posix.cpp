// The program's own answer: no system call is ever made to fail. The test build links a
// definition of its own instead of this one.
#include "FaultInjection.h"

namespace platform {
namespace faults {

bool Inject(Call) { return false; }

}  // namespace faults
}  // namespace platform
