// Program entry shared by svcdesk and svcphoto.
#pragma once
#include <string>

#include "app/form1.h"

// --help and --version. Returns the exit code when the command line asked for
// one of them (or was not understood), -1 to go on and start the window.
int HandleCommandLine(int argc, char** argv, TForm1::Kind kind, std::string& out);

// Creates the application, the main window (which logs in and loads the
// tables), the photo description dialog, and runs the message loop.
int RunWorkstation(int argc, char** argv, TForm1::Kind kind);
