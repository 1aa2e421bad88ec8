// The photo review page on tables filled by the test: list order and texts,
// the card, colours, and the exact texts each action puts on the link's queue.
#include "app/photo_page.h"

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "app/form2.h"
#include "app/photo_image.h"
#include "app/string_grid.h"
#include "app/wincolor.h"
#include "fixtures.h"
#include "foundation/json.h"
#include "platform/crypto.h"
#include "platform/files.h"

using apptest::AnswerNextBox;
using apptest::AnswerNextDialog;
using apptest::BoxSeen;
using apptest::Col;
using apptest::FillTable;

namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}
std::string C(const char* utf8) {
  return plat::Utf8ToCp1251(utf8);
}

class PhotoPageTest : public apptest::WorkDirTest {
 protected:
  void SetUp() override {
    WorkDirTest::SetUp();
    for (const char* name : {"object", "mobphoto", "photo", "zamech"}) {
      CreateBaseMain(list, name, "", false, Dir());
    }
    FillTable(*list[0],
              {{"name", 2, 41},
               {"addrcity", 2, 31},
               {"addrnp", 2, 31},
               {"address", 2, 61},
               {"number", 1, 4}},
              {{"500", C("Магазин"), C("Москва"), C("Центр"), C("ул. Ленина 1"), "15"},
               {"501", C("Склад"), C("Москва"), C("Север"), C("пр. Мира 2"), "16"}});
    FillMob({{"11", "100000", "15", C("Петров"), C("Дверь"), "1", "photo\\a.jpg,photo\\b.jpg"},
             {"12", "200000", "99", C("Сидоров"), C("Окно"), "0", "photo\\c.jpg,photo\\d.txt"},
             {"13", "100000", "16", C("Иванов"), C("Антенна"), "", "x.jpg,y.jpg,z.jpg"}});
    FillTable(*list[2], {{"numobj", 1, 4}, {"file", 2, 101}, {"desc", 2, 101}}, {});
    FillTable(*list[3],
              {{"number", 1, 4},
               {"name", 2, 41},
               {"address", 2, 61},
               {"city", 2, 31},
               {"addrnp", 2, 31},
               {"tech", 2, 31},
               {"zam", 2, 61},
               {"photo", 2, 255}},
              {});
    for (auto& t : list) {
      t->OnNetDataSend9 = [this](TBaseClient*, const std::string& text) { sent.push_back(text); };
    }
    caption = std::make_unique<QLabel>();
    page = std::make_unique<TPhotoPage>(
        TPhotoPage::Tables{list[0].get(), list[1].get(), list[2].get(), list[3].get()},
        [this](const std::string& text) {
          sent.push_back(text);
          return true;
        },
        caption.get(), Dir());
    form2 = std::make_unique<TForm2>();
    page->SetForm2(form2.get());
    page->resize(1390, 860);
    page->show();
    page->RefreshMobPhoto();
  }
  void TearDown() override {
    page.reset();
    form2.reset();
    caption.reset();
    list.clear();
    WorkDirTest::TearDown();
  }
  void FillMob(const std::vector<std::vector<std::string>>& rows) {
    FillTable(*list[1],
              {{"r_dt", 8, 4},
               {"number", 1, 4},
               {"technik", 2, 31},
               {"desc", 2, 61},
               {"zam", 2, 2},
               {"filename", 2, 255}},
              rows);
  }
  // Texts sent since the last call, without the downloads.
  std::vector<std::string> Commands() {
    std::vector<std::string> out;
    for (const std::string& s : sent) {
      if (GetValueFromJSON(s, "$c$") != "getfile") out.push_back(s);
    }
    sent.clear();
    return out;
  }
  std::vector<std::string> Downloads() {
    std::vector<std::string> out;
    for (const std::string& s : sent) {
      if (GetValueFromJSON(s, "$c$") == "getfile") out.push_back(s);
    }
    sent.clear();
    return out;
  }
  void Select(int row) {
    page->StringGrid1->SetRow(row);
    page->StringGrid1SelectCell(row);
  }

  TBaseList list;
  std::vector<std::string> sent;
  std::unique_ptr<QLabel> caption;
  std::unique_ptr<TForm2> form2;
  std::unique_ptr<TPhotoPage> page;
};

const char kDeleteMob[] =
    "{\"$c$\":\"database\",\"user\":\"\",\"command\":\"netdeletedatadatabase\","
    "\"nametable\":\"mobphoto\",\"n_abs\":\"%d\",}";
std::string DeleteMob(int n) {
  char buf[200];
  std::snprintf(buf, sizeof buf, kDeleteMob, n);
  return buf;
}

TEST_F(PhotoPageTest, ListIsSortedByDateTextThenDescriptionAndShowsTheRecordTexts) {
  // Keys "100000Антенна" < "100000Дверь" < "200000Окно".
  ASSERT_EQ(page->MobPhotoIdx, (std::vector<int32_t>{3, 1, 2}));
  EXPECT_EQ(page->StringGrid1->RowCount(), 4);
  TStringGrid& g = *page->StringGrid1;
  EXPECT_EQ(g.Cell(0, 1), "1");
  EXPECT_EQ(g.Cell(1, 1), "02.01.2000 03:46:40");
  EXPECT_EQ(g.Cell(2, 1), "16");
  EXPECT_EQ(g.Cell(3, 1), U("Иванов"));
  EXPECT_EQ(g.Cell(4, 1), U("Антенна"));
  EXPECT_EQ(g.Cell(5, 1), "");
  EXPECT_EQ(g.Cell(0, 2), "2");
  EXPECT_EQ(g.Cell(5, 2), U("Да"));
  EXPECT_EQ(g.Cell(5, 3), "");
  EXPECT_EQ(caption->text(), U("Фотографии 3"));
  EXPECT_EQ(caption->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_TRUE(page->BitBtn1->isEnabled() && page->BitBtn2->isEnabled() &&
              page->BitBtn3->isEnabled() && page->BitBtn6->isEnabled());
}

TEST_F(PhotoPageTest, SelectionFillsTheCardAndAsksForTheFirstPhotoUnderAFreshName) {
  EXPECT_EQ(page->Edit1->text(), "16");
  EXPECT_EQ(page->Edit2->text(), U("Склад"));
  EXPECT_EQ(page->Edit3->text(), U("Москва"));
  EXPECT_EQ(page->Edit4->text(), U("Север"));
  EXPECT_EQ(page->Edit5->text(), U("пр. Мира 2"));
  EXPECT_EQ(page->Edit6->text(), U("Иванов"));
  EXPECT_EQ(page->Edit7->text(), U("Антенна"));
  EXPECT_EQ(page->n_absObj, 501);
  EXPECT_EQ(page->PhotoIdx, (std::vector<std::string>{"x.jpg", "y.jpg", "z.jpg"}));
  EXPECT_EQ(page->StringGrid2->RowCount(), 4);
  EXPECT_EQ(page->StringGrid2->Cell(1, 3), "z.jpg");

  std::vector<std::string> d = Downloads();
  ASSERT_EQ(d.size(), 1u);
  QRegularExpression form(
      "^\\{\"\\$c\\$\":\"getfile\",\"nameinserv\":\"x\\.jpg\",\"name\":\"[0-9A-F]{8}-[0-9A-F]{4}-"
      "[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.jpg\"\\}$");
  EXPECT_TRUE(form.match(QString::fromStdString(d[0])).hasMatch()) << d[0];

  // The same record again: a new local name every time.
  Select(1);
  std::vector<std::string> again = Downloads();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_NE(GetValueFromJSON(again[0], "name"), GetValueFromJSON(d[0], "name"));

  // A record without an object: only number, technician and description; the
  // last part without ".jpg" is no file.
  Select(3);
  EXPECT_EQ(page->n_absObj, -1);
  EXPECT_EQ(page->Edit1->text(), "99");
  EXPECT_TRUE(page->Edit2->text().isEmpty() && page->Edit5->text().isEmpty());
  EXPECT_EQ(page->Edit6->text(), U("Сидоров"));
  EXPECT_EQ(page->PhotoIdx, (std::vector<std::string>{"photo\\c.jpg"}));
  d = Downloads();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_NE(d[0].find("\"nameinserv\":\"photo\\\\c.jpg\""), std::string::npos) << d[0];
}

TEST_F(PhotoPageTest, HeaderAndSelectedRowColours) {
  TStringGrid& g = *page->StringGrid1;
  QImage shot = g.grab().toImage();
  int header_y = 3;
  int x = g.horizontalHeader()->sectionViewportPosition(4) + 300;
  EXPECT_EQ(QColor(shot.pixel(x, header_y)), WinColor(0x00FCE1CB));
  int y1 = g.horizontalHeader()->height() + g.rowViewportPosition(0) + 9;
  int y2 = g.horizontalHeader()->height() + g.rowViewportPosition(1) + 9;
  EXPECT_EQ(QColor(shot.pixel(x, y1)), QColor(0xFB, 0xE6, 0x94));  // $0094E6FB
  EXPECT_EQ(QColor(shot.pixel(x, y2)), QColor(255, 255, 255));
  // "№" in magenta, the other headers in black.
  auto has_pixel = [&](int x0, int x1, auto pred) {
    for (int yy = 0; yy < g.horizontalHeader()->height(); ++yy) {
      for (int xx = x0; xx < x1; ++xx) {
        if (pred(QColor(shot.pixel(xx, yy)))) return true;
      }
    }
    return false;
  };
  auto magenta = [](QColor c) { return c.red() > 180 && c.blue() > 180 && c.green() < 100; };
  auto dark = [](QColor c) { return c.red() < 80 && c.green() < 80 && c.blue() < 80; };
  int c1 = g.horizontalHeader()->sectionViewportPosition(1);
  EXPECT_TRUE(has_pixel(0, c1, magenta));
  EXPECT_FALSE(has_pixel(c1, c1 + 100, magenta));
  EXPECT_TRUE(has_pixel(c1, c1 + 100, dark));
  // Moving the selection moves the yellow.
  Select(2);
  shot = g.grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(x, y1)), QColor(255, 255, 255));
  EXPECT_EQ(QColor(shot.pixel(x, y2)), QColor(0xFB, 0xE6, 0x94));
}

TEST_F(PhotoPageTest, AddingToTheObjectsPhotosStripsThePrefixAndDeletesTheSending) {
  Select(2);  // record 11: photo\a.jpg, photo\b.jpg at object 500
  sent.clear();
  QString shown_desc;
  AnswerNextDialog([&](QDialog*) {
    shown_desc = form2->Edit1->text();
    form2->Edit2->setText(U("Замок сломан"));
    form2->Button1->click();
  });
  page->BitBtn1Click();
  EXPECT_EQ(shown_desc, U("Дверь"));
  std::vector<std::string> c = Commands();
  std::string head =
      "{\"$c$\":\"database\",\"user\":\"\",\"command\":\"netadddatadatabase\","
      "\"nametable\":\"photo\",\"fields\":{\"numobj\":500,\"file\":\"";
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0], head + "a.jpg\",\"desc\":\"" + C("Замок сломан") + "\"}}");
  EXPECT_EQ(c[1], head + "b.jpg\",\"desc\":\"" + C("Замок сломан") + "\"}}");
  EXPECT_EQ(c[2], DeleteMob(11));

  // The operator's text is still there next time; emptied, the technician's is stored.
  Select(2);
  sent.clear();
  QString kept;
  AnswerNextDialog([&](QDialog*) {
    kept = form2->Edit2->text();
    form2->Edit2->clear();
    form2->Button1->click();
  });
  page->BitBtn1Click();
  EXPECT_EQ(kept, U("Замок сломан"));
  c = Commands();
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0], head + "a.jpg\",\"desc\":\"" + C("Дверь") + "\"}}");

  // Cancel changes nothing.
  AnswerNextDialog([&](QDialog*) { form2->Button2->click(); });
  page->BitBtn1Click();
  EXPECT_TRUE(Commands().empty());
}

TEST_F(PhotoPageTest, AddingWithoutAnObjectIsRefused) {
  Select(3);
  sent.clear();
  BoxSeen seen;
  AnswerNextBox(QMessageBox::Ok, &seen);
  page->BitBtn1Click();
  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(seen.text, U("Объект не найден"));
  EXPECT_EQ(seen.title, U("АРМ техническая служба"));
  EXPECT_TRUE(Commands().empty());
}

TEST_F(PhotoPageTest, RecordWithoutPhotosIsStillDeletedAfterOk) {
  FillMob({{"21", "100000", "15", "p", "d", "", "notes.txt"}});
  page->RefreshMobPhoto();
  EXPECT_TRUE(page->PhotoIdx.empty());
  EXPECT_FALSE(page->BitBtn6->isEnabled());
  sent.clear();
  AnswerNextDialog([&](QDialog*) { form2->Button1->click(); });
  page->BitBtn1Click();
  EXPECT_EQ(Commands(), (std::vector<std::string>{DeleteMob(21)}));
}

TEST_F(PhotoPageTest, MovingIntoRemarksCopiesTheCardAsShown) {
  Select(3);  // no object: the card's empty fields are copied empty
  sent.clear();
  BoxSeen no;
  AnswerNextBox(QMessageBox::No, &no);
  page->BitBtn2Click();
  EXPECT_EQ(no.text, U("Вы действительно хотите перенести в замечания?"));
  EXPECT_EQ(no.title, U("АРМ техническая служба"));
  EXPECT_TRUE(Commands().empty());

  BoxSeen yes;
  AnswerNextBox(QMessageBox::Yes, &yes);
  page->BitBtn2Click();
  std::vector<std::string> c = Commands();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0],
            "{\"$c$\":\"database\",\"user\":\"\",\"command\":\"netadddatadatabase\","
            "\"nametable\":\"zamech\",\"fields\":{\"number\":99,\"name\":\"\",\"address\":\"\","
            "\"city\":\"\",\"addrnp\":\"\",\"tech\":\"" +
                C("Сидоров") + "\",\"zam\":\"" + C("Окно") +
                "\",\"photo\":\"photo\\\\c.jpg,photo\\\\d.txt\"}}");
  EXPECT_EQ(c[1], DeleteMob(12));
}

TEST_F(PhotoPageTest, DeletingARecordAsksFirst) {
  BoxSeen no, yes;
  sent.clear();
  AnswerNextBox(QMessageBox::No, &no);
  page->BitBtn3Click();
  EXPECT_EQ(no.text, U("Вы действительно хотите удалить эту запись?"));
  EXPECT_TRUE(Commands().empty());
  AnswerNextBox(QMessageBox::Yes, &yes);
  page->BitBtn3Click();
  EXPECT_EQ(Commands(), (std::vector<std::string>{DeleteMob(13)}));
}

TEST_F(PhotoPageTest, DeletingOnePhotoEditsTheListOrDeletesTheLastOne) {
  // Second of x.jpg,y.jpg,z.jpg.
  page->StringGrid2->SetRow(2);
  sent.clear();
  BoxSeen seen;
  AnswerNextBox(QMessageBox::Yes, &seen);
  page->BitBtn6Click();
  EXPECT_EQ(seen.text, U("Вы действительно хотите удалить эту фотографию?"));
  EXPECT_EQ(Commands(), (std::vector<std::string>{
                            "{\"$c$\":\"database\",\"user\":\"\",\"command\":"
                            "\"neteditdatadatabase\",\"nametable\":\"mobphoto\",\"n_abs\":13,"
                            "\"fields\":{\"filename\":\"x.jpg,z.jpg\"}}"}));
  // The only photo of a record (photo\d.txt is no photo): the record goes.
  Select(3);
  sent.clear();
  AnswerNextBox(QMessageBox::Yes, &seen);
  page->BitBtn6Click();
  EXPECT_EQ(Commands(), (std::vector<std::string>{DeleteMob(12)}));
}

TEST_F(PhotoPageTest, DownloadedPhotoIsShownDeletedAndTurnedBackToTheServer) {
  std::vector<std::string> d = Downloads();
  ASSERT_EQ(d.size(), 1u);
  std::string local = GetValueFromJSON(d[0], "name");
  // Nothing shown yet: a turn sends nothing.
  page->BitBtn4Click();
  EXPECT_TRUE(Commands().empty());

  QImage img(40, 20, QImage::Format_RGB32);
  img.fill(Qt::white);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) img.setPixel(x, y, qRgb(0, 0, 0));  // top-left corner
  std::string path = Dir() + "temp/" + local;
  ASSERT_TRUE(img.save(QString::fromStdString(path), "JPG", 95));
  page->ShowDownloaded(local);
  EXPECT_FALSE(plat::FileExists(path));
  ASSERT_EQ(page->Image1->Picture().size(), QSize(40, 20));

  page->BitBtn4Click();  // counter-clockwise: the top-left corner goes to the bottom-left
  QImage turned = page->Image1->Picture();
  ASSERT_EQ(turned.size(), QSize(20, 40));
  EXPECT_LT(qGray(turned.pixel(2, 37)), 60);
  EXPECT_GT(qGray(turned.pixel(17, 2)), 200);
  std::vector<std::string> c = Commands();
  ASSERT_EQ(c.size(), 1u);
  ASSERT_EQ(c[0].rfind("{\"$c$\":\"putfilebase64\",\"nameinserv\":\"x.jpg\",\"data\":\"", 0), 0u)
      << c[0].substr(0, 80);
  std::vector<uint8_t> jpeg;
  ASSERT_TRUE(plat::Base64Decode(GetValueFromJSON(c[0], "data"), jpeg));
  QImage sent_image;
  ASSERT_TRUE(sent_image.loadFromData(jpeg.data(), static_cast<int>(jpeg.size()), "JPG"));
  EXPECT_EQ(sent_image.size(), QSize(20, 40));

  page->BitBtn5Click();  // and clockwise back
  EXPECT_EQ(page->Image1->Picture().size(), QSize(40, 20));
  EXPECT_LT(qGray(page->Image1->Picture().pixel(2, 2)), 60);
  EXPECT_EQ(Commands().size(), 1u);

  // The picture belongs to x.jpg: on another file row it is not sent as that file.
  page->StringGrid2->SetRow(2);
  page->BitBtn5Click();
  EXPECT_TRUE(Commands().empty());

  // A missing file, or a name that leaves temp, changes nothing.
  page->ShowDownloaded("missing.jpg");
  page->ShowDownloaded("../setup.ini");
  EXPECT_EQ(page->Image1->Picture().size(), QSize(40, 20));
}

TEST_F(PhotoPageTest, DoubleClickTogglesStretching) {
  EXPECT_FALSE(page->Image1->Stretch());
  page->Image1DblClick();
  EXPECT_TRUE(page->Image1->Stretch());
  page->Image1DblClick();
  EXPECT_FALSE(page->Image1->Stretch());
}

TEST_F(PhotoPageTest, EmptyListShowsOneEmptyRowAndDisablesTheActions) {
  FillMob({});
  page->RefreshMobPhoto();
  EXPECT_EQ(page->StringGrid1->RowCount(), 2);
  EXPECT_EQ(page->StringGrid1->Cell(1, 1), "");
  EXPECT_EQ(page->StringGrid2->RowCount(), 2);
  EXPECT_FALSE(page->BitBtn1->isEnabled() || page->BitBtn2->isEnabled() ||
               page->BitBtn3->isEnabled() || page->BitBtn6->isEnabled());
  EXPECT_EQ(caption->text(), U("Фотографии"));
  EXPECT_EQ(caption->palette().color(QPalette::WindowText), QColor(0, 0, 0));
  EXPECT_EQ(page->n_absObj, -1);
  EXPECT_TRUE(page->Edit1->text().isEmpty());
}

TEST_F(PhotoPageTest, CurrentRowIsKeptOrMovedToTheLastRow) {
  Select(3);
  FillMob({{"11", "100000", "15", "a", "b", "", "q.jpg"},
           {"13", "100000", "16", "a", "c", "", "r.jpg"}});
  page->RefreshMobPhoto();
  EXPECT_EQ(page->StringGrid1->Row(), 2);
  EXPECT_EQ(page->Edit1->text(), "16");
}

TEST_F(PhotoPageTest, ListWaitsWhileTheTableIsMidEdit) {
  list[1]->Add();
  FillMob({{"31", "100000", "15", "a", "b", "", "q.jpg"}});
  page->RefreshMobPhoto();
  EXPECT_EQ(page->MobPhotoIdx.size(), 3u);
  list[1]->Post();
  page->RefreshMobPhoto();
  EXPECT_EQ(page->MobPhotoIdx, (std::vector<int32_t>{1}));
}

TEST_F(PhotoPageTest, ActionsFollowTheRecordWhenTheTableWasRebuiltUnderneath) {
  Select(3);  // record 12, the second visible record
  // The link rebuilds "mobphoto" without 11 before the page heard of it: 12 is
  // now the first visible record.
  {
    auto lock = list[1]->Lock();
    list[1]->DeletedRecordL(11);
    list[1]->RefreshData();
  }
  sent.clear();
  BoxSeen seen;
  AnswerNextBox(QMessageBox::Yes, &seen);
  page->BitBtn3Click();
  EXPECT_EQ(Commands(), (std::vector<std::string>{DeleteMob(12)}));
}

struct SplitCase {
  const char* list;
  std::vector<std::string> files;
};

TEST(PhotoFileList, SplitKeepsTheLastPartOnlyWhenItIsAJpeg) {
  const SplitCase cases[] = {
      {"photo\\a.jpg,photo\\b.jpg", {"photo\\a.jpg", "photo\\b.jpg"}},
      {"photo\\a.jpg,photo\\b.txt", {"photo\\a.jpg"}},
      {"a.txt,b.jpg", {"a.txt", "b.jpg"}},
      {"", {}},
      {"only.jpg", {"only.jpg"}},
      {"a.jpg,", {"a.jpg"}},
  };
  for (const SplitCase& c : cases) EXPECT_EQ(TPhotoPage::SplitFileList(c.list), c.files) << c.list;
}

TEST(PhotoFileList, RemoveDropsTheKthOfM) {
  EXPECT_EQ(TPhotoPage::RemoveFromFileList("x.jpg,y.jpg,z.jpg", 2, 3), "x.jpg,z.jpg");
  EXPECT_EQ(TPhotoPage::RemoveFromFileList("x.jpg,y.jpg,z.jpg", 1, 3), "y.jpg,z.jpg");
  EXPECT_EQ(TPhotoPage::RemoveFromFileList("x.jpg,y.jpg,z.jpg", 3, 3), "x.jpg,y.jpg");
  EXPECT_EQ(TPhotoPage::RemoveFromFileList("x.jpg", 1, 1), "");
  EXPECT_EQ(TPhotoPage::RemoveFromFileList("a.jpg,b.txt", 1, 1), "");
}

}  // namespace
