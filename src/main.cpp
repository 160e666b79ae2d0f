// main.cpp: gprnpv runs one batch; its exit status is the closing key.
#include "driver/driver.h"

int main() { return gpr::run_batch(); }
