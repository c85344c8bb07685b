// A seam for tests of the failure paths: the POSIX platform layer asks before each system call
// of these kinds whether it is to fail. The program itself links a version that never says so;
// the test build of the program links one that fails the calls its tests choose.
#pragma once

namespace platform {
namespace faults {

enum class Call { kOpen, kWrite, kFsync, kClose, kRename, kLink, kMkdir };

/// True, with errno set to the chosen error, when this call is to fail.
bool Inject(Call call);

}  // namespace faults
}  // namespace platform
