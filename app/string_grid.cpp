#include "app/string_grid.h"

#include <QAbstractTableModel>
#include <QPainter>
#include <QStyledItemDelegate>

#include "app/wincolor.h"

class TGridModel : public QAbstractTableModel {
 public:
  explicit TGridModel(TStringGrid* grid) : QAbstractTableModel(grid), grid_(grid) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : data_rows;
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(headers.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return grid_->Cell(index.column(), index.row() + 1);
  }
  QVariant headerData(int section, Qt::Orientation o, int role) const override {
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section < headers.size()) {
      return headers[section];
    }
    return {};
  }
  void SetDataRows(int n) {
    if (n > data_rows) {
      beginInsertRows(QModelIndex(), data_rows, n - 1);
      data_rows = n;
      endInsertRows();
    } else if (n < data_rows) {
      beginRemoveRows(QModelIndex(), n, data_rows - 1);
      data_rows = n;
      endRemoveRows();
    }
  }
  void SetHeaders(const QStringList& h) {
    beginResetModel();
    headers = h;
    endResetModel();
  }

  QStringList headers;
  int data_rows = 1;

 private:
  TStringGrid* grid_;
};

namespace {

// Data cells: black text 2 pixels in from the corner, yellow behind the
// selected row, white elsewhere.
class TGridDelegate : public QStyledItemDelegate {
 public:
  explicit TGridDelegate(TStringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}
  void paint(QPainter* p, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    p->save();
    p->fillRect(option.rect, grid_->RowBackground(index.row() + 1));
    p->setPen(WinColor(wincolor::kBlack));
    QFont f = option.font;
    f.setBold(false);
    p->setFont(f);
    QRect r = option.rect.adjusted(2, 2, 0, 0);
    p->drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                index.data(Qt::DisplayRole).toString());
    p->restore();
  }

 private:
  TStringGrid* grid_;
};

// The fixed header row: bold text on light blue.
class TGridHeader : public QHeaderView {
 public:
  explicit TGridHeader(TStringGrid* grid) : QHeaderView(Qt::Horizontal, grid), grid_(grid) {}

 protected:
  void paintSection(QPainter* p, const QRect& rect, int section) const override {
    p->save();
    p->fillRect(rect, WinColor(wincolor::kGridHeader));
    p->setPen(QColor(0xA0, 0xA0, 0xA0));
    p->drawLine(rect.topRight(), rect.bottomRight());
    p->drawLine(rect.bottomLeft(), rect.bottomRight());
    QFont f = font();
    f.setBold(true);
    p->setFont(f);
    p->setPen(grid_->HeaderTextColor(section));
    p->drawText(rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                model()->headerData(section, Qt::Horizontal, Qt::DisplayRole).toString());
    p->restore();
  }

 private:
  TStringGrid* grid_;
};

}  // namespace

TStringGrid::TStringGrid(QWidget* parent) : QTableView(parent), model_(new TGridModel(this)) {
  setHorizontalHeader(new TGridHeader(this));
  setModel(model_);
  setItemDelegate(new TGridDelegate(this));
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  verticalHeader()->hide();
  verticalHeader()->setMinimumSectionSize(18);
  verticalHeader()->setDefaultSectionSize(18);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setFixedHeight(20);
  setShowGrid(true);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) {
            if (!quiet_ && current.isValid()) emit SelectCell(current.row() + 1);
          });
  SetRow(1);
}

void TStringGrid::SetColumns(const std::vector<int>& widths, const QStringList& headers) {
  quiet_ = true;
  model_->SetHeaders(headers);
  for (size_t i = 0; i < widths.size(); ++i) setColumnWidth(static_cast<int>(i), widths[i]);
  quiet_ = false;
  SetRow(1);
}

void TStringGrid::SetRowCount(int rows) {
  if (rows < 2) rows = 2;
  int row = Row();
  quiet_ = true;
  rows_ = rows;
  model_->SetDataRows(rows - 1);
  quiet_ = false;
  SetRow(row > rows - 1 ? rows - 1 : row);
}

int TStringGrid::Row() const {
  QModelIndex i = currentIndex();
  return i.isValid() ? i.row() + 1 : 1;
}

void TStringGrid::SetRow(int row) {
  if (row < 1) row = 1;
  if (row > rows_ - 1) row = rows_ - 1;
  if (model_->columnCount() == 0) return;
  quiet_ = true;
  QModelIndex i = model_->index(row - 1, 0);
  selectionModel()->setCurrentIndex(
      i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  quiet_ = false;
}

QString TStringGrid::Cell(int col, int row) const {
  if (!CellText) return QString();
  if (!swallow_errors) return CellText(col, row);
  try {
    return CellText(col, row);
  } catch (...) {
    return QString();
  }
}

QColor TStringGrid::HeaderTextColor(int col) const {
  return HeaderColor ? HeaderColor(col) : WinColor(wincolor::kBlack);
}

QColor TStringGrid::RowBackground(int row) const {
  return WinColor(row == Row() ? wincolor::kGridSelected : wincolor::kWhite);
}

void TStringGrid::Repaint() {
  viewport()->update();
  horizontalHeader()->viewport()->update();
}
