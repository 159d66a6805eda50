// SPDX-License-Identifier: MIT
// Kelvora: the teach-in program for construction-kit industrial robots.
#include "app/program_qt.h"

int main(int argc, char** argv) {
  return kelvora::app::RunKelvora(argc, argv);
}
