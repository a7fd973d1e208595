#include "experiment.h"

int main(int argc, char** argv) { return net1::drivers::programMain("exp-poisson", argc, argv); }
