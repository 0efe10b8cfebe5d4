#include <atomic>
#include <thread>

#include <QDateTime>
#include <QNetworkCookie>
#include <QUrl>

#include <gtest/gtest.h>

#include "app/browser_cookies.h"
#include "app/song_worker.h"
#include "tests/app/app_fixture.h"
#include "tests/support/test_server.h"

namespace melodrin::testing {
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
  // The store keeps escapes in paths and domains in their ASCII form.
  cookies.add(cookie("spaced", "x", "wwwapi.kugou.com", "/a%20b"));
  cookies.add(cookie("idn", "i", "xn--l5x566d.xn--fiqs8s"));

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
      {"https://wwwapi.kugou.com/a%20b/c", "spaced=x; kg_mid=m1; host_only=h; sec=s; kept=k"},
      {"https://wwwapi.kugou.com/a%20bc", "kg_mid=m1; host_only=h; sec=s; kept=k"},
      {"https://酷狗.中国/", "idn=i"},
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

  // Values are bytes from the network, kept as they came.
  cookies.add(cookie("name", "周杰伦", ".kugou.com"));
  EXPECT_EQ(cookies.cookie_text(api), "dfid=d; name=周杰伦");
}

// The repeated request carries the very bytes the browser would send: UTF-8
// stays UTF-8, other bytes stay as they are.
TEST(BrowserCookiesTest, TheEngineSendsTheBytesTheBrowserHolds) {
  TestServer& server = TestServer::shared();
  server.route("/cookie-bytes", [](const RecordedRequest&) { return Response{}; });
  BrowserCookies cookies(nullptr);
  cookies.add(cookie("name", "周杰伦", "127.0.0.1"));
  cookies.add(cookie("gbk", "\xD6\xDC", "127.0.0.1"));
  cookies.add(cookie("odd", "a \"b\",c\\d=e", "127.0.0.1"));
  const std::string sent = "name=周杰伦; gbk=\xD6\xDC; odd=a \"b\",c\\d=e";

  const std::string url = server.https_url("/cookie-bytes?x=1");
  SongRequest request;
  request.url = url;
  request.cookies = cookies.cookie_text(QUrl(QString::fromStdString(url)));
  EXPECT_EQ(request.cookies, sent);
  std::atomic<bool> done = false;
  std::thread worker([&] {
    winhttp_song_fetch()(request);
    done = true;
  });
  const bool finished = wait_until([&] { return done.load(); });
  worker.join();
  ASSERT_TRUE(finished);
  const auto received = server.requests_to("/cookie-bytes");
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.back().header("Cookie"), sent);
}

}  // namespace
}  // namespace melodrin::testing
