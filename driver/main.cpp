#include <iostream>

#include "driver/command_line.hpp"
#include "driver/dialog.hpp"
#include "driver/run.hpp"
#include "driver/temporary_guard.hpp"

int main(int argc, char** argv) {
  if (!kemro::connect_closed_standard_descriptors()) return kemro::EXIT_FILE_ERROR;
  if (argc > 1) return kemro::answer_arguments(argc, argv, stdout, stderr);
  kemro::remove_temporary_on_signal();
  return kemro::run_kemro(std::cin, stdout, stderr);
}
