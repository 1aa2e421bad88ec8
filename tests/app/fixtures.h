// Helpers of the window tests: a fresh working folder, tables filled from
// rows of texts, and answering the modal boxes the windows put up.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/qtext.h"
#include "platform/regional.h"
#include "tables/base_client.h"

namespace apptest {

inline std::filesystem::path FreshDir(const std::string& tag) {
  static int seq = 0;
  auto p = std::filesystem::temp_directory_path() /
           ("svcdesk_app_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(seq++));
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p;
}

// Runs the test body in a working folder of its own (the program's working
// folder is the current directory).
class WorkDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::Regional r;
    plat::SetRegional(r);
    old_ = std::filesystem::current_path();
    dir_ = FreshDir("w");
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  std::string Dir() const { return dir_.string() + "/"; }
  std::filesystem::path dir_;

 private:
  std::filesystem::path old_;
};

// A column of a test table: integer (1), fixed text of `size` bytes (2) or
// seconds since 2000-01-01 (8).
struct Col {
  std::string name;
  uint8_t type;
  int32_t size;
};

// Replaces the table's content: the columns n_abs and p_d, then `cols`; each
// row gives n_abs followed by one text per column (Windows-1251).
inline void FillTable(TBaseClient& t, const std::vector<Col>& cols,
                      const std::vector<std::vector<std::string>>& rows) {
  auto lock = t.Lock();
  t.Clear();
  std::vector<Col> all = {{"n_abs", 1, 4}, {"p_d", 3, 1}};
  all.insert(all.end(), cols.begin(), cols.end());
  for (size_t c = 0; c < all.size(); ++c) {
    Stru_NetFields d;
    d.n_abs = static_cast<int32_t>(c + 1);
    d.name = all[c].name;
    d.TypeField = all[c].type;
    d.Size = all[c].size;
    t.AddField(d);
  }
  for (size_t c = 0; c < all.size(); ++c) {
    FieldGFB& f = *t.Fields[c];
    f.Load = true;
    for (const auto& row : rows) {
      std::string v = c == 0 ? row[0] : c == 1 ? "0" : row[c - 1];
      switch (all[c].type) {
        case 1:
          f.Data.DataInteger.push_back(std::stoi(v));
          break;
        case 3:
          f.Data.DataByte.push_back(static_cast<uint8_t>(std::stoi(v)));
          break;
        case 8:
          f.Data.DataCardinal.push_back(static_cast<uint32_t>(std::stoul(v)));
          break;
        case 2: {
          std::string field(static_cast<size_t>(all[c].size), '\0');
          size_t n = std::min(v.size(), field.size() - 1);
          field[0] = static_cast<char>(n);
          field.replace(1, n, v.substr(0, n));
          f.Data.DataByte.insert(f.Data.DataByte.end(), field.begin(), field.end());
          break;
        }
      }
    }
  }
  t.CountRecord = static_cast<int32_t>(rows.size());
  t.RefreshData();
}

// What a modal box showed, and which button answered it.
struct BoxSeen {
  QString title;
  QString text;
  bool shown = false;
};

// Answers the next message box with `button` once it is up.
inline void AnswerNextBox(QMessageBox::StandardButton button, BoxSeen* seen) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, button, seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    seen->title = box->windowTitle();
    seen->text = box->text();
    seen->shown = true;
    timer->stop();
    timer->deleteLater();
    box->button(button)->click();
  });
  timer->start();
}

// Answers the next modal dialog with `act` once it is up.
inline void AnswerNextDialog(std::function<void(QDialog*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (d == nullptr) return;
    timer->stop();
    timer->deleteLater();
    act(d);
  });
  timer->start();
}

}  // namespace apptest
