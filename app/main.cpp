#include "app/driver.hpp"

int main(int argc, char** argv) { return pairlab::runPairlab(argc, argv); }
