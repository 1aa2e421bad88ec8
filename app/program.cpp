#include "app/program.h"

#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/form2.h"
#include "app/state_dump.h"
#include "app/teh_page.h"
#include "platform/keyboard.h"

namespace {

const char* ProgramName(TForm1::Kind kind) {
  return kind == TForm1::Kind::Desk ? "svcdesk" : "svcphoto";
}

std::string Usage(TForm1::Kind kind) {
  std::string name = ProgramName(kind);
  std::string text = "Usage: " + name + " [--help | --version]\n\n";
  if (kind == TForm1::Kind::Desk) {
    text +=
        "The technical-service workstation of the \"КПО Тамир 8\" suite: the photos\n"
        "technicians send from the field and the technicians of the day on the map.\n";
  } else {
    text +=
        "The photo workstation of the \"КПО Тамир 8\" suite: the photos technicians\n"
        "send from the field, moved into the objects' photos or remarks, or deleted.\n";
  }
  text +=
      "\nThe working folder is the current directory. setup.ini there names the server:\n"
      "  [ServerHost]\n"
      "  Address=127.0.0.1     one or more addresses separated by \",\"\n";
  if (kind == TForm1::Kind::Desk) {
    text +=
        "  PortU=9010            UDP port\n"
        "  [Main]\n"
        "  Cache=                map tile cache folder (default: cache)\n"
        "  DefaultScreen=        screen-settings file (default: default.scr)\n"
        "  UserDefault=          last user name, kept by the program\n";
  } else {
    text +=
        "  Port=9010             UDP port\n"
        "  [Main]\n"
        "  UserDefault=          last user name, kept by the program\n";
  }
  text += "\nFolders under the working folder: temp, logs, dd8";
  text += kind == TForm1::Kind::Desk ? ", cache.\n" : ".\n";
  text +=
      "\nOptions:\n"
      "  --help     show this text and exit\n"
      "  --version  show the version and exit\n"
      "  --state-dump FILE  rewrite FILE every few seconds with a JSON snapshot of the\n"
      "             link, the tables and the technicians (for support)\n";
  return text;
}

// On X11 the login dialog reads and switches the keyboard layout through the
// display Qt already has open.
void AttachKeyboard() {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  void* display = nullptr;
  if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
    display = x11->display();
  }
  plat::KeyboardAttach(display);
}

}  // namespace

int HandleCommandLine(int argc, char** argv, TForm1::Kind kind, std::string& out) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      out = Usage(kind);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      out = std::string(ProgramName(kind)) + " " + SVCDESK_VERSION + "\n";
      return 0;
    }
    // Qt's own options (-platform, -style, ...) are left to Qt.
    if (argv[i][0] == '-' && argv[i][1] == '-') {
      out = std::string(ProgramName(kind)) + ": unknown option " + argv[i] + " (see --help)\n";
      return 2;
    }
  }
  return -1;
}

int RunWorkstation(int argc, char** argv, TForm1::Kind kind) {
  bool bad_dump = false;
  const std::string dump = TakeStateDumpOption(argc, argv, bad_dump);
  if (bad_dump) {
    std::fprintf(stderr, "%s: --state-dump needs a file name\n", ProgramName(kind));
    return 2;
  }
  std::string out;
  int code = HandleCommandLine(argc, argv, kind, out);
  if (code >= 0) {
    std::fputs(out.c_str(), code == 0 ? stdout : stderr);
    return code;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(ProgramName(kind)));
  QApplication::setApplicationVersion(QStringLiteral(SVCDESK_VERSION));
  AttachKeyboard();

  auto form1 = std::make_unique<TForm1>(kind);
  if (!dump.empty()) {
    // A child of the window: it stops with it.
    TForm1* f = form1.get();
    new TStateDump(
        dump, [f] { return CollectState(f->clientU.get(), &f->Base, f->Teh.get()); }, f);
  }
  if (!form1->FormCreate()) {
    // The operator cancelled the login; the window still stops the link.
    form1.reset();
    plat::KeyboardDetach();
    return 0;
  }
  auto form2 = std::make_unique<TForm2>(form1.get());
  form1->SetForm2(form2.get());
  form1->show();
  int rc = app.exec();
  // The dialog is a child of the window: it goes first.
  form2.reset();
  form1.reset();
  plat::KeyboardDetach();
  return rc;
}
