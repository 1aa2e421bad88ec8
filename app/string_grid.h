// An owner-drawn grid in the manner of a string grid: one fixed header row,
// whole-row selection, rows counted with the header (at least 2), texts and
// colours asked of the owner cell by cell as they are painted.
#pragma once
#include <QHeaderView>
#include <QTableView>
#include <functional>
#include <vector>

class TGridModel;

class TStringGrid : public QTableView {
  Q_OBJECT

 public:
  explicit TStringGrid(QWidget* parent = nullptr);

  void SetColumns(const std::vector<int>& widths, const QStringList& headers);
  // Rows including the header row, as the grid counts them; at least 2.
  int RowCount() const { return rows_; }
  void SetRowCount(int rows);
  // The current data row, 1 .. RowCount() - 1.
  int Row() const;
  // Moves the current row without raising SelectCell.
  void SetRow(int row);

  // Text of data cell (col, row); row is 1-based. Exceptions are swallowed
  // when swallow_errors is set (the cell is then left empty).
  std::function<QString(int col, int row)> CellText;
  // Colour of a header text.
  std::function<QColor(int col)> HeaderColor;
  bool swallow_errors = false;

  // The text a cell shows now (what painting asks for).
  QString Cell(int col, int row) const;
  QColor HeaderTextColor(int col) const;
  QColor RowBackground(int row) const;
  void Repaint();

 signals:
  // The operator moved to another row.
  void SelectCell(int row);

 private:
  TGridModel* model_;
  int rows_ = 2;
  bool quiet_ = false;
};
