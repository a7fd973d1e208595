// The main of every program: NET1_PROGRAM is its name, set by the build.
#include "experiment.h"

int main(int argc, char** argv) { return net1::drivers::programMain(NET1_PROGRAM, argc, argv); }
