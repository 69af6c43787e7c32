// Controls the window needs that Qt does not have as such.
#pragma once

#include <QListWidget>
#include <QPoint>
#include <QWidget>

namespace brindle::app {

// A drawn line between two points of its container (in pixels), like a separator rule. It takes
// no input and no focus; it covers the rectangle from one end to the other, at least one pixel
// thick.
class Line final : public QWidget {
 public:
  Line(QWidget* container, QPoint from, QPoint to);
  QPoint from() const { return from_; }
  QPoint to() const { return to_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPoint from_;
  QPoint to_;
};

// The entry list, behaving as a list box rather than as Qt's item views do: Ctrl+C does not copy
// its current line (the window puts the entry's name on the clipboard for that key, see
// frmMain::Form_KeyPress), and a click below the last line keeps the selection.
class FileList final : public QListWidget {
 public:
  explicit FileList(QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace brindle::app
