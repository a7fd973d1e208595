#pragma once
// Reading and writing file descriptors whole: a signal that interrupts a
// call, or a pipe that takes a write in pieces, is no reason to stop.

#include <cstddef>
#include <string>

namespace net1::io {

// One read(2), retried while a signal interrupts it: the number of bytes
// read, 0 at the end of the input, or -1 with errno set.
long readSome(int fd, void* buffer, std::size_t size);

// Writes every byte of data to fd. Returns 0, or the errno of the write
// that failed.
int writeAll(int fd, const void* data, std::size_t size);

// The whole of the file at path into out, when it holds at most limit bytes
// (a settings file: anything larger is not one). Returns 0, the errno of
// the open or read that failed, or EFBIG when the file is larger than limit;
// out is then left empty. Reads devices and pipes to their end as well.
int readAll(const std::string& path, std::size_t limit, std::string& out);

}  // namespace net1::io
