#include "experiment.h"

int main(int argc, char** argv) { return net1::drivers::programMain("exp-stdp", argc, argv); }
