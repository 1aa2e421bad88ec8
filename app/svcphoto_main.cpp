// svcphoto: the photo workstation, the photo page alone.
#include "app/program.h"

int main(int argc, char** argv) {
  return RunWorkstation(argc, argv, TForm1::Kind::Photo);
}
