#include "same_file.h"

#include <sys/stat.h>

#include <filesystem>

#include "output_target.h"

namespace net1::io {
namespace {

// What a name stands for.
struct Identity {
  int stream = -1;    // a standard stream: its descriptor
  bool exists = false;
  dev_t device = 0;   // when it exists
  ino_t inode = 0;
  mode_t mode = 0;
  std::string path;   // when it does not: the resolved path
};

Identity identify(const std::string& name, int dashFd) {
  Identity id;
  std::string path;
  if (name == "-") {
    id.stream = dashFd;
  } else if (followLinks(name, path) == 0 && streamDescriptor(path) >= 0) {
    id.stream = streamDescriptor(path);
  }
  struct stat st;
  const bool found = id.stream >= 0 ? ::fstat(id.stream, &st) == 0 : ::stat(name.c_str(), &st) == 0;
  if (found) {
    id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.mode = st.st_mode;
  } else if (id.stream < 0) {
    std::error_code ec;
    // The folders that exist resolved, the rest as written (".." taken
    // lexically), so that "new.txt" and "./sub/../new.txt" agree.
    id.path = std::filesystem::weakly_canonical(std::filesystem::absolute(path.empty() ? name : path, ec), ec)
                  .lexically_normal()
                  .string();
    if (ec) id.path = name;
  }
  return id;
}

// Whether writing the one would harm the other.
bool clash(const Identity& a, const Identity& b, bool bothOutputs) {
  if (bothOutputs && a.stream >= 0 && a.stream == b.stream) return false;
  if (a.exists != b.exists) return false;
  if (!a.exists) return a.stream < 0 && b.stream < 0 && a.path == b.path;
  if (a.device != b.device || a.inode != b.inode) return false;
  return !S_ISCHR(a.mode) && !S_ISSOCK(a.mode);
}

std::string describe(const Named& n, bool input) {
  if (n.first.empty()) {
    if (n.second == "-") return input ? "standard input" : "standard output";
    return input ? "the input " + n.second : n.second;
  }
  return n.first + " " + n.second + (n.second == "-" ? (input ? " (standard input)" : " (standard output)") : "");
}

}  // namespace

std::string sameFileProblem(const std::vector<Named>& inputs, const std::vector<Named>& outputs, int stdinFd,
                            int stdoutFd) {
  std::vector<Identity> in, out;
  for (const Named& n : inputs) in.push_back(identify(n.second, stdinFd));
  for (const Named& n : outputs) out.push_back(identify(n.second, stdoutFd));
  for (std::size_t o = 0; o < outputs.size(); ++o) {
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      if (clash(out[o], in[i], false))
        return describe(outputs[o], false) + " is the same file as " + describe(inputs[i], true);
    }
    for (std::size_t p = 0; p < o; ++p) {
      if (clash(out[o], out[p], true))
        return describe(outputs[o], false) + " is the same file as " + describe(outputs[p], false);
    }
  }
  return "";
}

}  // namespace net1::io
