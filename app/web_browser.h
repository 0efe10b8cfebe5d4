// The embedded browser control: a web view whose page reports every network
// request, address change and new-window request to handlers of the window
// that holds it. Addresses reach the handlers as GBK texts.
#pragma once

#include <functional>

#include <QWidget>

#include "text/text.h"

class QWebEngineView;

namespace melodrin {

class BrowserEngine;

// One network request of the page, valid only inside the event that
// delivered it.
class RequestJob {
 public:
  static constexpr int kGet = 1;
  static constexpr int kPost = 2;
  static constexpr int kPut = 3;
  static constexpr int kOther = 0;

  virtual ~RequestJob() = default;
  // Asks to see the request's answer; nothing of the program reads it.
  virtual void hook_request() = 0;
  // kGet, kPost, kPut or kOther.
  virtual int request_method() const = 0;
};

class Web浏览器 : public QWidget {
 public:
  // Frame handles of the URL-changed event.
  static constexpr long kMainFrame = 1;
  static constexpr long kSubFrame = 2;

  // navigation_type of the new-window event.
  static constexpr int kLinkClick = 0;
  static constexpr int kOtherNavigation = 5;

  using LoadUrlBegin = std::function<void(const Text& address, RequestJob& job)>;
  using UrlChanged = std::function<void(const Text& address, long frame)>;
  using NewWindow = std::function<void(int navigation_type, const Text& address)>;

  // start_address "" loads nothing. New windows are never opened by the
  // control itself: the new-window handler decides.
  Web浏览器(BrowserEngine& engine, QWidget* parent, const Text& start_address = {});
  ~Web浏览器() override;

  void on_load_url_begin(LoadUrlBegin handler) { m_load_url_begin = std::move(handler); }
  void on_url_changed(UrlChanged handler) { m_url_changed = std::move(handler); }
  void on_new_window(NewWindow handler) { m_new_window = std::move(handler); }

  // Navigates to the text as given; no scheme is added.
  void load_address(const Text& address);

  // Null when the web engine could not start.
  QWebEngineView* view() const { return m_view; }

  // Called by the page's parts; not for the window's use.
  void raise_load_url_begin(const Text& address, RequestJob& job);
  void raise_url_changed(const Text& address, long frame);
  void raise_new_window(int navigation_type, const Text& address);

 private:
  QWebEngineView* m_view = nullptr;
  LoadUrlBegin m_load_url_begin;
  UrlChanged m_url_changed;
  NewWindow m_new_window;
};

}  // namespace melodrin
