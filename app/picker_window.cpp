#include "app/picker_window.h"

#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>

#include "app/app_services.h"
#include "app/app_texts.h"
#include "app/main_window.h"
#include "app/web_browser.h"
#include "text/codepage.h"
#include "text/search.h"

namespace melodrin {

PickerWindow::PickerWindow(MainWindow& main, AppServices& services)
    : FixedWindow(&main, kSize), m_main(main), m_services(services) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("酷狗音乐 - 挑选音乐"));

  m_Web浏览器1 = new Web浏览器(*m_services.engine, this, m_services.endpoints.home_page());
  m_Web浏览器1->setObjectName(QStringLiteral("Web浏览器1"));
  m_Web浏览器1->setGeometry(0, 0, 920, 632);
  m_Web浏览器1->on_url_changed([this](const Text& address, long frame) { on_url_changed(address, frame); });
  m_Web浏览器1->on_new_window(
      [this](int navigation_type, const Text& address) { on_new_window(navigation_type, address); });

  // Above the browser, so that it shows over the page.
  m_按钮1 = new QPushButton(QStringLiteral("解析这首歌"), this);
  m_按钮1->setObjectName(QStringLiteral("按钮1"));
  m_按钮1->setGeometry(8, 8, 184, 32);
  m_按钮1->hide();
  QObject::connect(m_按钮1, &QPushButton::clicked, this, [this] { on_button_clicked(); });
}

void PickerWindow::on_url_changed(const Text& address, long) {
  const Endpoints& hosts = m_services.endpoints;
  m_按钮1->setVisible(find_folded(address, hosts.song_marker()) != -1 ||
                      find_folded(address, hosts.mixsong_marker()) != -1);
  m_services.texts->picked_page_url = address;
}

void PickerWindow::on_new_window(int, const Text& address) { m_Web浏览器1->load_address(address); }

void PickerWindow::on_button_clicked() {
  m_main.编辑框1()->setText(to_qstring(m_services.texts->picked_page_url));
  m_main.parse();
  // Closed once this handler has returned, never from inside it.
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

}  // namespace melodrin
