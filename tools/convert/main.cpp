// main.cpp: gprnpv-convert turns benchmark library networks into D<n>.gpr files.
#include <iostream>

#include "convert.h"

int main(int argc, char** argv) { return convert::convert_main(argc, argv, std::cout, std::cerr); }
