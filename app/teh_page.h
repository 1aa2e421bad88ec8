// The technicians page: what the main window does with the map control. It
// prepares the map at creation, works off the link's messages for the window
// one per tick, replays the day's history into the technicians of the day when
// it grows, hands them to the map with their label boxes, and answers the
// map's events (tile requests, saved views and layouts, wheel and keys).
//
// Everything here runs on the main thread. The link's threads fill ReadJSON
// and the history store; this page reads them only from Timer1Timer.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/tehwork/tehwork.h"

class OchFIFOJSON;
class TBaseClient;
class TDrawMap;
class TGFDataS;
class THistory;
class TSoobQueue;

class TTehPage {
 public:
  // What the page works with; all owned by the main window and alive as long
  // as the page. History, Objects, ObjectIndex and OnGetFileOk may be null.
  struct Links {
    TDrawMap* Map = nullptr;
    OchFIFOJSON* ReadJSON = nullptr;  // link -> window
    TSoobQueue* Soob = nullptr;       // window -> link
    THistory* History = nullptr;      // the day's history store
    TBaseClient* Objects = nullptr;   // the "object" table
    // Object number -> 1-based position in Objects (0: none), and whether it
    // has been built once.
    const std::vector<int32_t>* ObjectIndex = nullptr;
    const std::atomic<bool>* ObjectIndexReady = nullptr;
    TGFDataS* ScreenData = nullptr;  // the screen-settings file
    // "getfileok": the photo page shows temp/<name> and deletes it.
    std::function<void(const std::string& name)> OnGetFileOk;
  };

  explicit TTehPage(Links links);
  // Takes the page's handlers off the map, which may outlive it.
  ~TTehPage();
  TTehPage(const TTehPage&) = delete;
  TTehPage& operator=(const TTehPage&) = delete;

  // Creation of the main window, in its order:
  // the map's switches, handlers, default photo and tile cache folder.
  // cache: the Main/Cache setting (empty: dir + "cache"); dir ends in '/'.
  void PrepareMap(const std::string& cache, const std::string& dir);
  // Map 1 as a tile map, the drawing surfaces, the layout and screen 1.
  void StartMap();
  // The display switches and the layout of the first "Main" record.
  void ApplyMainSettings();
  // Each screen's centre, zoom, badge and tile source from "ya", then every
  // screen located.
  void ApplyScreenSettings();

  // The 20 ms dispatcher: one link message, then the history when it changed.
  void Timer1Timer();
  // The one-second full recomposition of the map picture.
  void Timer2Timer();

  // Map events.
  void OnSendDataU(const std::string& data);
  void OnSavePoint(int screen, float lon, float lat, int zoom);
  void OnSaveScreen(const std::string& layout);
  // A wheel step over the map (down: towards the user).
  void MouseWheel(bool down);

  // The replay of the whole history and the map's technicians rebuilt from it.
  void RebuildTehWork();
  void RebuildTechnicians();
  const std::vector<stru_tehwork>& TehWork() const { return replay_.TehWork(); }

  // Round to the nearest integer, the even one of two equally near; values
  // beyond what a pixel position can be are held at +-1e9 (NaN gives 0).
  static int32_t RoundHalfEven(double v);

  // Date-time of the last wheel step, handled or not.
  double LastWheelTime = 0;

 private:
  void Dispatch(const std::string& message);
  void OldUp(const std::string& message);
  // The 1-based position of object n in the "object" table, or 0.
  int32_t ObjectPosition(int32_t n) const;

  Links l_;
  TTehWorkReplay replay_;
};
