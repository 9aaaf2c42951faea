#include "driver/run.hpp"

int main() { return kemro::run_kemro(); }
