#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "net1.h"

namespace net1 {

void* allocMem(std::size_t size) {
  void* block = std::calloc(1, size);
  if (!block) fatal("\nbad calloc");
  return block;
}

void* allocMemAligned(std::size_t alignment, std::size_t size) {
  const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
  void* block = std::aligned_alloc(alignment, rounded);
  if (!block) fatal("\nbad calloc");
  std::memset(block, 0, rounded);
  return block;
}

void fatal(const char* message) {
  // Standard output carries the message after everything printed before
  // it; standard error carries it too, so that it is seen when the trace
  // goes to a file. Without a standard output stream (memory ran out while
  // it was being made) the message goes straight to the descriptor.
  std::size_t length = std::strlen(message);
  if (Stream* out = standardOutputIfMade()) {
    out->text(message).put('\n');
    out->flush();
  } else if (::write(STDOUT_FILENO, message, length) < 0 || ::write(STDOUT_FILENO, "\n", 1) < 0) {
    // Nothing more can be done to report it.
  }
  if (::write(STDERR_FILENO, message, length) < 0 || ::write(STDERR_FILENO, "\n", 1) < 0) {
    // Nothing more can be done to report it.
  }
  std::exit(1);
}

}  // namespace net1
