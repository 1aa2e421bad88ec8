#include "app/photo_page.h"

#include <QBuffer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTransform>
#include <QVBoxLayout>
#include <algorithm>

#include "app/form2.h"
#include "app/icons.h"
#include "app/msgbox.h"
#include "app/photo_image.h"
#include "app/qtext.h"
#include "app/string_grid.h"
#include "app/wincolor.h"
#include "foundation/json.h"
#include "platform/files.h"
#include "platform/regional.h"

namespace {

constexpr int kObjectNumberColumn = 7;

QLineEdit* CardField(QGridLayout* grid, int row, int col, const QString& caption, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  auto* edit = new QLineEdit(parent);
  edit->setReadOnly(true);
  grid->addWidget(label, row, col * 2);
  grid->addWidget(edit, row, col * 2 + 1);
  return edit;
}

void PaintRed(QPushButton* b) {
  QPalette p = b->palette();
  p.setColor(QPalette::ButtonText, WinColor(wincolor::kRed));
  b->setPalette(p);
}

}  // namespace

TPhotoPage::TPhotoPage(const Tables& tables, TPutSoob soob, QLabel* caption, std::string dir,
                       QWidget* parent)
    : QWidget(parent), t_(tables), soob_(std::move(soob)), caption_(caption), dir_(std::move(dir)) {
  setAutoFillBackground(false);
  auto* main = new QHBoxLayout(this);
  main->setContentsMargins(4, 4, 4, 4);
  main->setSpacing(6);

  // Left: the sendings and the object card.
  auto* left = new QVBoxLayout;
  StringGrid1 = new TStringGrid(this);
  StringGrid1->SetColumns(
      {17, 112, 53, 91, 376, 78},
      {QW("№"), QW("Дата"), QW("Номер"), QW("Техник"), QW("Описание"), QW("Замечание")});
  StringGrid1->swallow_errors = true;
  StringGrid1->CellText = [this](int c, int r) { return Grid1Text(c, r); };
  StringGrid1->HeaderColor = [](int c) {
    return WinColor(c == 0 ? wincolor::kMagenta : wincolor::kBlack);
  };
  StringGrid1->setMinimumWidth(17 + 112 + 53 + 91 + 376 + 78 + 22);
  left->addWidget(StringGrid1, 1);

  auto* card = new QGridLayout;
  card->setHorizontalSpacing(6);
  card->setVerticalSpacing(4);
  Edit1 = CardField(card, 0, 0, QW("Номер"), this);
  Edit2 = CardField(card, 1, 0, QW("Наименование"), this);
  Edit3 = CardField(card, 2, 0, QW("Город"), this);
  Edit4 = CardField(card, 3, 0, QW("Район"), this);
  Edit5 = CardField(card, 4, 0, QW("Адрес"), this);
  Edit6 = CardField(card, 5, 0, QW("Техник"), this);
  Edit7 = CardField(card, 6, 0, QW("Описание"), this);
  left->addLayout(card);

  auto* buttons = new QHBoxLayout;
  BitBtn1 = new QPushButton(QW("Добавить в фотографии объекта"), this);
  BitBtn2 = new QPushButton(QW("Добавить в замечания"), this);
  BitBtn3 = new QPushButton(QW("Удалить"), this);
  PaintRed(BitBtn3);
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  buttons->addStretch(1);
  buttons->addWidget(BitBtn3);
  left->addLayout(buttons);
  main->addLayout(left, 0);

  // Right: the files of the sending, the turn buttons and the photo.
  auto* right = new QVBoxLayout;
  StringGrid2 = new TStringGrid(this);
  StringGrid2->SetColumns({29, 532}, {QW("№"), QW("Имя файла")});
  StringGrid2->CellText = [this](int c, int r) { return Grid2Text(c, r); };
  StringGrid2->setFixedHeight(130);
  right->addWidget(StringGrid2);
  auto* tools = new QHBoxLayout;
  BitBtn4 = new QPushButton(this);
  BitBtn4->setIcon(TurnIcon(false));
  BitBtn4->setFixedSize(32, 28);
  BitBtn5 = new QPushButton(this);
  BitBtn5->setIcon(TurnIcon(true));
  BitBtn5->setFixedSize(32, 28);
  BitBtn6 = new QPushButton(QW("Удалить"), this);
  PaintRed(BitBtn6);
  tools->addWidget(BitBtn4);
  tools->addWidget(BitBtn5);
  tools->addStretch(1);
  tools->addWidget(BitBtn6);
  right->addLayout(tools);
  Image1 = new TPhotoImage(this);
  right->addWidget(Image1, 1);
  main->addLayout(right, 1);

  connect(StringGrid1, &TStringGrid::SelectCell, this, &TPhotoPage::StringGrid1SelectCell);
  connect(StringGrid2, &TStringGrid::SelectCell, this, &TPhotoPage::StringGrid2SelectCell);
  connect(BitBtn1, &QPushButton::clicked, this, &TPhotoPage::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TPhotoPage::BitBtn2Click);
  connect(BitBtn3, &QPushButton::clicked, this, &TPhotoPage::BitBtn3Click);
  connect(BitBtn4, &QPushButton::clicked, this, &TPhotoPage::BitBtn4Click);
  connect(BitBtn5, &QPushButton::clicked, this, &TPhotoPage::BitBtn5Click);
  connect(BitBtn6, &QPushButton::clicked, this, &TPhotoPage::BitBtn6Click);
  connect(Image1, &TPhotoImage::DoubleClicked, this, &TPhotoPage::Image1DblClick);

  BitBtn1->setEnabled(false);
  BitBtn2->setEnabled(false);
  BitBtn3->setEnabled(false);
  BitBtn6->setEnabled(false);
  SetCaption();
}

std::vector<std::string> TPhotoPage::SplitFileList(const std::string& filename) {
  std::vector<std::string> out;
  std::string rest = filename;
  for (size_t comma; (comma = rest.find(',')) != std::string::npos;) {
    out.push_back(rest.substr(0, comma));
    rest.erase(0, comma + 1);
  }
  if (rest.find(".jpg") != std::string::npos) out.push_back(rest);
  return out;
}

std::string TPhotoPage::RemoveFromFileList(const std::string& filename, int k, int m) {
  std::string rest = filename, kept;
  for (int i = 1; i <= m; ++i) {
    size_t comma = rest.find(',');
    std::string part = comma == std::string::npos ? rest : rest.substr(0, comma);
    rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    if (i != k) kept += part + ",";
  }
  if (!kept.empty()) kept.pop_back();
  return kept;
}

QImage TPhotoPage::Turn(const QImage& image, int degrees) {
  // Qt's y axis points down, so its positive angles turn clockwise on screen.
  QImage src = image.convertToFormat(QImage::Format_RGB32);
  return src.transformed(QTransform().rotate(-degrees), Qt::FastTransformation);
}

void TPhotoPage::SetCaption() {
  if (caption_ == nullptr) return;
  QPalette p = caption_->palette();
  if (MobPhotoIdx.empty()) {
    caption_->setText(QW("Фотографии"));
    p.setColor(QPalette::WindowText, WinColor(wincolor::kBlack));
  } else {
    caption_->setText(QW("Фотографии ") + QString::number(MobPhotoIdx.size()));
    p.setColor(QPalette::WindowText, WinColor(wincolor::kRed));
  }
  caption_->setPalette(p);
}

void TPhotoPage::RefreshMobPhoto() {
  TBaseClient* mob = t_.mobphoto;
  if (mob == nullptr) return;
  {
    auto lock = mob->Lock();
    // Not in the middle of an addition or edit. RefreshYes cannot tell: the link
    // clears it when it raises the refresh, before this queued call runs.
    if (mob->RecordNE) return;
    struct Entry {
      QString key;
      int32_t pos;
      int32_t nabs;
    };
    std::vector<Entry> entries;
    int32_t n = mob->Count();
    entries.reserve(n > 0 ? n : 0);
    for (int32_t i = 1; i <= n; ++i) {
      std::string key =
          plat::FormatFloat(mob->FieldAsFloat("r_dt", i)) + mob->FieldAsString("desc", i);
      entries.push_back({ToQ(key), i, mob->FieldAsInteger("n_abs", i)});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
      return QString::compare(a.key, b.key, Qt::CaseInsensitive) < 0;
    });
    MobPhotoIdx.clear();
    mob_nabs_.clear();
    for (const Entry& e : entries) {
      MobPhotoIdx.push_back(e.pos);
      mob_nabs_.push_back(e.nabs);
    }
  }
  StringGrid1->SetRowCount(static_cast<int>(MobPhotoIdx.size()) + 1);
  StringGrid1->Repaint();
  StringGrid1SelectCell(StringGrid1->Row());
  bool any = !MobPhotoIdx.empty();
  BitBtn1->setEnabled(any);
  BitBtn2->setEnabled(any);
  BitBtn3->setEnabled(any);
  SetCaption();
}

bool TPhotoPage::MakeCurrent(int row) {
  TBaseClient* mob = t_.mobphoto;
  if (row < 1 || row > static_cast<int>(MobPhotoIdx.size())) return false;
  int32_t p = MobPhotoIdx[row - 1];
  int32_t nabs = mob_nabs_[row - 1];
  if (p < 1 || p > mob->Count() || mob->FieldAsInteger("n_abs", p) != nabs) {
    // The link rebuilt the table after the list was made: find the sending again.
    p = 0;
    for (int32_t v = 1; v <= mob->Count(); ++v) {
      if (mob->FieldAsInteger("n_abs", v) == nabs) {
        p = v;
        break;
      }
    }
    if (p == 0) return false;
  }
  mob->SetRecordIndex(p);
  return true;
}

void TPhotoPage::ClearCard() {
  for (QLineEdit* e : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7}) e->clear();
  for (std::string& s : card_) s.clear();
}

void TPhotoPage::StringGrid1SelectCell(int row) {
  if (MobPhotoIdx.empty() || t_.mobphoto == nullptr) {
    n_absObj = -1;
    ClearCard();
    BitBtn6->setEnabled(false);
    filenameg.clear();
    Image1->Clear();
    shown_nameinserv_.clear();
    PhotoIdx.clear();
    StringGrid2->SetRowCount(2);
  } else {
    TBaseClient* mob = t_.mobphoto;
    auto lock = mob->Lock();
    if (row < 1) row = 1;
    if (row > static_cast<int>(MobPhotoIdx.size())) row = static_cast<int>(MobPhotoIdx.size());
    MakeCurrent(row);
    int32_t p = mob->RecordIndex();
    int32_t n = mob->FieldAsInteger("number", p);
    n_absObj = -1;
    bool found = false;
    if (TBaseClient* obj = t_.object) {
      auto olock = obj->Lock();
      for (int32_t v = 1; v <= obj->Count(); ++v) {
        FieldGFB* num = obj->GetFieldNumber(kObjectNumberColumn, v);
        if (num == nullptr || num->GetAsInteger() != n) continue;
        card_[1] = obj->FieldAsString("name", v);
        card_[2] = obj->FieldAsString("addrcity", v);
        card_[3] = obj->FieldAsString("addrnp", v);
        card_[4] = obj->FieldAsString("address", v);
        n_absObj = obj->FieldAsInteger("n_abs", v);
        found = true;
        break;
      }
    }
    if (!found) card_[1] = card_[2] = card_[3] = card_[4] = std::string();
    card_[0] = mob->FieldAsString("number", p);
    card_[5] = mob->FieldAsString("technik", p);
    card_[6] = mob->FieldAsString("desc", p);
    filenameg = mob->FieldAsString("filename", p);
    QLineEdit* edits[7] = {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7};
    for (int i = 0; i < 7; ++i) edits[i]->setText(ToQ(card_[i]));
    PhotoIdx = SplitFileList(filenameg);
    StringGrid2->SetRowCount(static_cast<int>(PhotoIdx.size()) + 1);
    BitBtn6->setEnabled(!PhotoIdx.empty());
  }
  StringGrid2->Repaint();
  StringGrid2SelectCell(StringGrid2->Row());
}

void TPhotoPage::StringGrid2SelectCell(int row) {
  if (PhotoIdx.empty() || row < 1 || row > static_cast<int>(PhotoIdx.size())) return;
  if (!soob_) return;
  const std::string& server_name = PhotoIdx[row - 1];
  std::string local = CGuid() + ".jpg";
  std::string text = "{\"$c$\":\"getfile\",\"nameinserv\":\"" + JSONString(server_name) +
                     "\",\"name\":\"" + JSONString(local) + "\"}";
  // A full queue drops the request; the previous photo stays on screen.
  if (soob_(text)) {
    if (requested_.size() > 64) requested_.erase(requested_.begin());
    requested_.emplace_back(local, server_name);
  }
}

void TPhotoPage::ShowDownloaded(const std::string& name) {
  // The name comes from the server: it must stay inside temp.
  if (!plat::IsPlainFileName(name)) return;
  std::string path = dir_ + "temp/" + name;
  if (!plat::FileExists(path)) return;
  QImage image;
  bool ok = image.load(QString::fromStdString(path), "JPG");
  plat::DeleteFile(path);
  if (!ok) return;
  Image1->SetPicture(image.convertToFormat(QImage::Format_RGB32));
  shown_nameinserv_.clear();
  for (const auto& [local, server] : requested_) {
    if (local == name) shown_nameinserv_ = server;
  }
}

QString TPhotoPage::Grid1Text(int col, int row) {
  if (MobPhotoIdx.empty() || t_.mobphoto == nullptr) return QString();
  if (row < 1 || row > static_cast<int>(MobPhotoIdx.size())) return QString();
  TBaseClient* mob = t_.mobphoto;
  auto lock = mob->Lock();
  int32_t p = MobPhotoIdx[row - 1];
  switch (col) {
    case 0:
      return QString::number(row);
    case 1:
      return ToQ(mob->FieldAsString("r_dt", p));
    case 2:
      return ToQ(mob->FieldAsString("number", p));
    case 3:
      return ToQ(mob->FieldAsString("technik", p));
    case 4:
      return ToQ(mob->FieldAsString("desc", p));
    case 5:
      return mob->FieldAsString("zam", p) == "1" ? QW("Да") : QString();
    default:
      return QString();
  }
}

QString TPhotoPage::Grid2Text(int col, int row) const {
  if (PhotoIdx.empty() || row < 1 || row > static_cast<int>(PhotoIdx.size())) return QString();
  return col == 0 ? QString::number(row) : ToQ(PhotoIdx[row - 1]);
}

void TPhotoPage::BitBtn1Click() {
  if (n_absObj == -1) {
    ShowMessage(this, W1251("Объект не найден"));
    return;
  }
  if (form2_ == nullptr || t_.mobphoto == nullptr || t_.photo == nullptr) return;
  int row = StringGrid1->Row();
  std::string tech_desc;
  {
    auto lock = t_.mobphoto->Lock();
    if (row < 1 || row > static_cast<int>(MobPhotoIdx.size())) return;
    tech_desc = t_.mobphoto->FieldAsString("desc", MobPhotoIdx[row - 1]);
  }
  form2_->Edit1->setText(ToQ(tech_desc));
  // No table is locked while the dialog is up: the link keeps working.
  if (form2_->exec() != QDialog::Accepted) return;
  std::string desc = FromQ(form2_->Edit2->text());
  if (desc.empty()) desc = tech_desc;

  auto mlock = t_.mobphoto->Lock();
  if (!MakeCurrent(row)) return;
  {
    auto plock = t_.photo->Lock();
    static const std::string kPrefix = "photo\\";
    for (const std::string& f : PhotoIdx) {
      filenameg = f;
      if (filenameg.compare(0, kPrefix.size(), kPrefix) == 0) filenameg.erase(0, kPrefix.size());
      t_.photo->Add();
      t_.photo->FieldSetAsInteger("numobj", n_absObj);
      t_.photo->FieldSetAsString("file", filenameg);
      t_.photo->FieldSetAsString("desc", desc);
      t_.photo->Post();
    }
  }
  t_.mobphoto->DeleteRecordCurrent();
}

void TPhotoPage::BitBtn2Click() {
  if (MobPhotoIdx.empty() || t_.mobphoto == nullptr || t_.zamech == nullptr) return;
  if (!AskYesNo(this, W1251("Вы действительно хотите перенести в замечания?"))) return;
  auto mlock = t_.mobphoto->Lock();
  if (!MakeCurrent(StringGrid1->Row())) return;
  std::string files = t_.mobphoto->FieldAsString("filename", t_.mobphoto->RecordIndex());
  {
    auto zlock = t_.zamech->Lock();
    TBaseClient* z = t_.zamech;
    z->Add();
    z->FieldSetAsInteger("number", StrToIntDef(card_[0], 0));
    z->FieldSetAsString("name", card_[1]);
    z->FieldSetAsString("address", card_[4]);
    z->FieldSetAsString("city", card_[2]);
    z->FieldSetAsString("addrnp", card_[3]);
    z->FieldSetAsString("tech", card_[5]);
    z->FieldSetAsString("zam", card_[6]);
    z->FieldSetAsString("photo", files);
    z->Post();
  }
  t_.mobphoto->DeleteRecordCurrent();
}

void TPhotoPage::BitBtn3Click() {
  if (MobPhotoIdx.empty() || t_.mobphoto == nullptr) return;
  if (!AskYesNo(this, W1251("Вы действительно хотите удалить эту запись?"))) return;
  auto lock = t_.mobphoto->Lock();
  if (MakeCurrent(StringGrid1->Row())) t_.mobphoto->DeleteRecordCurrent();
}

void TPhotoPage::BitBtn6Click() {
  if (MobPhotoIdx.empty() || PhotoIdx.empty() || t_.mobphoto == nullptr) return;
  if (!AskYesNo(this, W1251("Вы действительно хотите удалить эту фотографию?"))) return;
  TBaseClient* mob = t_.mobphoto;
  auto lock = mob->Lock();
  if (!MakeCurrent(StringGrid1->Row())) return;
  std::string files = mob->FieldAsString("filename", mob->RecordIndex());
  std::string rest =
      RemoveFromFileList(files, StringGrid2->Row(), static_cast<int>(PhotoIdx.size()));
  if (!rest.empty()) {
    mob->Edit();
    mob->FieldSetAsString("filename", rest);
    mob->Post();
  } else {
    mob->DeleteRecordCurrent();
  }
}

void TPhotoPage::BitBtn4Click() {
  Turn(90);
}
void TPhotoPage::BitBtn5Click() {
  Turn(-90);
}

void TPhotoPage::Turn(int degrees) {
  if (PhotoIdx.empty()) return;
  int k = StringGrid2->Row();
  if (k < 1 || k > static_cast<int>(PhotoIdx.size())) return;
  // Only the photo of this file row may go back under its name: a picture left
  // over from another record (or none at all) would overwrite the server's file.
  if (Image1->Picture().isNull() || shown_nameinserv_ != PhotoIdx[k - 1]) return;
  QImage turned = Turn(Image1->Picture(), degrees);
  Image1->SetPicture(turned);
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  if (!turned.save(&buffer, "JPG")) return;
  Bytes bytes(jpeg.begin(), jpeg.end());
  std::string text = "{\"$c$\":\"putfilebase64\",\"nameinserv\":\"" + JSONString(PhotoIdx[k - 1]) +
                     "\",\"data\":\"" + JSONString(StreamToBase64(bytes)) + "\"}";
  if (soob_) soob_(text);
  Image1->repaint();
}

void TPhotoPage::Image1DblClick() {
  Image1->SetStretch(!Image1->Stretch());
}
