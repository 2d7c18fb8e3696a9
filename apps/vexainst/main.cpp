// vexainst: stops the product's programs and cleans up at uninstall.
#include "apps/vexainst/VexaInst.h"

int main(int argc, char** argv) {
  vexa::inst::Run(vexa::inst::ParseSwitches(argc, argv));
  return 0;
}
