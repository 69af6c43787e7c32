#include "app/Controls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace brindle::app {

Line::Line(QWidget* container, QPoint from, QPoint to) : QWidget(container), from_(from), to_(to) {
  const int left = std::min(from.x(), to.x());
  const int top = std::min(from.y(), to.y());
  const int width = std::max(1, std::abs(to.x() - from.x()));
  const int height = std::max(1, std::abs(to.y() - from.y()));
  setGeometry(left, top, width, height);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

void Line::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawLine(from_ - pos(), to_ - pos());
}

FileList::FileList(QWidget* parent) : QListWidget(parent) {}

void FileList::keyPressEvent(QKeyEvent* event) {
  if (event == QKeySequence::Copy) {
    event->accept();
    return;
  }
  QListWidget::keyPressEvent(event);
}

void FileList::mousePressEvent(QMouseEvent* event) {
  if (!indexAt(event->position().toPoint()).isValid()) {
    event->accept();
    return;
  }
  QListWidget::mousePressEvent(event);
}

}  // namespace brindle::app
