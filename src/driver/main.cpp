#include <cstdio>

#include "driver/driver.hpp"

int main(int argc, char** argv) { return bxa::runCommandLine(argc, argv, stdin); }
