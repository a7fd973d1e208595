#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "core.h"
#include "trace_stream.h"

namespace net1 {

// The engine's containers allocate through operator new: running out of
// memory there is the same fatal error as in allocMem, not an exception.
const std::new_handler previousHandler = std::set_new_handler([] { fatal("\nbad calloc"); });

void* allocMem(std::size_t size) {
  void* block = std::calloc(1, size);
  if (!block) fatal("\nbad calloc");
  return block;
}

namespace {
void (*fatalHook)(const char*) = nullptr;
}  // namespace

void setFatalHook(void (*hook)(const char*)) { fatalHook = hook; }

void fatal(const char* message) {
  // Taken before it is called, so that a fatal error inside it ends here.
  if (void (*hook)(const char*) = std::exchange(fatalHook, nullptr)) hook(message);
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
