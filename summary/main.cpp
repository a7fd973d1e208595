#include <cstdio>
#include <unistd.h>

#include "cli.hpp"

int main(int argc, char** argv) { return tsum::run_cli(argc, argv, STDIN_FILENO, stdout, stderr); }
