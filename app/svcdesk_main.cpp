// svcdesk: the technical-service workstation.
#include "app/program.h"

int main(int argc, char** argv) {
  return RunWorkstation(argc, argv, TForm1::Kind::Desk);
}
