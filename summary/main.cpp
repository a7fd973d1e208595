#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "cli.h"
#include "temporaries.h"

int main(int argc, char** argv) {
  // A standard stream that was closed before the start would hand its
  // number to the next file opened, and the summary would land in it. Hold
  // the number with /dev/null, opened so that using the stream fails:
  // writes to standard output then fail and are reported.
  for (int fd = 0; fd <= 2; ++fd)
    if (::fcntl(fd, F_GETFD) < 0) ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
  // Stopped, it leaves no temporary file of its outputs behind.
  net1::io::removeTemporariesOnStop();
  return net1::summary::runCli(argc, argv, STDIN_FILENO, stdout, stderr);
}
