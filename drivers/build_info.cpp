#include "build_info.h"

#include "build_commit.h"  // generated at every build: NET1_COMMIT

#ifndef NET1_VERSION
#define NET1_VERSION "unknown"
#endif

namespace net1::drivers {

const char* buildVersion() { return NET1_VERSION; }
const char* buildCommit() { return NET1_COMMIT; }

}  // namespace net1::drivers
