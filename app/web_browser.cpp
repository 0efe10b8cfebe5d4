#include "app/web_browser.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include "app/browser_engine.h"
#include "text/codepage.h"

namespace melodrin {
namespace {

Text address_text(const QUrl& url) { return from_qstring(url.toString(QUrl::FullyEncoded)); }

class InterceptedJob final : public RequestJob {
 public:
  explicit InterceptedJob(const QWebEngineUrlRequestInfo& info) : m_info(info) {}
  // Nothing of the answer is rewritten, so there is nothing to arrange.
  void hook_request() override {}
  int request_method() const override {
    const QByteArray method = m_info.requestMethod();
    if (method == "GET") return kGet;
    if (method == "POST") return kPost;
    if (method == "PUT") return kPut;
    return kOther;
  }

 private:
  const QWebEngineUrlRequestInfo& m_info;
};

// Qt 6 calls a page's own interceptor on the UI thread.
class RequestWatch final : public QWebEngineUrlRequestInterceptor {
 public:
  RequestWatch(Web浏览器& browser, QObject* parent)
      : QWebEngineUrlRequestInterceptor(parent), m_browser(browser) {}
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    InterceptedJob job(info);
    m_browser.raise_load_url_begin(address_text(info.requestUrl()), job);
  }

 private:
  Web浏览器& m_browser;
};

class BrowserPage final : public QWebEnginePage {
 public:
  BrowserPage(QWebEngineProfile* profile, Web浏览器& browser, QObject* parent)
      : QWebEnginePage(profile, parent), m_browser(browser) {}

 protected:
  // The main frame's changes come through urlChanged; a sub-frame's only
  // show here, when it navigates.
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool is_main_frame) override {
    if (!is_main_frame) m_browser.raise_url_changed(address_text(url), Web浏览器::kSubFrame);
    return true;
  }

 private:
  Web浏览器& m_browser;
};

}  // namespace

Web浏览器::Web浏览器(BrowserEngine& engine, QWidget* parent, const Text& start_address) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  if (!engine.start()) return;

  m_view = new QWebEngineView(this);
  auto* page = new BrowserPage(engine.profile(), *this, m_view);
  page->setUrlRequestInterceptor(new RequestWatch(*this, page));
  QObject::connect(page, &QWebEnginePage::urlChanged, this,
                   [this](const QUrl& url) { raise_url_changed(address_text(url), kMainFrame); });
  QObject::connect(page, &QWebEnginePage::newWindowRequested, this,
                   [this](QWebEngineNewWindowRequest& request) {
                     // Left unopened, the request opens no window.
                     raise_new_window(request.isUserInitiated() ? kLinkClick : kOtherNavigation,
                                      address_text(request.requestedUrl()));
                   });
  m_view->setPage(page);
  layout->addWidget(m_view);
  if (!start_address.empty()) load_address(start_address);
}

Web浏览器::~Web浏览器() {
  // The page and its interceptor call the handlers: they go before the
  // handlers do.
  delete m_view;
  m_view = nullptr;
}

void Web浏览器::load_address(const Text& address) {
  if (m_view) m_view->load(QUrl(to_qstring(address)));
}

void Web浏览器::raise_load_url_begin(const Text& address, RequestJob& job) {
  if (m_load_url_begin) m_load_url_begin(address, job);
}

void Web浏览器::raise_url_changed(const Text& address, long frame) {
  if (m_url_changed) m_url_changed(address, frame);
}

void Web浏览器::raise_new_window(int navigation_type, const Text& address) {
  if (m_new_window) m_new_window(navigation_type, address);
}

}  // namespace melodrin
