#include "app/analyze_driver.hpp"

int main(int argc, char** argv) { return pairlab::runAnalyze(argc, argv); }
