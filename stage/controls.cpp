// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/controls.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>

#include "platform/access_key.h"

namespace stage {

Shape::Shape(QColor border, int borderWidth, QColor fill, QWidget* parent)
    : QWidget(parent), border_(border), borderWidth_(borderWidth), fill_(fill) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Shape::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), border_);
  p.fillRect(rect().adjusted(borderWidth_, borderWidth_, -borderWidth_, -borderWidth_), fill_);
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PictureBox::setPicture(const QPixmap& picture) {
  picture_ = picture;
  if (!picture_.isNull()) resize(picture_.deviceIndependentSize().toSize());
  update();
}

void PictureBox::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter p(this);
  p.drawPixmap(0, 0, picture_);
}

namespace {

// Screen readers take the caption for a label, its text for its name, as they would a
// QLabel's; the caption paints its own text, so it says what it is here.
QAccessibleInterface* captionAccessible(const QString& className, QObject* object) {
  if (className != QLatin1String("stage::CaptionLabel") || !object->isWidgetType()) return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StaticText);
}

}  // namespace

CaptionLabel::CaptionLabel(QWidget* parent) : QWidget(parent) {
  static const bool installed = (QAccessible::installFactory(captionAccessible), true);
  (void)installed;
}

void CaptionLabel::setCaption(const QString& caption) {
  caption_ = caption;
  // A screen reader hears each new line, a repeated one too: the accessible name is the
  // text as shown, and a change of name is what assistive technology announces.
  const QString shown = platform::parseAccessKeys(caption).text;
  if (shown == accessibleName()) {
    QAccessibleEvent again(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&again);
  }
  setAccessibleName(shown);
  update();
}

void CaptionLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::WindowText));
  const QRect inside = textArea(rect());
  p.fillRect(inside, palette().color(QPalette::Button));
  p.setPen(palette().color(QPalette::ButtonText));
  p.setFont(font());
  platform::drawAccessKeyText(p, inside, caption_);
}

void CaptionLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
}

// The second press of a double click is no new click: a double click is one click,
// as a label on Windows reports it. Qt would treat it as a press.
void CaptionLabel::mouseDoubleClickEvent(QMouseEvent*) {
  pressed_ = false;
}

// A click is a left press and release both on the label.
void CaptionLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  if (click) emit clicked();
}

}  // namespace stage
