// The main window: owns the server link, the replicated tables, the day's
// history store, the screen settings and the map for the life of the program,
// and wires them together at creation. Two pages: the photo review page and
// the technicians page with the map. The photo workstation (svcphoto) is the
// same window with the photo page alone.
#pragma once
#include <QMainWindow>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/records/records.h"
#include "tables/base_client.h"

class client_udp;
class QLabel;
class QStackedWidget;
class QTimer;
class QToolButton;
class TDrawMap;
class THistory;
class TForm2;
class TPhotoPage;
class TSetupIni;
class TDelivery;
class TTehPage;
class QFrame;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  enum class Kind { Desk, Photo };
  // The client-kind identifier the workstation logs in with.
  static const char* const kClientId;
  static constexpr int kObjectIndexSize = 1000000;

  explicit TForm1(Kind kind = Kind::Desk, QWidget* parent = nullptr);
  ~TForm1() override;

  // The creation handler: configuration, tables, history, link, map, screen
  // settings, then the login. False when the operator cancelled the login
  // (the program is then to end).
  bool FormCreate();
  // As FormCreate without the login, for a caller that logs in itself.
  void FormCreateBeforeLogin();
  void SetForm2(TForm2* f);

  // Raised by the link on its own thread.
  void RefreshDataBase(const std::string& name);
  // The object index rebuild (main thread).
  void RebuildObjectIndex();
  void Timer1Timer();
  void Timer2Timer();
  void SpeedButton1Click();
  void SpeedButton2Click();

  Kind kind() const { return kind_; }

  // State.
  std::string dir;  // working folder, ending in '/'
  std::string host;
  uint16_t port = 0;
  TBaseList Base;
  int32_t NumberObject = -1, NumberMobPhoto = -1, NumberPhoto = -1, NumberZamech = -1;
  std::unique_ptr<client_udp> clientU;
  std::unique_ptr<TDelivery> Delivery;  // the link's hooks for Base and Histories
  std::vector<std::unique_ptr<THistory>> Histories;
  std::string ScreenFile;
  TGFDataS ScreenData;
  std::vector<int32_t> ObjectIndex;
  std::atomic<bool> ObjectIndexReady{false};
  double LastWheelTime = 0;

  // Controls.
  QToolButton* SpeedButton1;
  QToolButton* SpeedButton2 = nullptr;
  QLabel* Label2;            // "Фотографии" and the count
  QLabel* Label3 = nullptr;  // "Техники"
  QStackedWidget* Notebook1;
  TPhotoPage* PhotoPage = nullptr;  // page "Default"
  QWidget* TehPage = nullptr;       // page "teh"
  QFrame* TehPanel = nullptr;
  TDrawMap* DrawMap1 = nullptr;
  std::unique_ptr<TTehPage> Teh;  // what the window does with the map (svcdesk only)
  QTimer* Timer1;
  QTimer* Timer2;

 protected:
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildControls();
  void PrepareMap(TSetupIni& ini);
  void PrepareScreenSettings(TSetupIni& ini);
  void StartMap();
  void LoadScreenSettings();
  void FormActivate();
  void FormResize();
  void FormDestroy();

  Kind kind_;
  std::atomic<bool> refresh_mob_pending_{false};
  std::atomic<bool> refresh_obj_pending_{false};
  bool created_ = false;
};
