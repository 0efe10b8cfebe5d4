#include "app/browser_cookies.h"

#include <algorithm>

#include <QDateTime>
#include <QHostAddress>
#include <QUrl>
#include <QWebEngineCookieStore>

namespace melodrin {
namespace {

// A domain attribute (leading dot) also covers the subdomains; a cookie
// without one belongs to its host alone. Addresses have no subdomains.
bool domain_matches(const QString& cookie_domain, const QString& host) {
  const QString domain = cookie_domain.toLower();
  if (!domain.startsWith(QLatin1Char('.'))) return domain == host;
  const QString bare = domain.mid(1);
  if (host == bare) return true;
  if (QHostAddress(host).protocol() != QAbstractSocket::UnknownNetworkLayerProtocol) return false;
  return !bare.isEmpty() && host.endsWith(domain);
}

// "/play" covers "/play" and "/play/...", never "/playlist".
bool path_matches(const QString& cookie_path, const QString& path) {
  const QString prefix = cookie_path.isEmpty() ? QStringLiteral("/") : cookie_path;
  if (!path.startsWith(prefix)) return false;
  return path.size() == prefix.size() || prefix.endsWith(QLatin1Char('/')) || path.at(prefix.size()) == QLatin1Char('/');
}

}  // namespace

BrowserCookies::BrowserCookies(QWebEngineCookieStore* store, QObject* parent) : QObject(parent) {
  if (!store) return;
  // The store reports on the UI thread, where the capture reads.
  QObject::connect(store, &QWebEngineCookieStore::cookieAdded, this, [this](const QNetworkCookie& c) { add(c); });
  QObject::connect(store, &QWebEngineCookieStore::cookieRemoved, this,
                   [this](const QNetworkCookie& c) { remove(c); });
  store->loadAllCookies();
}

void BrowserCookies::add(const QNetworkCookie& cookie) {
  for (QNetworkCookie& held : m_cookies) {
    if (held.hasSameIdentifier(cookie)) {
      held = cookie;
      return;
    }
  }
  m_cookies.push_back(cookie);
}

void BrowserCookies::remove(const QNetworkCookie& cookie) {
  // A late removal of an overwritten value must not take the new one.
  std::erase_if(m_cookies, [&](const QNetworkCookie& held) {
    return held.hasSameIdentifier(cookie) && held.value() == cookie.value();
  });
}

Text BrowserCookies::cookie_text(const QUrl& url) const {
  // The store holds domains in their ASCII form and compares paths as they
  // stand in the address, escapes and all.
  const QString host = url.host(QUrl::FullyEncoded).toLower();
  if (host.isEmpty()) return {};
  const QString encoded_path = url.path(QUrl::FullyEncoded);
  const QString path = encoded_path.isEmpty() ? QStringLiteral("/") : encoded_path;
  const bool secure = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
  const QDateTime now = QDateTime::currentDateTimeUtc();

  std::vector<const QNetworkCookie*> sent;
  for (const QNetworkCookie& cookie : m_cookies) {
    if (cookie.name().isEmpty() && cookie.value().isEmpty()) continue;
    if (!domain_matches(cookie.domain(), host) || !path_matches(cookie.path(), path)) continue;
    if (cookie.isSecure() && !secure) continue;
    if (!cookie.isSessionCookie() && cookie.expirationDate() <= now) continue;
    sent.push_back(&cookie);
  }
  std::stable_sort(sent.begin(), sent.end(), [](const QNetworkCookie* a, const QNetworkCookie* b) {
    return a->path().size() > b->path().size();
  });

  QByteArray text;
  for (const QNetworkCookie* cookie : sent) {
    if (!text.isEmpty()) text += "; ";
    if (!cookie->name().isEmpty()) text += cookie->name() + '=';
    text += cookie->value();
  }
  // The bytes go out as the browser sends them, whatever their encoding.
  return text.toStdString();
}

}  // namespace melodrin
