#include <QDateTime>
#include <QNetworkCookie>
#include <QUrl>

#include <gtest/gtest.h>

#include "app/browser_cookies.h"
#include "text/codepage.h"

namespace melodrin {
namespace {

QNetworkCookie cookie(const char* name, const char* value, const char* domain, const char* path = "/") {
  QNetworkCookie made(name, value);
  made.setDomain(QString::fromUtf8(domain));
  made.setPath(QString::fromUtf8(path));
  return made;
}

TEST(BrowserCookiesTest, SendsWhatABrowserWouldSendToTheAddress) {
  BrowserCookies cookies(nullptr);
  cookies.add(cookie("kg_mid", "m1", ".kugou.com"));
  cookies.add(cookie("host_only", "h", "wwwapi.kugou.com"));
  cookies.add(cookie("web_only", "w", "www.kugou.com"));
  cookies.add(cookie("play", "p", "wwwapi.kugou.com", "/play"));
  cookies.add(cookie("other", "o", ".kugou.com.evil.test"));
  cookies.add(cookie("apex", "a", "kugou.com"));  // host-only on the apex
  QNetworkCookie secure = cookie("sec", "s", ".kugou.com");
  secure.setSecure(true);
  cookies.add(secure);
  QNetworkCookie expired = cookie("gone", "g", ".kugou.com");
  expired.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(-1));
  cookies.add(expired);
  QNetworkCookie lasting = cookie("kept", "k", ".kugou.com");
  lasting.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(30));
  cookies.add(lasting);
  cookies.add(cookie("local", "l", "127.0.0.1"));

  struct Case {
    const char* url;
    const char* sent;
  };
  static const Case kCases[] = {
      // Longer paths first, then in the order they came.
      {"https://wwwapi.kugou.com/play/songinfo?a=1", "play=p; kg_mid=m1; host_only=h; sec=s; kept=k"},
      {"https://WWWAPI.kugou.com/play", "play=p; kg_mid=m1; host_only=h; sec=s; kept=k"},
      {"https://wwwapi.kugou.com/playlist/x", "kg_mid=m1; host_only=h; sec=s; kept=k"},
      {"http://wwwapi.kugou.com/", "kg_mid=m1; host_only=h; kept=k"},  // secure ones only over https
      {"https://kugou.com/", "kg_mid=m1; apex=a; sec=s; kept=k"},
      {"https://www.kugou.com/song/", "kg_mid=m1; web_only=w; sec=s; kept=k"},
      {"https://evilkugou.com/", ""},
      {"https://kugou.com.evil.test/", "other=o"},
      // Cookies do not care about ports.
      {"https://127.0.0.1:8443/play/songinfo?x", "local=l"},
      {"https://127.0.0.2/", ""},
      {"not an address", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(cookies.cookie_text(QUrl(QString::fromUtf8(c.url))), c.sent);
  }
}

TEST(BrowserCookiesTest, FollowsTheStoresChanges) {
  BrowserCookies cookies(nullptr);
  const QUrl api(QStringLiteral("https://wwwapi.kugou.com/play/songinfo?x"));
  cookies.add(cookie("kg_mid", "old", ".kugou.com"));
  cookies.add(cookie("dfid", "d", ".kugou.com"));
  // The same name, domain and path replaces the value in place.
  cookies.add(cookie("kg_mid", "new", ".kugou.com"));
  EXPECT_EQ(cookies.cookie_text(api), "kg_mid=new; dfid=d");
  // A removal of the value already replaced leaves the new one.
  cookies.remove(cookie("kg_mid", "old", ".kugou.com"));
  EXPECT_EQ(cookies.cookie_text(api), "kg_mid=new; dfid=d");
  // The same name for another domain is another cookie.
  cookies.remove(cookie("kg_mid", "new", "wwwapi.kugou.com"));
  EXPECT_EQ(cookies.cookie_text(api), "kg_mid=new; dfid=d");
  cookies.remove(cookie("kg_mid", "new", ".kugou.com"));
  EXPECT_EQ(cookies.cookie_text(api), "dfid=d");

  // Values are bytes from the network; the text is GBK.
  cookies.add(cookie("name", "周杰伦", ".kugou.com"));
  EXPECT_EQ(cookies.cookie_text(api), "dfid=d; name=" + utf8_to_gbk("周杰伦"));
}

}  // namespace
}  // namespace melodrin
