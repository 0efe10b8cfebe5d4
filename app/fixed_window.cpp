#include "app/fixed_window.h"

#include <algorithm>

#include <QFont>
#include <QScreen>
#include <QWindow>

namespace melodrin {

FixedWindow::FixedWindow(QWidget* owner, QSize outer_size)
    : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint),
      m_outer(outer_size) {
  setFont(cjk_font(12));
  fit_client();
}

QFont FixedWindow::cjk_font(int pixel_size) {
  QFont font;
  font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("微软雅黑"),
                    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                    QStringLiteral("Noto Sans SC")});
  font.setPixelSize(pixel_size);
  return font;
}

void FixedWindow::set_outer_width(int width) {
  m_outer.setWidth(width);
  fit_client();
}

void FixedWindow::set_outer_height(int height) {
  m_outer.setHeight(height);
  fit_client();
}

void FixedWindow::fit_client() {
  const QMargins margins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
  m_applied_margins = margins;
  const QSize client(std::max(1, m_outer.width() - margins.left() - margins.right()),
                     std::max(1, m_outer.height() - margins.top() - margins.bottom()));
  if (client != size() || minimumSize() != client || maximumSize() != client) setFixedSize(client);
}

void FixedWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  fit_client();
  if (m_centered) return;
  m_centered = true;
  if (QScreen* shown_on = screen()) {
    const QRect available = shown_on->availableGeometry();
    move(available.center() - QPoint(m_outer.width() / 2, m_outer.height() / 2));
  }
}

void FixedWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  const QMargins margins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
  if (margins != m_applied_margins) fit_client();
}

}  // namespace melodrin
