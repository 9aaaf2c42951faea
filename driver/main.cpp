#include <iostream>

#include "driver/run.hpp"

int main() {
  return kemro::run_kemro(std::cin, stdout, stderr);
}
