// The whole road through the real web view: the fake song page issues its
// API request, the capture repeats it with the request engine, and the four
// boxes fill.
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWebEngineView>

#include "app/web_browser.h"
#include "tests/app/app_fixture.h"
#include "tests/app/fake_service.h"
#include "text/codepage.h"
#include "text/text.h"
#include "winhttp/winhttp_request.h"

namespace melodrin::testing {
namespace {

constexpr const char* kEngineAgent = "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)";

class CaptureTest : public AppTest {
 protected:
  void SetUp() override { install_fake_service(server()); }

  // The request engine's requests, told from the browser's own by the
  // engine's default User-Agent: whether the browser's reach the server
  // depends on its certificate checks.
  std::vector<RecordedRequest> engine_requests(const std::string& path) {
    std::vector<RecordedRequest> sent;
    for (RecordedRequest& request : server().requests_to(path))
      if (request.header("User-Agent") == kEngineAgent) sent.push_back(std::move(request));
    return sent;
  }
  bool wait_for_engine_requests(const std::string& path, std::size_t count) {
    return wait_until([&] { return engine_requests(path).size() >= count; }, 60000);
  }

  // Parses the address and waits for the worker it starts to be done.
  void parse_and_wait(MainWindow& window, const std::string& address, std::size_t api_requests) {
    window.编辑框1()->setText(QString::fromStdString(address));
    QTest::mouseClick(window.按钮_开始解析(), Qt::LeftButton);
    ASSERT_EQ(window.frameGeometry().size(), QSize(877, 480));
    ASSERT_TRUE(window.标签_解析()->isVisible());
    ASSERT_TRUE(wait_for_engine_requests("/yy/index.php", api_requests));
    ASSERT_TRUE(wait_until([&] { return !window.标签_解析()->isVisible(); }));
  }

  // Parses a page of the current shape and waits until its reply is shown:
  // the fields with the label hidden, or a hint in the label.
  void parse_current_and_wait(MainWindow& window, const std::string& id, std::size_t api_requests) {
    window.编辑框1()->setText(QString::fromStdString(mixsong_page(server(), id)));
    QTest::mouseClick(window.按钮_开始解析(), Qt::LeftButton);
    ASSERT_EQ(window.标签_解析()->text(), kParsing);
    ASSERT_TRUE(wait_for_engine_requests("/play/songinfo", api_requests));
    ASSERT_TRUE(wait_until([&] { return !window.标签_解析()->isVisible() || window.标签_解析()->text() != kParsing; }));
  }

  const QString kParsing = QStringLiteral("正在解析中，请稍等%D...");

  std::vector<QString> boxes(MainWindow& window) {
    return {window.编辑框_album_name()->text(), window.编辑框_author_name()->text(),
            window.编辑框_audio_name()->text(), window.编辑框_下载地址()->text()};
  }
};

TEST_F(CaptureTest, ASongPageFillsTheBoxesAndTheWindowTurnsCompact) {
  MainWindow& window = make_window();
  parse_and_wait(window, song_page(server(), "full"), 1);

  const std::string audio = server().http_url("/bytes?n=4096");
  EXPECT_EQ(boxes(window), (std::vector<QString>{QStringLiteral("Album A"), QStringLiteral("Singer S"),
                                                  QStringLiteral("Singer S - Title T"), QString::fromStdString(audio)}));
  EXPECT_EQ(window.frameGeometry().size(), QSize(412, 272));

  // The page's picture, stylesheet and document went through the browser.
  EXPECT_FALSE(server().requests_to("/static/cover.png").empty());
  EXPECT_FALSE(server().requests_to("/static/page.css").empty());

  // Only the page's GET to the prefix was captured: its POST and its GET of
  // another path never reach the server from the request engine.
  const Text expected_url = "https://" + server().https_authority() +
                            "/yy/index.php?r=play/getdata&callback=jQuery19&hash=full&mid=1&signature=0f3c";
  EXPECT_EQ(m_texts.captured_api_url, expected_url);
  settle(300);
  const auto api = engine_requests("/yy/index.php");
  ASSERT_EQ(api.size(), 1u);
  EXPECT_TRUE(engine_requests("/yy/other.php").empty());
  EXPECT_EQ(api[0].method, "GET");
  EXPECT_EQ(api[0].query, "r=play/getdata&callback=jQuery19&hash=full&mid=1&signature=0f3c");
  EXPECT_TRUE(api[0].body.empty());

  // The worker repeats it with the engine's default header block and nothing else.
  server().clear_requests();
  WinHttpArgs bare;
  bare.url = expected_url;
  winhttp_request(bare);
  const auto reference = engine_requests("/yy/index.php");
  ASSERT_EQ(reference.size(), 1u);
  EXPECT_EQ(api[0].header_block, reference[0].header_block);
  struct Line {
    const char* name;
    const char* value;
  };
  static const Line kDefaults[] = {
      {"User-Agent", kEngineAgent},
      {"Accept", "text/html, application/xhtml+xml, */*"},
      {"Accept-Encoding", "gbk, GB2312"},
      {"Accept-Language", "zh-cn"},
      {"Cache-Control", "no-cache"},
  };
  for (const Line& line : kDefaults) {
    SCOPED_TRACE(line.name);
    EXPECT_EQ(api[0].header(line.name), line.value);
  }
  EXPECT_FALSE(api[0].has_header("Cookie"));
  EXPECT_FALSE(api[0].has_header("Referer"));
}

TEST_F(CaptureTest, TheReplyShapesAsTheWorkerReadsThem) {
  const QString old = QStringLiteral("old");
  const QString audio = QString::fromStdString(server().http_url("/bytes?n=4096"));
  struct Case {
    const char* hash;
    std::vector<QString> shown;
  };
  const Case cases[] = {
      {"fullwidth", {QStringLiteral("ABC123!"), QStringLiteral("周杰伦"), QStringLiteral("Title"), audio}},
      {"paren", {QStringLiteral("ab"), QStringLiteral("x"), QStringLiteral("t"), audio}},
      {"missing", {QStringLiteral("Album A"), QString(), QStringLiteral("Title T"), audio}},
      {"cut", {QString(), QString(), QString(), QString()}},
      // No document at all: the boxes keep what they had.
      {"nojsonp", {old, old, old, old}},
  };
  MainWindow& window = make_window();
  std::size_t api_requests = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hash);
    for (QLineEdit* box : {window.编辑框_album_name(), window.编辑框_author_name(), window.编辑框_audio_name(),
                           window.编辑框_下载地址()})
      box->setText(old);
    // Only the fragment changes: the page asks again on hashchange.
    parse_and_wait(window, song_page(server(), c.hash), ++api_requests);
    EXPECT_EQ(boxes(window), c.shown);
    EXPECT_EQ(window.frameGeometry().size(), QSize(412, 272));
  }
}

TEST_F(CaptureTest, TwoRequestsOfThePageStartTwoWorkers) {
  MainWindow& window = make_window();
  window.编辑框1()->setText(QString::fromStdString(server().http_url("/song/twice#hash=full")));
  QTest::mouseClick(window.按钮_开始解析(), Qt::LeftButton);
  ASSERT_TRUE(wait_for_engine_requests("/yy/index.php", 2));
  ASSERT_TRUE(m_workers.wait_idle(std::chrono::seconds(60)));
  ASSERT_TRUE(wait_until([&] { return !window.标签_解析()->isVisible(); }));

  std::vector<std::string> signatures;
  for (const RecordedRequest& request : engine_requests("/yy/index.php"))
    signatures.push_back(request.query.substr(request.query.rfind('=') + 1));
  std::sort(signatures.begin(), signatures.end());
  EXPECT_EQ(signatures, (std::vector<std::string>{"first", "second"}));
  EXPECT_TRUE(m_texts.captured_api_url.ends_with("signature=second"));
  EXPECT_EQ(window.编辑框_album_name()->text(), QStringLiteral("Album A"));
}

TEST_F(CaptureTest, TheCurrentApiFillsTheBoxesWithTheBrowsersCookiesAndReferer) {
  MainWindow& window = make_window();
  parse_current_and_wait(window, "full", 1);

  // Sent as raw UTF-8 under "charset=utf-8".
  EXPECT_EQ(boxes(window), (std::vector<QString>{QStringLiteral("叶惠美"), QStringLiteral("周杰伦"),
                                                  QStringLiteral("周杰伦 - 晴天"),
                                                  QString::fromStdString(server().http_url("/bytes?n=4096"))}));
  EXPECT_EQ(window.frameGeometry().size(), QSize(412, 272));
  EXPECT_FALSE(window.标签_解析()->isVisible());
  EXPECT_TRUE(starts_with(m_texts.captured_api_url, m_services.endpoints.songinfo_prefix()));

  const auto api = engine_requests("/play/songinfo");
  ASSERT_EQ(api.size(), 1u);
  EXPECT_EQ(api[0].method, "GET");
  EXPECT_EQ(api[0].query, "srcappid=2919&clientver=20000&appid=1014&encode_album_audio_id=full&signature=5c1f");
  // One Cookie line with the API host's cookies only: the page's cookie for
  // its own path stays behind.
  std::vector<std::string> cookie_lines;
  for (const auto& [name, value] : api[0].headers)
    if (compare(name, "Cookie", false) == 0) cookie_lines.push_back(value);
  EXPECT_EQ(cookie_lines, std::vector<std::string>{"kg_mid=mid-full"});
  EXPECT_EQ(api[0].header("Referer"), mixsong_page(server(), "full"));

  // Nothing else of the default header block changes.
  std::string others;
  for (const std::string& line : split(api[0].header_block, "\r\n"))
    if (!starts_with(line, "Cookie: ") && !starts_with(line, "Referer: ")) others += line + "\r\n";
  server().clear_requests();
  WinHttpArgs bare;
  bare.url = m_texts.captured_api_url;
  winhttp_request(bare);
  const auto reference = engine_requests("/play/songinfo");
  ASSERT_EQ(reference.size(), 1u);
  EXPECT_EQ(others, reference[0].header_block + "\r\n");
}

TEST_F(CaptureTest, ARefusalIsToldAndTheWindowStaysExpandedWithTheBoxesKept) {
  struct Case {
    const char* id;
    const char* err_code;
  };
  static const Case kCases[] = {
      {"anonymous", "20010"},  // the page set no kg_mid
      {"verify", "30020"},
  };
  const QString old = QStringLiteral("old");
  MainWindow& window = make_window();
  std::size_t api_requests = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.id);
    for (QLineEdit* box : {window.编辑框_album_name(), window.编辑框_author_name(), window.编辑框_audio_name(),
                           window.编辑框_下载地址()})
      box->setText(old);
    // A hint of the last case gives way to the usual text at once.
    parse_current_and_wait(window, c.id, ++api_requests);
    QLabel* hint = window.标签_解析();
    EXPECT_TRUE(hint->text().contains(QString::fromUtf8(c.err_code))) << hint->text().toStdString();
    EXPECT_TRUE(hint->text().contains(QStringLiteral("验证")));
    EXPECT_TRUE(hint->isVisible());
    EXPECT_LE(hint->fontMetrics().horizontalAdvance(hint->text()), hint->width());
    EXPECT_FALSE(hint->geometry().intersects(window.标签6()->geometry()));
    EXPECT_EQ(boxes(window), (std::vector<QString>{old, old, old, old}));
    EXPECT_EQ(window.frameGeometry().size(), QSize(877, 480));
    const QRect page = window.browser()->geometry();
    EXPECT_TRUE(QRect(QPoint(0, 0), window.size()).contains(page));
    EXPECT_TRUE(window.browser()->isVisible());
  }
  EXPECT_FALSE(engine_requests("/play/songinfo").front().has_header("Cookie"));

  // After the page's verification the next parse shows the song.
  parse_current_and_wait(window, "full", ++api_requests);
  EXPECT_EQ(window.编辑框_album_name()->text(), QStringLiteral("叶惠美"));
  EXPECT_EQ(window.frameGeometry().size(), QSize(412, 272));
  EXPECT_EQ(window.标签_解析()->text(), kParsing);
  EXPECT_EQ(window.标签_解析()->geometry(), QRect(8, 40, 200, 24));
}

TEST_F(CaptureTest, ASongWithoutPlayUrlSaysSoOnDownload) {
  MainWindow& window = make_window();
  parse_current_and_wait(window, "paid", 1);
  EXPECT_EQ(window.编辑框_audio_name()->text(), QStringLiteral("周杰伦 - 晴天"));
  EXPECT_TRUE(window.编辑框_下载地址()->text().isEmpty());
  EXPECT_FALSE(window.标签_解析()->isVisible());

  m_save_dialog.answer = m_folder.filePath(QStringLiteral("song.mp3"));
  QTest::mouseClick(window.按钮1(), Qt::LeftButton);
  EXPECT_TRUE(m_save_dialog.asked.empty());
  ASSERT_EQ(m_messages.shown.size(), 1u);
  EXPECT_EQ(m_messages.shown[0].kind, "warning");
  EXPECT_EQ(m_messages.shown[0].text, QStringLiteral("这首歌没有提供可下载的地址（可能是付费或受保护的歌曲）。"));

  // A song that had an address, emptied by the user, gets the usual message.
  SongReply with_address;
  with_address.kind = SongReply::Kind::fields;
  with_address.fields = {"A", "S", "S - T", "http://127.0.0.1:1/a.mp3"};
  window.apply_song_reply(with_address);
  window.编辑框_下载地址()->clear();
  QTest::mouseClick(window.按钮1(), Qt::LeftButton);
  ASSERT_EQ(m_messages.shown.size(), 2u);
  EXPECT_NE(m_messages.shown[1].text, m_messages.shown[0].text);
  EXPECT_TRUE(m_save_dialog.asked.empty());
}

TEST_F(CaptureTest, ThePickersBrowserCapturesNothing) {
  MainWindow& window = make_window();
  window.open_picker();
  ASSERT_NE(window.picker(), nullptr);
  window.picker()->browser()->load_address(song_page(server(), "full"));
  ASSERT_TRUE(wait_until([&] { return window.picker()->browser()->view()->title() == QStringLiteral("asked full"); }));
  settle(300);
  EXPECT_TRUE(m_texts.captured_api_url.empty());
  EXPECT_TRUE(engine_requests("/yy/index.php").empty());
}

}  // namespace
}  // namespace melodrin::testing
