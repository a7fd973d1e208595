#include <cstdio>
#include <unistd.h>

#include "cli.h"

int main(int argc, char** argv) { return net1::summary::runCli(argc, argv, STDIN_FILENO, stdout, stderr); }
