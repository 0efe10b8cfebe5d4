#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "app/picker_window.h"
#include "app/web_browser.h"
#include "tests/app/app_fixture.h"
#include "text/codepage.h"

namespace melodrin::testing {
namespace {

class PickerTest : public AppTest {
 protected:
  void SetUp() override {
    server().serve("/song/1.html", "text/html", "<html><body>song one</body></html>");
    server().serve("/list.html", "text/html", "<html><body><a href='/song/1.html'>one</a></body></html>");
    server().serve("/popup.html", "text/html",
                   "<html><body><script>addEventListener('load', function () {"
                   "  window.open('/song/3.html'); });</script></body></html>");
    server().serve("/song/3.html", "text/html", "<html><body>song three</body></html>");
    server().serve("/frames.html", "text/html", "<html><body><iframe src='/song/1.html'></iframe></body></html>");
    server().serve("/SONG/4.html", "text/html", "<html><body>capitals</body></html>");
    server().serve("/mixsong/5.html", "text/html", "<html><body>song five</body></html>");
    server().serve("/MIXSONG/6.html", "text/html", "<html><body>capitals</body></html>");
  }

  PickerWindow& open_picker(MainWindow& window) {
    QTest::mouseClick(window.标签6(), Qt::LeftButton);
    EXPECT_NE(window.picker(), nullptr);
    return *window.picker();
  }

  QString shown_url(PickerWindow& picker) { return picker.browser()->view()->url().toString(); }
};

TEST_F(PickerTest, OpensOnTheHomePageWithTheButtonHidden) {
  MainWindow& window = make_window();
  PickerWindow& picker = open_picker(window);
  EXPECT_EQ(picker.windowTitle(), QStringLiteral("酷狗音乐 - 挑选音乐"));
  EXPECT_EQ(picker.frameGeometry().size(), QSize(927, 657));
  // The main window's frame: fixed, no maximize box, centered.
  EXPECT_EQ(picker.minimumSize(), picker.maximumSize());
  EXPECT_FALSE(picker.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(picker.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(picker.isWindow());
  const QPoint off_center = picker.frameGeometry().center() - picker.screen()->availableGeometry().center();
  EXPECT_LE(off_center.manhattanLength(), 2);
  EXPECT_TRUE(picker.isVisible());
  EXPECT_EQ(picker.parentWidget(), &window);
  EXPECT_EQ(picker.browser()->geometry(), QRect(0, 0, 920, 632));
  EXPECT_EQ(picker.按钮1()->geometry(), QRect(8, 8, 184, 32));
  EXPECT_EQ(picker.按钮1()->text(), QStringLiteral("解析这首歌"));
  EXPECT_FALSE(picker.按钮1()->isVisible());
  EXPECT_EQ(picker.browser()->view()->page()->requestedUrl().toString().toStdString(),
            m_services.endpoints.home_page());
  // One profile for both browsers, kept off the record.
  QWebEngineProfile* profile = picker.browser()->view()->page()->profile();
  EXPECT_EQ(profile, window.browser()->view()->page()->profile());
  EXPECT_TRUE(profile->isOffTheRecord());
  EXPECT_EQ(profile->httpCacheType(), QWebEngineProfile::MemoryHttpCache);
  EXPECT_EQ(profile->persistentCookiesPolicy(), QWebEngineProfile::NoPersistentCookies);

  // A second click raises the same picker; the main window stays usable.
  QTest::mouseClick(window.标签6(), Qt::LeftButton);
  EXPECT_EQ(window.picker(), &picker);
  window.编辑框1()->setText(QStringLiteral("x"));
  window.parse();
  EXPECT_EQ(window.frameGeometry().size(), QSize(877, 480));
}

TEST_F(PickerTest, TheButtonFollowsTheLastReportedAddress) {
  MainWindow& window = make_window();
  PickerWindow& picker = open_picker(window);
  struct Case {
    std::string target;
    bool button;
    std::string picked;  // "" : the address itself
  };
  const Case cases[] = {
      {"/song/1.html", true, ""},
      {"/list.html", false, ""},
      {"/song/1.html#again", true, ""},
      {"/SONG/4.html", false, ""},
      // Song pages at their current addresses.
      {"/mixsong/5.html", true, ""},
      {"/MIXSONG/6.html", false, ""},
      // A sub-frame's address is reported too, and is the one handed over.
      {"/frames.html", true, server().http_url("/song/1.html")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    const std::string address = server().http_url(c.target);
    const std::string picked = c.picked.empty() ? address : c.picked;
    picker.browser()->load_address(address);
    ASSERT_TRUE(wait_until([&] { return m_texts.picked_page_url == picked; })) << m_texts.picked_page_url;
    EXPECT_EQ(picker.按钮1()->isVisible(), c.button);
  }
}

TEST_F(PickerTest, NewWindowsLoadInThePickerItself) {
  MainWindow& window = make_window();
  PickerWindow& picker = open_picker(window);
  const QWidgetList windows_before = QApplication::topLevelWidgets();
  picker.browser()->load_address(server().http_url("/popup.html"));
  // The page opens /song/3.html in a new window by script once loaded.
  ASSERT_TRUE(wait_until([&] { return shown_url(picker).endsWith(QStringLiteral("/song/3.html")); }));
  EXPECT_TRUE(picker.按钮1()->isVisible());
  EXPECT_EQ(QApplication::topLevelWidgets().size(), windows_before.size());
}

TEST_F(PickerTest, TheButtonHandsTheSongToTheMainWindowAndCloses) {
  MainWindow& window = make_window();
  QPointer<PickerWindow> picker = &open_picker(window);
  const std::string song = server().http_url("/song/1.html");
  picker->browser()->load_address(song);
  ASSERT_TRUE(wait_until([&] { return picker->按钮1()->isVisible(); }));
  server().clear_requests();

  QTest::mouseClick(picker->按钮1(), Qt::LeftButton);
  // The closing waits until the handler has returned.
  ASSERT_FALSE(picker.isNull());
  EXPECT_EQ(window.编辑框1()->text().toStdString(), song);
  EXPECT_EQ(window.frameGeometry().size(), QSize(877, 480));
  EXPECT_TRUE(window.标签_解析()->isVisible());
  EXPECT_EQ(m_shell.opened.size(), 1u);
  ASSERT_TRUE(wait_until([&] { return picker.isNull(); }));
  EXPECT_TRUE(wait_for_requests("/song/1.html", 1));
  EXPECT_TRUE(window.isVisible());
}

}  // namespace
}  // namespace melodrin::testing
