// main.cpp: gprnpv-check solves instances as gprnpv does and checks that
// every result is feasible and provably optimal.
#include <iostream>

#include "check.h"

int main(int argc, char** argv) { return gprcheck::check_main(argc, argv, std::cout, std::cerr); }
