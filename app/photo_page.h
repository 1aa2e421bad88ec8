// The photo review page: the photos technicians sent ("mobphoto"), the card
// of the object each belongs to, the photo itself, and the three ways of
// disposing of a sending (into the object's photos, into its remarks, away).
// Every change leaves as a command through the tables and comes back as a
// table update; downloads and uploads go through the link's queue.
#pragma once
#include <QImage>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tables/base_client.h"

class QLabel;
class QLineEdit;
class QPushButton;
class TForm2;
class TPhotoImage;
class TStringGrid;

class TPhotoPage : public QWidget {
  Q_OBJECT

 public:
  struct Tables {
    TBaseClient* object = nullptr;
    TBaseClient* mobphoto = nullptr;
    TBaseClient* photo = nullptr;
    TBaseClient* zamech = nullptr;
  };
  // Puts a text on the link's outgoing queue; false when the queue refused it.
  using TPutSoob = std::function<bool(const std::string&)>;
  // dir: the working folder ending in '/'; caption: the label under the left
  // button that counts the records.
  TPhotoPage(const Tables& tables, TPutSoob soob, QLabel* caption, std::string dir,
             QWidget* parent = nullptr);

  void SetForm2(TForm2* f) { form2_ = f; }

  // Rebuilds the list from "mobphoto" (skipped while that table is mid-edit).
  void RefreshMobPhoto();
  // Shows a downloaded photo (temp/<name>) and deletes the file; a missing or
  // unreadable file changes nothing.
  void ShowDownloaded(const std::string& name);

  void StringGrid1SelectCell(int row);
  void StringGrid2SelectCell(int row);
  void BitBtn1Click();
  void BitBtn2Click();
  void BitBtn3Click();
  void BitBtn4Click();
  void BitBtn5Click();
  void BitBtn6Click();
  void Image1DblClick();

  // Page state.
  std::vector<int32_t> MobPhotoIdx;  // visible positions of "mobphoto" in display order
  int32_t n_absObj = -1;
  std::string filenameg;
  std::vector<std::string> PhotoIdx;

  TStringGrid* StringGrid1;
  TStringGrid* StringGrid2;
  QLineEdit* Edit1;  // Номер
  QLineEdit* Edit2;  // Наименование
  QLineEdit* Edit3;  // Город
  QLineEdit* Edit4;  // Район
  QLineEdit* Edit5;  // Адрес
  QLineEdit* Edit6;  // Техник
  QLineEdit* Edit7;  // Описание
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;
  QPushButton* BitBtn3;
  QPushButton* BitBtn4;
  QPushButton* BitBtn5;
  QPushButton* BitBtn6;
  TPhotoImage* Image1;

  // The file list of a sending: every part before a comma, and the last part
  // only when it names a ".jpg".
  static std::vector<std::string> SplitFileList(const std::string& filename);
  // The list without its k-th (1-based) of m parts.
  static std::string RemoveFromFileList(const std::string& filename, int k, int m);
  // The quarter turn of a picture: +90 counter-clockwise, -90 clockwise.
  static QImage Turn(const QImage& image, int degrees);

 private:
  void Turn(int degrees);
  // Makes the sending of grid row `row` the current "mobphoto" record, also
  // when the table was rebuilt since the list was made; false when it is gone.
  // Call with the table locked.
  bool MakeCurrent(int row);
  QString Grid1Text(int col, int row);
  QString Grid2Text(int col, int row) const;
  void SetCaption();
  void ClearCard();

  Tables t_;
  TPutSoob soob_;
  QLabel* caption_;
  std::string dir_;
  TForm2* form2_ = nullptr;
  // n_abs of each listed sending, to find it again after a rebuild.
  std::vector<int32_t> mob_nabs_;
  // The card as Windows-1251 texts: Номер, Наименование, Город, Район, Адрес,
  // Техник, Описание.
  std::string card_[7];
  // Downloads asked for (local name, server name), and the server file the
  // picture on screen came from (empty when unknown).
  std::vector<std::pair<std::string, std::string>> requested_;
  std::string shown_nameinserv_;
};
