// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The lightweight controls of the stage window: they draw on the window's surface
// and, except for the caption label, ignore the mouse.
#include <QColor>
#include <QPixmap>
#include <QWidget>

namespace stage {

// A rectangle with a solid border drawn inside its bounds and a solid fill.
class Shape : public QWidget {
  Q_OBJECT
 public:
  Shape(QColor border, int borderWidth, QColor fill, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor border_;
  int borderWidth_;
  QColor fill_;
};

// A picture display without stretching: it takes the size of each picture it is
// given and is transparent where it shows nothing.
class PictureBox : public QWidget {
  Q_OBJECT
 public:
  explicit PictureBox(QWidget* parent);

  // The empty picture leaves the size as it is: there is no size to take.
  void setPicture(const QPixmap& picture);
  const QPixmap& picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap picture_;
};

// A label with a single-line border, button-face background and button-text
// letters, "&" access keys, wrapping at its width, clipped at its height.
class CaptionLabel : public QWidget {
  Q_OBJECT
 public:
  explicit CaptionLabel(QWidget* parent);

  void setCaption(const QString& caption);
  const QString& caption() const { return caption_; }

  // Where the text goes inside a label of these bounds: within the border.
  static QRect textArea(const QRect& bounds) { return bounds.adjusted(1, 1, -1, -1); }

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString caption_;
  bool pressed_ = false;
};

}  // namespace stage
