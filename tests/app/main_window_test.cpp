#include <atomic>
#include <mutex>

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "app/web_browser.h"
#include "tests/app/app_fixture.h"
#include "text/codepage.h"

namespace melodrin::testing {
namespace {

struct FakeJob final : RequestJob {
  explicit FakeJob(int method) : method(method) {}
  void hook_request() override { hooked = true; }
  int request_method() const override { return method; }
  int method;
  bool hooked = false;
};

// Records each repeated request; answers nothing usable.
struct FetchLog {
  std::mutex mutex;
  std::vector<Text> urls;
  SongFetch fetch() {
    return [this](const SongRequest& request) {
      std::lock_guard lock(mutex);
      urls.push_back(request.url);
      return Text();
    };
  }
  std::vector<Text> seen() {
    std::lock_guard lock(mutex);
    return urls;
  }
};

class MainWindowTest : public AppTest {};

TEST_F(MainWindowTest, StartsCompactWithEveryControlInPlace) {
  MainWindow& window = make_window();
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Melodrin By：Tovrelin"));
  // Outer size: the client area is what the frame leaves of it.
  EXPECT_EQ(window.frameGeometry().size(), QSize(412, 272));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
  const QPoint off_center = window.frameGeometry().center() - window.screen()->availableGeometry().center();
  EXPECT_LE(off_center.manhattanLength(), 2);

  struct Case {
    const char* name;
    QRect geometry;
    const char* text;
    bool shown_in_compact;
  };
  static const Case kCases[] = {
      {"标签1", {8, 8, 120, 24}, "请输入音乐播放地址：", true},
      {"编辑框1", {126, 12, 170, 20}, "", true},
      {"按钮_开始解析", {304, 6, 96, 32}, "点击解析", true},
      {"标签6", {304, 39, 80, 24}, "点击挑选音乐", true},
      {"标签_解析", {8, 40, 200, 24}, "正在解析中，请稍等%D...", false},
      {"分组框1", {17, 69, 373, 112}, "音乐属性", true},
      {"标签2", {12, 19, 64, 24}, "音乐专辑：", true},
      {"编辑框_album_name", {70, 22, 273, 20}, "", true},
      {"标签3", {12, 48, 64, 24}, "歌手名称：", true},
      {"编辑框_author_name", {70, 51, 273, 20}, "", true},
      {"标签4", {12, 77, 64, 24}, "歌曲名称：", true},
      {"编辑框_audio_name", {70, 80, 273, 20}, "", true},
      {"编辑框_下载地址", {18, 193, 288, 20}, "", true},
      {"按钮1", {314, 187, 80, 32}, "开始下载", true},
      {"选择框1", {18, 214, 128, 14}, "以桌面为下载路径", true},
      {"标签7", {11, 251, 384, 2}, "", true},
      {"标签5", {408, 5, 456, 24}, "如果该网页要求输入验证码，请验证！！！", true},
      {"Web浏览器", {408, 5, 456, 443}, nullptr, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    auto* widget = window.findChild<QWidget*>(QString::fromUtf8(c.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), c.geometry);
    EXPECT_EQ(widget->isVisibleTo(&window), c.shown_in_compact);
    if (!c.text) continue;
    QString text;
    if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) text = edit->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) text = button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) text = group->title();
    EXPECT_EQ(text, QString::fromUtf8(c.text));
  }
  // The parts of the expanded layout lie outside the compact client area.
  for (const char* outside : {"标签8", "标签5", "Web浏览器"}) {
    SCOPED_TRACE(outside);
    const QRect area = window.findChild<QWidget*>(QString::fromUtf8(outside))->geometry();
    EXPECT_FALSE(QRect(QPoint(0, 0), window.size()).contains(area));
  }
  EXPECT_TRUE(window.选择框1()->isChecked());
  EXPECT_EQ(window.save_dialog_settings().initial_folder, m_shell.desktop);
  EXPECT_EQ(window.标签6()->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(window.标签6()->font().underline());
  EXPECT_EQ(window.标签6()->palette().color(QPalette::WindowText), QColor(Qt::blue));
  struct Font {
    const char* name;
    int pixel_size;
  };
  static const Font kFonts[] = {{"标签8", 29}, {"标签5", 12}};
  for (const Font& font : kFonts) {
    SCOPED_TRACE(font.name);
    EXPECT_EQ(window.findChild<QLabel*>(QString::fromUtf8(font.name))->font().pixelSize(), font.pixel_size);
  }
  EXPECT_EQ(window.编辑框_album_name()->palette().color(QPalette::Base), QColor(236, 236, 236));
  EXPECT_TRUE(m_messages.shown.empty());
}

TEST_F(MainWindowTest, EmptyAddressWarnsAndStillOpensTheAnnouncement) {
  MainWindow& window = make_window();
  window.编辑框1()->setText(QString());
  QTest::mouseClick(window.按钮_开始解析(), Qt::LeftButton);

  ASSERT_EQ(m_messages.shown.size(), 1u);
  EXPECT_EQ(m_messages.shown[0].kind, "warning");
  EXPECT_EQ(m_messages.shown[0].owner, &window);
  EXPECT_EQ(m_messages.shown[0].caption, QStringLiteral("警告"));
  EXPECT_EQ(m_messages.shown[0].text, QStringLiteral("请输入一个音乐地址来解析！"));
  EXPECT_EQ(window.frameGeometry().size(), QSize(412, 272));
  EXPECT_FALSE(window.标签_解析()->isVisible());
  EXPECT_TRUE(window.browser()->view()->url().isEmpty());
  ASSERT_EQ(m_shell.opened.size(), 1u);
  EXPECT_EQ(m_shell.opened[0], QStringLiteral("https://news.example.test/news/wzxm/20201129/7639.html"));
}

TEST_F(MainWindowTest, AnyTextExpandsTheWindowAndLoadsAsTyped) {
  MainWindow& window = make_window();
  window.编辑框1()->setText(QStringLiteral("   "));
  QTest::mouseClick(window.按钮_开始解析(), Qt::LeftButton);
  EXPECT_TRUE(m_messages.shown.empty());  // spaces are no empty text
  EXPECT_EQ(window.frameGeometry().size(), QSize(877, 480));
  EXPECT_TRUE(window.标签_解析()->isVisible());
  EXPECT_EQ(window.标签_解析()->text(), QStringLiteral("正在解析中，请稍等%D..."));
  for (const char* now_visible : {"标签8", "标签5", "Web浏览器"}) {
    SCOPED_TRACE(now_visible);
    const QRect area = window.findChild<QWidget*>(QString::fromUtf8(now_visible))->geometry();
    EXPECT_TRUE(QRect(QPoint(0, 0), window.size()).contains(area));
  }
  EXPECT_EQ(m_shell.opened.size(), 1u);

  // A second parse writes the same size again and keeps the boxes.
  window.编辑框_album_name()->setText(QStringLiteral("old"));
  window.编辑框1()->setText(QString::fromStdString(server().http_url("/page-for-typed")));
  QTest::mouseClick(window.按钮_开始解析(), Qt::LeftButton);
  EXPECT_EQ(window.frameGeometry().size(), QSize(877, 480));
  EXPECT_EQ(window.编辑框_album_name()->text(), QStringLiteral("old"));
  EXPECT_EQ(m_shell.opened.size(), 2u);
  EXPECT_TRUE(wait_for_requests("/page-for-typed", 1));
}

TEST_F(MainWindowTest, WithoutAnAnnouncementHostNothingIsOpened) {
  m_services.endpoints.announcement_host.clear();
  MainWindow& window = make_window();
  QTest::mouseClick(window.按钮_开始解析(), Qt::LeftButton);
  window.编辑框1()->setText(QStringLiteral("x"));
  QTest::mouseClick(window.按钮_开始解析(), Qt::LeftButton);
  EXPECT_TRUE(m_shell.opened.empty());
}

TEST_F(MainWindowTest, ThePickerOpensOnlyOnALeftReleaseOverTheLink) {
  MainWindow& window = make_window();
  QLabel* link = window.标签6();
  const QPoint inside = link->rect().center();
  struct Case {
    const char* what;
    Qt::MouseButton button;
    QPoint release;  // the press is always over the link
    bool opens;
  };
  const Case cases[] = {
      // Qt sends the release to the widget that got the press.
      {"dragged off to the left", Qt::LeftButton, {-3, inside.y()}, false},
      {"dragged off below", Qt::LeftButton, {inside.x(), link->height() + 3}, false},
      {"right button", Qt::RightButton, inside, false},
      {"left button over the link", Qt::LeftButton, inside, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QTest::mousePress(link, c.button, {}, inside);
    QTest::mouseRelease(link, c.button, {}, c.release);
    EXPECT_EQ(window.picker() != nullptr, c.opens);
  }
}

TEST_F(MainWindowTest, TheBrowsersPageGoesBeforeItsHandlers) {
  // The page reports to the handlers as long as it lives.
  struct Probe {
    QPointer<QWebEnginePage> page;
    bool* page_alive;
    ~Probe() { *page_alive = !page.isNull(); }
  };
  bool page_alive_when_handlers_went = true;
  auto browser = std::make_unique<Web浏览器>(*m_engine, nullptr);
  ASSERT_NE(browser->view(), nullptr);
  {
    auto probe = std::make_shared<Probe>(Probe{browser->view()->page(), &page_alive_when_handlers_went});
    browser->on_load_url_begin([probe](const Text&, RequestJob&) {});
    browser->on_url_changed([probe](const Text&, long) {});
    browser->on_new_window([probe](int, const Text&) {});
  }
  browser.reset();
  EXPECT_FALSE(page_alive_when_handlers_went);
}

TEST(ShellTest, TheDesktopFolderEndsWithOneSeparator) {
  const QString folder = Shell::system()->desktop_folder();
  ASSERT_FALSE(folder.isEmpty());
  EXPECT_TRUE(folder.endsWith(QLatin1Char('/'))) << folder.toStdString();
  EXPECT_EQ(QDir::cleanPath(folder) + QLatin1Char('/'), folder);
}

TEST_F(MainWindowTest, DesktopBoxSetsTheInitialFolder) {
  MainWindow& window = make_window();
  QTest::mouseClick(window.选择框1(), Qt::LeftButton);
  EXPECT_FALSE(window.选择框1()->isChecked());
  EXPECT_EQ(window.save_dialog_settings().initial_folder, QString());
  QTest::mouseClick(window.选择框1(), Qt::LeftButton);
  EXPECT_EQ(window.save_dialog_settings().initial_folder, m_shell.desktop);
}

TEST_F(MainWindowTest, CaptureTakesOnlyGetRequestsWithTheApiPrefix) {
  FetchLog log;
  m_services.song_fetch = log.fetch();
  MainWindow& window = make_window();
  const Text prefix = m_services.endpoints.api_prefix();
  const Text songinfo = m_services.endpoints.songinfo_prefix();
  const Text api_host = m_services.endpoints.api_host;
  const Text upper_host = "https://127.0.0.1:" + std::to_string(server().https_port()) + "/YY/index.php?r=1";

  struct Case {
    int method;
    Text address;
    bool captured;
  };
  const Case cases[] = {
      {RequestJob::kGet, prefix + "r=play/getdata&hash=H&signature=S", true},
      {RequestJob::kGet, "https://other.test/redirect?to=" + prefix + "r=1", true},  // prefix anywhere
      {RequestJob::kPost, prefix + "r=play/getdata", false},
      {RequestJob::kPut, prefix + "r=play/getdata", false},
      {RequestJob::kOther, prefix + "r=play/getdata", false},
      {RequestJob::kGet, "https://" + api_host + "/yy/other.php?r=1", false},
      {RequestJob::kGet, "https://" + api_host + "/static/player.js", false},
      {RequestJob::kGet, "http://" + api_host + "/yy/index.php?r=1", false},
      {RequestJob::kGet, upper_host, false},
      // The player's current request, by the same rules.
      {RequestJob::kGet, songinfo + "srcappid=2919&encode_album_audio_id=A1&signature=S", true},
      {RequestJob::kPost, songinfo + "srcappid=2919", false},
      {RequestJob::kGet, "https://" + api_host + "/play/songinfo", false},
      {RequestJob::kGet, "https://" + api_host + "/play/other?x=1", false},
      {RequestJob::kGet, "https://127.0.0.1:" + std::to_string(server().https_port()) + "/PLAY/songinfo?x=1", false},
  };
  std::size_t expected_workers = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    FakeJob job(c.method);
    const Text before = m_texts.captured_api_url;
    window.on_load_url_begin(c.address, job);
    EXPECT_TRUE(job.hooked);
    if (c.captured) {
      ++expected_workers;
      EXPECT_EQ(m_texts.captured_api_url, c.address);
    } else {
      EXPECT_EQ(m_texts.captured_api_url, before);
    }
  }
  ASSERT_TRUE(m_workers.wait_idle(std::chrono::seconds(30)));
  EXPECT_EQ(log.seen().size(), expected_workers);
}

TEST_F(MainWindowTest, EachWorkerRepeatsItsOwnCapture) {
  FetchLog log;
  m_services.song_fetch = log.fetch();
  MainWindow& window = make_window();
  const Text first = m_services.endpoints.api_prefix() + "hash=first";
  const Text second = m_services.endpoints.api_prefix() + "hash=second";
  FakeJob job_a(RequestJob::kGet), job_b(RequestJob::kGet);
  window.on_load_url_begin(first, job_a);
  window.on_load_url_begin(second, job_b);
  EXPECT_EQ(m_texts.captured_api_url, second);
  ASSERT_TRUE(m_workers.wait_idle(std::chrono::seconds(30)));
  std::vector<Text> seen = log.seen();
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<Text>{first, second}));
}

TEST_F(MainWindowTest, AnUnusableReplyRestoresTheCompactLayoutAndKeepsTheBoxes) {
  MainWindow& window = make_window();
  window.编辑框1()->setText(QStringLiteral("about:blank"));
  window.parse();
  window.编辑框_audio_name()->setText(QStringLiteral("kept"));
  window.apply_song_reply(SongReply{});
  EXPECT_EQ(window.frameGeometry().size(), QSize(412, 272));
  EXPECT_FALSE(window.标签_解析()->isVisible());
  EXPECT_EQ(window.编辑框_audio_name()->text(), QStringLiteral("kept"));
}

TEST_F(MainWindowTest, TheExitHookReleasesBothTexts) {
  m_texts.captured_api_url = "https://a/yy/index.php?x";
  m_texts.picked_page_url = "https://b/song/1";
  m_texts.release();
  EXPECT_TRUE(m_texts.captured_api_url.empty());
  EXPECT_TRUE(m_texts.picked_page_url.empty());
}

TEST(BrowserEngineTest, AMissingHelperProcessIsToldWithItsPath) {
  RecordingMessages messages;
  BrowserEngine engine(messages, QStringLiteral("/nonexistent/libexec/QtWebEngineProcess"));
  EXPECT_FALSE(engine.start());
  EXPECT_FALSE(engine.start());  // told once
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].caption, QStringLiteral("错误"));
  EXPECT_EQ(messages.shown[0].text, QStringLiteral("请把QtWebEngineProcess放在[/nonexistent/libexec/QtWebEngineProcess]位置"));

  // The browsers stay blank and harmless.
  QWidget parent;
  Web浏览器 browser(engine, &parent, "https://example.test/");
  EXPECT_EQ(browser.view(), nullptr);
  browser.load_address("https://example.test/song/1");
}

}  // namespace
}  // namespace melodrin::testing
