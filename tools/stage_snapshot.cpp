// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the stage window as a programme shows it, for the documentation:
//   stage_snapshot <out.png>
// Run with QT_QPA_PLATFORM=offscreen. The pictures are drawn here, into a temporary
// folder, and loaded through the window's own picture loading.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>
#include <cstdio>

#include "engine/shared_state.h"
#include "engine/stage_events.h"
#include "platform/input.h"
#include "stage/form1.h"

namespace {

// A round face with its mouth open, on a light ground.
QImage speakerPicture() {
  QImage image(100, 100, QImage::Format_RGB32);
  image.fill(QColor(255, 236, 200));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(90, 50, 20), 2));
  p.setBrush(QColor(255, 214, 170));
  p.drawEllipse(QRectF(14, 12, 72, 78));
  p.setBrush(QColor(90, 50, 20));
  p.drawEllipse(QRectF(34, 40, 8, 10));
  p.drawEllipse(QRectF(58, 40, 8, 10));
  p.setBrush(QColor(200, 40, 40));
  p.drawEllipse(QRectF(40, 62, 20, 14));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(110, 60, 30));
  p.drawChord(QRectF(12, 6, 76, 50), 0, 180 * 16);
  return image;
}

// A small landscape: sky, sun, hills and a broadcast tower.
QImage viewPicture() {
  QImage image(220, 160, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 110);
  sky.setColorAt(0, QColor(70, 130, 220));
  sky.setColorAt(1, QColor(190, 220, 255));
  p.fillRect(image.rect(), sky);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 210, 60));
  p.drawEllipse(QPointF(175, 35), 18, 18);
  p.setBrush(QColor(70, 150, 70));
  p.drawEllipse(QRectF(-60, 95, 220, 130));
  p.setBrush(QColor(50, 120, 55));
  p.drawEllipse(QRectF(90, 105, 200, 120));
  p.setPen(QPen(QColor(200, 40, 40), 3));
  p.drawLine(QPointF(110, 120), QPointF(125, 40));
  p.drawLine(QPointF(140, 120), QPointF(125, 40));
  p.drawLine(QPointF(115, 95), QPointF(135, 95));
  p.drawLine(QPointF(119, 70), QPointF(131, 70));
  p.setPen(QPen(QColor(255, 255, 255), 2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(110, 25, 30, 30), 30 * 16, 120 * 16);
  p.drawArc(QRectF(100, 15, 50, 50), 30 * 16, 120 * 16);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: stage_snapshot <out.png>\n");
    return 2;
  }
  QTemporaryDir dir;
  const QString face = dir.filePath("face.bmp");
  const QString view = dir.filePath("view.bmp");
  if (!speakerPicture().save(face) || !viewPicture().save(view)) return 1;

  engine::SharedState state;
  platform::SequentialInput input;
  engine::StageEvents events(state, input);
  stage::Form1 form(events, [] {}, [] {});
  form.showStage();

  form.setSpeakerPicture(face);
  // Centred in the view area as the line interpreter places pictures (3300 x 2400 twips).
  form.setViewVisible(false);
  form.setViewPicture(view);
  form.setViewLeft(1820 + (3840 - form.viewSize().width()) / 2);
  form.setViewTop(130 + (3840 - form.viewSize().height()) / 2);
  form.setViewVisible(true);
  form.setCaption(QStringLiteral("こんにちは、ミルカナランド放送局です。今日は町のラジオ塔から、"
                                 "お天気と音楽の話題をお届けします。最後まで聞いてくださいね！"));
  QApplication::processEvents();

  if (!form.grab().save(QString::fromLocal8Bit(argv[1]))) return 1;
  return 0;
}
