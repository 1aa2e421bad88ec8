#include "server/options.h"

#include <cstdlib>

#include "foundation/json.h"

namespace srv {

std::string HelpText() {
  return "Usage: svcdesk-server [options]\n"
         "The stand-in central server for the svcdesk workstation (UDP).\n"
         "\n"
         "  --bind ADDR        address to listen on (default 127.0.0.1)\n"
         "  --port N           UDP port (default 9010; 0 = any free port)\n"
         "  --data DIR         data folder: database, photos, history (default svcdesk-data)\n"
         "  --demo             create demo data on first start (user demo, password demo)\n"
         "                     and keep adding technician events\n"
         "  --demo-seed N      seed of the demo data (default 1)\n"
         "  --demo-objects N   number of demo objects (default 5000)\n"
         "  --live-ms N        demo: one technician event every N ms (default 5000; 0 = none)\n"
         "  --tiles-dir DIR    map tiles from DIR/z/x/y.png\n"
         "  --tiles-url URL    map tiles fetched from URL ({z}, {x}, {y} replaced), cached\n"
         "  --tiles-cache DIR  cache of fetched tiles (default DATA/tiles)\n"
         "  --drop P           lose each datagram with probability P (both directions)\n"
         "  --dup P            duplicate each datagram with probability P\n"
         "  --reorder P        hold a datagram back behind the next with probability P\n"
         "  --delay MS         delay every datagram by MS milliseconds\n"
         "  --seed N           seed of the fault injection (default 1)\n"
         "  --verbose          log every command received\n"
         "  --help             this text\n"
         "\n"
         "Without --tiles-dir or --tiles-url the server draws the tiles itself.\n";
}

bool ParseOptions(const std::vector<std::string>& args, ServerOptions& o, bool& help, bool& verbose,
                  std::string& error) {
  help = false;
  verbose = false;
  std::string tiles_cache;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    auto number = [&](double lo, double hi, double& out) {
      std::string v;
      if (!value(v)) return false;
      char* end = nullptr;
      out = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != 0 || !(out >= lo && out <= hi)) {
        error = a + ": bad value " + v;
        return false;
      }
      return true;
    };
    double d = 0;
    if (a == "--help" || a == "-h") {
      help = true;
    } else if (a == "--verbose" || a == "-v") {
      verbose = true;
    } else if (a == "--demo") {
      o.demo = true;
    } else if (a == "--bind") {
      if (!value(o.bind)) return false;
    } else if (a == "--data") {
      if (!value(o.data_dir)) return false;
    } else if (a == "--tiles-dir") {
      if (!value(o.tiles.dir)) return false;
    } else if (a == "--tiles-url") {
      if (!value(o.tiles.url)) return false;
    } else if (a == "--tiles-cache") {
      if (!value(tiles_cache)) return false;
    } else if (a == "--port") {
      if (!number(0, 65535, d)) return false;
      o.port = static_cast<uint16_t>(d);
    } else if (a == "--demo-seed") {
      if (!number(0, 1e18, d)) return false;
      o.demo_seed = static_cast<uint64_t>(d);
    } else if (a == "--demo-objects") {
      if (!number(1, 1000000, d)) return false;
      o.demo_objects = static_cast<int>(d);
    } else if (a == "--live-ms") {
      if (!number(0, 1e9, d)) return false;
      o.live_event_ms = static_cast<int>(d);
    } else if (a == "--drop") {
      if (!number(0, 1, o.faults.drop)) return false;
    } else if (a == "--dup") {
      if (!number(0, 1, o.faults.dup)) return false;
    } else if (a == "--reorder") {
      if (!number(0, 1, o.faults.reorder)) return false;
    } else if (a == "--delay") {
      if (!number(0, 60000, d)) return false;
      o.faults.delay_ms = static_cast<int>(d);
    } else if (a == "--seed") {
      if (!number(0, 1e18, d)) return false;
      o.faults.seed = static_cast<uint64_t>(d);
    } else {
      error = "unknown option " + a;
      return false;
    }
  }
  o.tiles.cache_dir = tiles_cache.empty() ? o.data_dir + "/tiles" : tiles_cache;
  return true;
}

}  // namespace srv
