#pragma once
// Outputs that appear whole or not at all.
//
// A file is written under a temporary name beside its own and renamed when
// everything in it was written; every write is checked, and a file that
// failed, or that was never committed, is removed. Devices, pipes and the
// standard streams are written in place (see io/atomic_output.h), and
// standard output ("-") through the stream the command was given.

#include <cstdio>
#include <string>
#include <string_view>

#include "atomic_output.h"

namespace net1::summary {

// Where text goes.
class TextOut {
 public:
  virtual ~TextOut() = default;
  virtual void write(std::string_view text) = 0;
};

class StringOut : public TextOut {
 public:
  void write(std::string_view text) override { text_ += text; }
  std::string& text() { return text_; }

 private:
  std::string text_;
};

class OutputFile : public TextOut {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() override;

  // Opens path for writing, "-" meaning out, where messages call the
  // text `what` ("the headline"). Returns an error message, empty on success.
  std::string open(const std::string& path, std::FILE* out, const char* what = "the text");
  void write(std::string_view text) override;
  // Writes everything out and puts the file in place. Returns an error
  // message, empty on success.
  std::string commit() {
    std::string e = close();
    return e.empty() ? place() : e;
  }
  // The two halves of commit(), for several files that appear together:
  // writes everything out and closes the file, then renames it.
  std::string close();
  std::string place();
  // Removes the temporary file, if any.
  void discard();

 private:
  void flush();
  std::string failure(const char* what) const;

  std::string path_;
  const char* what_ = "";
  io::AtomicOutput file_;
  std::string pending_;  // written text not yet handed to the file
  std::FILE* out_ = nullptr;  // for "-"
  bool open_ = false;
  int error_ = 0;  // errno of the first failed write
};

// Writes text to out and flushes it. Returns an error message naming what
// (e.g. "the summary"), empty on success.
std::string writeOut(std::FILE* out, std::string_view text, const char* what);

}  // namespace net1::summary
