#include "driver/run.hpp"

namespace kemro {

int run_kemro() { return 0; }

}  // namespace kemro
