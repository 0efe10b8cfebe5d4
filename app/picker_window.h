// The picker: the service's web site in a browser of its own, with a button
// that hands the song page shown to the main window.
#pragma once

#include "app/fixed_window.h"
#include "text/text.h"

class QPushButton;

namespace melodrin {

class MainWindow;
class Web浏览器;
struct AppServices;

class PickerWindow : public FixedWindow {
 public:
  static constexpr QSize kSize{927, 657};

  // Owned by main; destroys itself when closed.
  PickerWindow(MainWindow& main, AppServices& services);

  // Handlers.
  void on_url_changed(const Text& address, long frame);
  void on_new_window(int navigation_type, const Text& address);
  void on_button_clicked();

  QPushButton* 按钮1() const { return m_按钮1; }
  Web浏览器* browser() const { return m_Web浏览器1; }

 private:
  MainWindow& m_main;
  AppServices& m_services;
  QPushButton* m_按钮1 = nullptr;
  Web浏览器* m_Web浏览器1 = nullptr;
};

}  // namespace melodrin
