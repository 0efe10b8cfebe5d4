// A top-level window of fixed outer size (frame and caption included) with a
// minimize box and no maximize box, centered on its screen when first shown.
#pragma once

#include <QMargins>
#include <QSize>
#include <QWidget>

class QFont;

namespace melodrin {

class FixedWindow : public QWidget {
 public:
  // An owner keeps the window above it; the window is still a window of its own.
  FixedWindow(QWidget* owner, QSize outer_size);

  QSize outer_size() const { return m_outer; }
  // Each keeps the top-left corner where it is.
  void set_outer_width(int width);
  void set_outer_height(int height);

  // "微软雅黑" where it is installed, else a CJK font that is.
  static QFont cjk_font(int pixel_size);

 protected:
  void showEvent(QShowEvent* event) override;
  // A window manager tells its frame only after the window is mapped.
  void moveEvent(QMoveEvent* event) override;

 private:
  void fit_client();

  QSize m_outer;
  QMargins m_applied_margins{-1, -1, -1, -1};
  bool m_centered = false;
};

}  // namespace melodrin
