// Entry point: hands the command line and the console to the run.
#include <iostream>

#include "driver/run_cssqueeze.h"

int main(int, char** argv) { return run_cssqueeze(argv, std::cout, std::cin); }
