// main.cpp: gprnpv-sweep runs factorial experiments of gprnpv over instance
// sets and parameter lists, stores every result in SQLite, and reports them.
#include <iostream>

#include "sweep.h"

int main(int argc, char** argv) { return sweep::sweep_main(argc, argv, std::cout, std::cerr); }
