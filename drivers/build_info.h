// What a program was built from, for --version and the run record.
#pragma once

namespace net1::drivers {

const char* buildVersion();
// The commit of the sources ("-dirty" when they had uncommitted changes),
// or "unknown" when they were built outside a git checkout.
const char* buildCommit();

}  // namespace net1::drivers
