// main.cpp: gprnpv-generate writes seeded random networks as D<n>.gpr files.
#include <iostream>

#include "netgen.h"

int main(int argc, char** argv) { return netgen::generate_main(argc, argv, std::cout, std::cerr); }
