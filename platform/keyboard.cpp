#include "platform/keyboard.h"

#include <cctype>
#include <mutex>

#ifdef SVCDESK_HAVE_X11
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace plat {

namespace {
const char kLayoutEn[] = "00000409";
const char kLayoutRu[] = "00000419";
}  // namespace

std::string LayoutIdFromXkbName(const std::string& xkb_layout) {
  // "us(intl)" and "ru(phonetic)" are still the same languages.
  std::string base = xkb_layout.substr(0, xkb_layout.find('('));
  for (char& c : base) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "us") return kLayoutEn;
  if (base == "ru") return kLayoutRu;
  return "";
}

std::string XkbLayoutOfGroup(const std::string& layout_list, int group) {
  if (group < 0) return "";
  size_t start = 0;
  for (int i = 0;; ++i) {
    size_t comma = layout_list.find(',', start);
    if (i == group) {
      return layout_list.substr(start,
                                comma == std::string::npos ? std::string::npos : comma - start);
    }
    if (comma == std::string::npos) return "";
    start = comma + 1;
  }
}

#ifdef SVCDESK_HAVE_X11

namespace {

std::mutex g_lock;
Display* g_display = nullptr;
bool g_own = false;

// The layout list of the keyboard ("us,ru"), from the root window's rules names.
std::string LayoutList(Display* d) {
  Atom prop = XInternAtom(d, "_XKB_RULES_NAMES", True);
  if (prop == None) return "";
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, DefaultRootWindow(d), prop, 0, 1024, False, XA_STRING, &type, &format,
                         &items, &after, &data) != Success ||
      data == nullptr) {
    return "";
  }
  // rules \0 model \0 layout \0 variant \0 options
  std::string all(reinterpret_cast<char*>(data), items);
  XFree(data);
  size_t pos = 0;
  for (int i = 0; i < 2; ++i) {
    pos = all.find('\0', pos);
    if (pos == std::string::npos) return "";
    ++pos;
  }
  size_t end = all.find('\0', pos);
  return all.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

// The identifier of group `group` by its descriptive name ("English (US)", "Russian").
std::string IdFromGroupName(Display* d, int group) {
  std::string result;
  XkbDescPtr desc = XkbAllocKeyboard();
  if (desc == nullptr) return result;
  if (XkbGetNames(d, XkbGroupNamesMask, desc) == Success && desc->names != nullptr && group >= 0 &&
      group < XkbNumKbdGroups && desc->names->groups[group] != None) {
    char* name = XGetAtomName(d, desc->names->groups[group]);
    if (name != nullptr) {
      std::string n = name;
      XFree(name);
      if (n == "English (US)") result = kLayoutEn;
      if (n.rfind("Russian", 0) == 0) result = kLayoutRu;
    }
  }
  XkbFreeKeyboard(desc, 0, True);
  return result;
}

// The keymap's own group names tell best (a keymap loaded with xkbcomp leaves
// the rules names behind); the rules layout list is the fallback.
std::string IdOfGroup(Display* d, int group) {
  std::string id = IdFromGroupName(d, group);
  if (!id.empty()) return id;
  return LayoutIdFromXkbName(XkbLayoutOfGroup(LayoutList(d), group));
}

int ActiveGroup(Display* d) {
  XkbStateRec state{};
  if (XkbGetState(d, XkbUseCoreKbd, &state) != Success) return -1;
  return state.group;
}

}  // namespace

bool KeyboardAttach(void* display) {
  std::lock_guard<std::mutex> lk(g_lock);
  if (g_display != nullptr && g_own) XCloseDisplay(g_display);
  g_display = static_cast<Display*>(display);
  g_own = false;
  if (g_display == nullptr) {
    g_display = XOpenDisplay(nullptr);
    g_own = g_display != nullptr;
  }
  if (g_display == nullptr) return false;
  int major = XkbMajorVersion, minor = XkbMinorVersion;
  int opcode = 0, event = 0, error = 0;
  if (!XkbQueryExtension(g_display, &opcode, &event, &error, &major, &minor)) {
    if (g_own) XCloseDisplay(g_display);
    g_display = nullptr;
    g_own = false;
    return false;
  }
  return true;
}

void KeyboardDetach() {
  std::lock_guard<std::mutex> lk(g_lock);
  if (g_display != nullptr && g_own) XCloseDisplay(g_display);
  g_display = nullptr;
  g_own = false;
}

std::string ActiveKeyboardLayout() {
  std::lock_guard<std::mutex> lk(g_lock);
  if (g_display == nullptr) return "";
  int group = ActiveGroup(g_display);
  if (group < 0) return "";
  return IdOfGroup(g_display, group);
}

bool ActivateKeyboardLayout(const std::string& id) {
  std::lock_guard<std::mutex> lk(g_lock);
  if (g_display == nullptr || (id != kLayoutEn && id != kLayoutRu)) return false;
  int target = -1;
  for (int g = 0; g < XkbNumKbdGroups; ++g) {
    if (IdOfGroup(g_display, g) == id) {
      target = g;
      break;
    }
  }
  // A layout the keyboard was not set up with cannot be loaded here.
  if (target < 0) return false;
  if (!XkbLockGroup(g_display, XkbUseCoreKbd, static_cast<unsigned>(target))) return false;
  XSync(g_display, False);
  return true;
}

#else  // no X11: nothing can be told

bool KeyboardAttach(void*) {
  return false;
}
void KeyboardDetach() {}
std::string ActiveKeyboardLayout() {
  return "";
}
bool ActivateKeyboardLayout(const std::string&) {
  return false;
}

#endif

}  // namespace plat
