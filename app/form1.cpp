#include "app/form1.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/center.h"
#include "app/form2.h"
#include "app/getpassword.h"
#include "app/history/history.h"
#include "app/icons.h"
#include "app/photo_page.h"
#include "app/qtext.h"
#include "app/screen_settings.h"
#include "app/setup_ini.h"
#include "app/teh_page.h"
#include "app/wincolor.h"
#include "app/working_dir.h"
#include "foundation/json.h"
#include "link/client_udp.h"
#include "link/delivery.h"
#include "map/drawmap.h"
#include "platform/clock.h"
#include "platform/files.h"

const char* const TForm1::kClientId = "7C3F0A52-6D1B-4E97-A0C4-93B5E27D6F10";

namespace {

constexpr int kObjectNumberColumn = 7;
constexpr int kLeftBarWidth = 113;
constexpr int kTehPanelWidth = 280;

QToolButton* BarButton(const QIcon& icon, QWidget* parent) {
  auto* b = new QToolButton(parent);
  b->setIcon(icon);
  b->setIconSize(QSize(40, 40));
  b->setFixedSize(97, 60);
  b->setCheckable(true);
  b->setAutoExclusive(true);
  b->setAutoRaise(true);
  return b;
}

QLabel* BarCaption(const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  QFont f = l->font();
  f.setBold(true);
  l->setFont(f);
  l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  // "Фотографии " and a long count may not fit the bar on one line.
  l->setWordWrap(true);
  return l;
}

}  // namespace

TForm1::TForm1(Kind kind, QWidget* parent) : QMainWindow(parent), kind_(kind) {
  setWindowTitle(QW("КПО Тамир 8 - Техническая служба"));
  ObjectIndexReady = false;
  dir = WorkingDir(plat::CurrentDir());
  BuildControls();
  resize(1504, 883);
  CenterOnScreen(this);

  Timer1 = new QTimer(this);
  Timer1->setInterval(20);
  connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
  Timer1->start();
  Timer2 = new QTimer(this);
  Timer2->setInterval(1000);
  connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
  Timer2->start();
}

TForm1::~TForm1() {
  FormDestroy();
}

void TForm1::BuildControls() {
  auto* central = new QWidget(this);
  central->setAutoFillBackground(true);
  QPalette pal = central->palette();
  pal.setColor(QPalette::Window, WinColor(wincolor::kWindow));
  central->setPalette(pal);
  setCentralWidget(central);
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);

  auto* bar = new QWidget(central);
  bar->setFixedWidth(kLeftBarWidth);
  auto* col = new QVBoxLayout(bar);
  col->setContentsMargins(2, 8, 2, 8);
  col->setSpacing(2);
  SpeedButton1 = BarButton(PhotosIcon(), bar);
  Label2 = BarCaption(QW("Фотографии"), bar);
  col->addWidget(SpeedButton1, 0, Qt::AlignHCenter);
  col->addWidget(Label2);
  col->addSpacing(12);
  if (kind_ == Kind::Desk) {
    SpeedButton2 = BarButton(TechniciansIcon(), bar);
    Label3 = BarCaption(QW("Техники"), bar);
    col->addWidget(SpeedButton2, 0, Qt::AlignHCenter);
    col->addWidget(Label3);
  }
  col->addStretch(1);
  row->addWidget(bar);

  Notebook1 = new QStackedWidget(central);
  row->addWidget(Notebook1, 1);

  SpeedButton1->setChecked(true);
  connect(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
  if (SpeedButton2 != nullptr) {
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
  }
}

void TForm1::SpeedButton1Click() {
  SpeedButton1->setChecked(true);
  if (PhotoPage != nullptr) Notebook1->setCurrentWidget(PhotoPage);
}

void TForm1::SpeedButton2Click() {
  if (SpeedButton2 == nullptr || TehPage == nullptr) return;
  SpeedButton2->setChecked(true);
  Notebook1->setCurrentWidget(TehPage);
}

void TForm1::SetForm2(TForm2* f) {
  if (PhotoPage != nullptr) PhotoPage->SetForm2(f);
}

bool TForm1::FormCreate() {
  FormCreateBeforeLogin();
  TSetupIni ini(dir);
  bool ok = GetPassword(*clientU, ini);
  return ok;
}

void TForm1::FormCreateBeforeLogin() {
  if (created_) return;
  created_ = true;
  ObjectIndexReady = false;
  dir = WorkingDir(plat::CurrentDir());
  TSetupIni ini(dir);
  host = ini.Address();
  port = kind_ == Kind::Desk ? ini.PortU() : ini.Port();

  NumberObject = CreateBaseMain(Base, "object", "", true, dir);
  NumberMobPhoto = CreateBaseMain(Base, "mobphoto", "", true, dir);
  NumberPhoto = CreateBaseMain(Base, "photo", "", true, dir);
  NumberZamech = CreateBaseMain(Base, "zamech", "", true, dir);
  if (kind_ == Kind::Photo) {
    // The photo workstation's change commands carry no "user" member.
    for (auto& t : Base) {
      auto lock = t->Lock();
      t->SendUser = false;
    }
  }

  // The photo page, now that its tables exist.
  TPhotoPage::Tables tables{Base[NumberObject].get(), Base[NumberMobPhoto].get(),
                            Base[NumberPhoto].get(), Base[NumberZamech].get()};
  PhotoPage = new TPhotoPage(
      tables, [this](const std::string& text) { return clientU && clientU->Soob.PutSoob(text); },
      Label2, dir, Notebook1);
  PhotoPage->setObjectName(QStringLiteral("Default"));
  Notebook1->addWidget(PhotoPage);
  if (kind_ == Kind::Desk) {
    TehPage = new QWidget(Notebook1);
    TehPage->setObjectName(QStringLiteral("teh"));
    auto* teh = new QHBoxLayout(TehPage);
    teh->setContentsMargins(0, 0, 0, 0);
    teh->setSpacing(0);
    TehPanel = new QFrame(TehPage);
    TehPanel->setFixedWidth(kTehPanelWidth);
    teh->addWidget(TehPanel);
    DrawMap1 = new TDrawMap(TehPage);
    teh->addWidget(DrawMap1, 1);
    Notebook1->addWidget(TehPage);
  }
  Notebook1->setCurrentWidget(PhotoPage);

  if (kind_ == Kind::Desk) {
    Histories.push_back(std::make_unique<THistory>("hx8_" + plat::DateToYmd(plat::Now()), dir));
  }

  clientU = std::make_unique<client_udp>(kClientId, port, host, dir);
  std::vector<THistory*> messages;
  for (auto& h : Histories) messages.push_back(h.get());
  Delivery = std::make_unique<TDelivery>(&Base, messages);
  clientU->SetHooks(Delivery.get());
  clientU->SetOnRefreshDatabase(
      [this](client_udp&, const std::string& name) { RefreshDataBase(name); });

  if (kind_ == Kind::Desk) {
    PrepareMap(ini);
    PrepareScreenSettings(ini);
    StartMap();
    LoadScreenSettings();
  }
}

void TForm1::PrepareMap(TSetupIni& ini) {
  TTehPage::Links l;
  l.Map = DrawMap1;
  l.ReadJSON = &clientU->ReadJSON;
  l.Soob = &clientU->Soob;
  l.History = Histories.empty() ? nullptr : Histories.front().get();
  l.Objects = Base[NumberObject].get();
  l.ObjectIndex = &ObjectIndex;
  l.ObjectIndexReady = &ObjectIndexReady;
  l.ScreenData = &ScreenData;
  l.OnGetFileOk = [this](const std::string& name) { PhotoPage->ShowDownloaded(name); };
  Teh = std::make_unique<TTehPage>(std::move(l));
  Teh->PrepareMap(ini.Cache(), dir);
}

void TForm1::PrepareScreenSettings(TSetupIni& ini) {
  ScreenFile = ini.DefaultScreen();
  if (ScreenFile.empty()) {
    ScreenFile = "default.scr";
    ini.WriteDefaultScreen(ScreenFile);
  }
  ScreenData = TGFDataS(dir, ScreenFile);
  screen::CreateDefaultFile(ScreenData);
}

void TForm1::StartMap() {
  Teh->StartMap();
}

void TForm1::LoadScreenSettings() {
  ScreenData.Load();
  screen::RepairMainAndPath(ScreenData);
  Teh->ApplyMainSettings();
  screen::RepairScreens(ScreenData);
  Teh->ApplyScreenSettings();
}

void TForm1::RefreshDataBase(const std::string& name) {
  // Link thread: the work is done on the main thread, once per burst of
  // refreshes of the same table.
  if (name == "mobphoto") {
    if (!refresh_mob_pending_.exchange(true)) {
      QMetaObject::invokeMethod(
          this,
          [this] {
            refresh_mob_pending_ = false;
            if (PhotoPage != nullptr) PhotoPage->RefreshMobPhoto();
          },
          Qt::QueuedConnection);
    }
  } else if (name == "object") {
    if (!refresh_obj_pending_.exchange(true)) {
      QMetaObject::invokeMethod(
          this,
          [this] {
            refresh_obj_pending_ = false;
            RebuildObjectIndex();
          },
          Qt::QueuedConnection);
    }
  }
}

void TForm1::RebuildObjectIndex() {
  if (NumberObject < 0) return;
  ObjectIndex.assign(kObjectIndexSize, 0);
  TBaseClient* obj = Base[NumberObject].get();
  {
    auto lock = obj->Lock();
    int32_t n = obj->Count();
    for (int32_t i = 1; i <= n; ++i) {
      FieldGFB* f = obj->GetFieldNumber(kObjectNumberColumn, i);
      if (f == nullptr) continue;
      int32_t number = f->GetAsInteger();
      // Numbers outside the index have no entry; their objects are not found.
      if (number < 0 || number >= kObjectIndexSize) continue;
      ObjectIndex[static_cast<size_t>(number)] = i;
    }
  }
  ObjectIndexReady = true;
}

void TForm1::Timer1Timer() {
  if (Teh) {
    Teh->Timer1Timer();
    return;
  }
  if (!clientU) return;
  std::string msg;
  if (!clientU->ReadJSON.GetSoobD(msg)) return;
  std::string c = GetValueFromJSON(msg, "$c$");
  if (c == "connected") {
    if (DrawMap1 != nullptr) DrawMap1->Working = true;
  } else if (c == "getfileok") {
    if (PhotoPage != nullptr) PhotoPage->ShowDownloaded(GetValueFromJSON(msg, "name"));
  }
}

void TForm1::Timer2Timer() {
  if (Teh) Teh->Timer2Timer();
}

void TForm1::FormActivate() {
  if (DrawMap1 == nullptr) return;
  DrawMap1->RebuildScreen(1);
  DrawMap1->NeedRedraw = true;
}

void TForm1::FormResize() {
  if (DrawMap1 == nullptr) return;
  DrawMap1->FullRepaint = true;
  DrawMap1->NeedRedraw = true;
}

void TForm1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TForm1::FormDestroy() {
  Timer1->stop();
  Timer2->stop();
  if (clientU) {
    clientU->SetOnRefreshDatabase(nullptr);
    clientU->Terminate();
    clientU.reset();
  }
}
