// The cookies the embedded browsers hold, followed through the profile's
// cookie store on the UI thread, so a repeated request can carry what the
// page's own request had.
#pragma once

#include <vector>

#include <QNetworkCookie>
#include <QObject>

#include "text/text.h"

class QUrl;
class QWebEngineCookieStore;

namespace melodrin {

class BrowserCookies : public QObject {
 public:
  // store may be null: then nothing is ever held.
  explicit BrowserCookies(QWebEngineCookieStore* store, QObject* parent = nullptr);

  // A cookie of the same name, domain and path is replaced.
  void add(const QNetworkCookie& cookie);
  void remove(const QNetworkCookie& cookie);

  // "name=value; name2=value2" of the cookies a browser would send to url:
  // domain, path and secure rules, expired ones left out, longer paths
  // first. The names and values are the bytes the browser holds, not
  // converted: the request engine sends them as they are. "" when none match.
  Text cookie_text(const QUrl& url) const;

 private:
  std::vector<QNetworkCookie> m_cookies;  // in the order they came
};

}  // namespace melodrin
