// Renders the compact, expanded and picker windows offscreen into PNG files,
// with stand-in pages in the browsers (the tool reaches no network).
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "app/app_texts.h"
#include "app/browser_engine.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/picker_window.h"
#include "app/save_dialog.h"
#include "app/shell.h"
#include "app/web_browser.h"
#include "app/worker_pool.h"

namespace {

class QuietMessages final : public melodrin::MessageBoxes {
 public:
  void information(QWidget*, const QString&, const QString&) override {}
  void warning(QWidget*, const QString&, const QString&) override {}
  void error(QWidget*, const QString& caption, const QString& text) override {
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
  }
};

class QuietShell final : public melodrin::Shell {
 public:
  void open_address(const QString&) override {}
  QString desktop_folder() const override { return QDir::homePath() + QStringLiteral("/Desktop/"); }
};

class NoDialog final : public melodrin::SaveDialog {
 public:
  std::optional<QString> ask(QWidget*, const melodrin::SaveDialogSettings&) override { return std::nullopt; }
};

const char* const kSongPage = R"(<html><body style="font-family: sans-serif; margin: 0">
<div style="background: #2ca2f9; color: white; padding: 48px 16px 12px; font-size: 20px">示例歌曲页面</div>
<div style="padding: 16px; color: #333; line-height: 1.8">
<p>这里显示服务的歌曲页面；若服务要求验证，请在此页面中完成。</p>
<p>歌手 - 歌名</p></div></body></html>)";

const char* const kSitePage = R"(<html><body style="font-family: sans-serif; margin: 0">
<div style="background: #2ca2f9; color: white; padding: 56px 24px 16px; font-size: 24px">酷狗音乐（示例页面）</div>
<ol style="padding: 16px 48px; color: #333; line-height: 2">
<li>歌手甲 - 第一首歌</li><li>歌手乙 - 第二首歌</li><li>歌手丙 - 第三首歌</li></ol></body></html>)";

bool wait_for_load(QWebEngineView* view, const char* html) {
  if (!view) return false;
  bool loaded = false;
  QEventLoop loop;
  QObject::connect(view, &QWebEngineView::loadFinished, &loop, [&](bool) {
    loaded = true;
    // Give the compositor a moment to paint the loaded page.
    QTimer::singleShot(800, &loop, &QEventLoop::quit);
  });
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);
  view->setHtml(QString::fromUtf8(html), QUrl(QStringLiteral("https://www.kugou.com/song/")));
  loop.exec();
  return loaded;
}

bool save(QWidget& window, const QString& path) {
  const bool saved = window.grab().save(path, "PNG");
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
  QDir().mkpath(folder);

  QuietMessages messages;
  QuietShell shell;
  NoDialog dialog;
  melodrin::BrowserEngine engine(messages);
  melodrin::WorkerPool workers;
  melodrin::AppTexts texts;
  melodrin::AppServices services;
  services.endpoints = {"www.kugou.com", "wwwapi.kugou.com", ""};
  services.messages = &messages;
  services.shell = &shell;
  services.save_dialog = &dialog;
  services.engine = &engine;
  services.workers = &workers;
  services.texts = &texts;

  bool ok = true;
  {
    melodrin::MainWindow window(services);
    window.show();
    window.编辑框1()->setText(QStringLiteral("https://www.kugou.com/song/#hash=0123456789ABCDEF"));
    melodrin::SongReply reply;
    reply.kind = melodrin::SongReply::Kind::fields;
    reply.fields = {"Album", "Singer", "Singer - Title", "https://webfs.example/0123456789abcdef.mp3"};
    window.apply_song_reply(reply);
    QCoreApplication::processEvents();
    ok &= save(window, folder + QStringLiteral("/compact.png"));

    window.parse();
    ok &= wait_for_load(window.browser()->view(), kSongPage);
    ok &= save(window, folder + QStringLiteral("/expanded.png"));

    window.open_picker();
    melodrin::PickerWindow* picker = window.picker();
    ok &= wait_for_load(picker->browser()->view(), kSitePage);
    picker->on_url_changed("https://www.kugou.com/song/#hash=0123456789ABCDEF", melodrin::Web浏览器::kMainFrame);
    QCoreApplication::processEvents();
    ok &= save(*picker, folder + QStringLiteral("/picker.png"));
  }
  return ok ? 0 : 1;
}
