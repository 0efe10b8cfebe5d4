#include "app/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QWebEngineView>

#include "app/app_texts.h"
#include "app/browser_cookies.h"
#include "app/browser_engine.h"
#include "app/file_names.h"
#include "app/message_boxes.h"
#include "app/picker_window.h"
#include "app/shell.h"
#include "app/ui_channel.h"
#include "app/web_browser.h"
#include "app/worker_pool.h"
#include "text/codepage.h"
#include "text/search.h"

namespace melodrin {
namespace {

template <typename Widget>
Widget* placed(Widget* widget, const char* name, int x, int y, int width, int height) {
  widget->setObjectName(QString::fromUtf8(name));
  widget->setGeometry(x, y, width, height);
  return widget;
}

QLineEdit* edit_box(QWidget* parent, const char* name, int x, int y, int width, int height, QColor background) {
  auto* box = placed(new QLineEdit(parent), name, x, y, width, height);
  QPalette palette = box->palette();
  palette.setColor(QPalette::Base, background);
  box->setPalette(palette);
  return box;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int x, int y, int width, int height) {
  auto* shown = placed(new QLabel(text, parent), name, x, y, width, height);
  shown->setTextFormat(Qt::PlainText);
  return shown;
}

const QColor kResultBackground(236, 236, 236);

const QString kParsing = QStringLiteral("正在解析中，请稍等%D...");
const QRect kParseLabel(8, 40, 200, 24);
// A hint may use the row up to the picker link.
const QRect kHintLabel(8, 40, 296, 24);

}  // namespace

MainWindow::MainWindow(AppServices& services)
    : FixedWindow(nullptr, kCompact), m_services(services), m_channel(std::make_shared<UiChannel>(this)) {
  build();
  // The window-created handler.
  m_通用对话框1.initial_folder = m_services.shell->desktop_folder();
}

MainWindow::~MainWindow() { m_channel->close(); }

void MainWindow::build() {
  setWindowTitle(QStringLiteral("Melodrin By：Tovrelin"));

  m_标签1 = label(this, "标签1", QStringLiteral("请输入音乐播放地址："), 8, 8, 120, 24);
  m_编辑框1 = edit_box(this, "编辑框1", 126, 12, 170, 20, Qt::white);
  m_按钮_开始解析 = placed(new QPushButton(QStringLiteral("点击解析"), this), "按钮_开始解析", 304, 6, 96, 32);

  m_标签6 = label(this, "标签6", QStringLiteral("点击挑选音乐"), 304, 39, 80, 24);
  QPalette link = m_标签6->palette();
  link.setColor(QPalette::WindowText, Qt::blue);
  m_标签6->setPalette(link);
  QFont underlined = m_标签6->font();
  underlined.setUnderline(true);
  m_标签6->setFont(underlined);
  m_标签6->setCursor(Qt::PointingHandCursor);
  m_标签6->installEventFilter(this);

  m_标签_解析 = label(this, "标签_解析", kParsing, kParseLabel.x(), kParseLabel.y(), kParseLabel.width(),
                     kParseLabel.height());
  m_标签_解析->hide();

  m_分组框1 = placed(new QGroupBox(QStringLiteral("音乐属性"), this), "分组框1", 17, 69, 373, 112);
  m_标签2 = label(m_分组框1, "标签2", QStringLiteral("音乐专辑："), 12, 19, 64, 24);
  m_编辑框_album_name = edit_box(m_分组框1, "编辑框_album_name", 70, 22, 273, 20, kResultBackground);
  m_标签3 = label(m_分组框1, "标签3", QStringLiteral("歌手名称："), 12, 48, 64, 24);
  m_编辑框_author_name = edit_box(m_分组框1, "编辑框_author_name", 70, 51, 273, 20, kResultBackground);
  m_标签4 = label(m_分组框1, "标签4", QStringLiteral("歌曲名称："), 12, 77, 64, 24);
  m_编辑框_audio_name = edit_box(m_分组框1, "编辑框_audio_name", 70, 80, 273, 20, kResultBackground);

  m_编辑框_下载地址 = edit_box(this, "编辑框_下载地址", 18, 193, 288, 20, kResultBackground);
  m_按钮1 = placed(new QPushButton(QStringLiteral("开始下载"), this), "按钮1", 314, 187, 80, 32);
  m_选择框1 = placed(new QCheckBox(QStringLiteral("以桌面为下载路径"), this), "选择框1", 18, 214, 128, 14);
  m_选择框1->setChecked(true);

  m_标签7 = placed(new QLabel(this), "标签7", 11, 251, 384, 2);
  m_标签7->setFrameStyle(QFrame::HLine | QFrame::Sunken);

  m_标签8 = label(this, "标签8", QStringLiteral("好音乐，值得收藏；\n好心情，与你分享。"), 24, 272, 360, 144);
  m_标签8->setFont(cjk_font(29));
  m_标签8->setAlignment(Qt::AlignCenter);

  m_Web浏览器 = placed(new Web浏览器(*m_services.engine, this), "Web浏览器", 408, 5, 456, 443);
  m_Web浏览器->on_load_url_begin(
      [this](const Text& address, RequestJob& job) { on_load_url_begin(address, job); });

  // The captcha hint lies over the browser's top edge, where it stays readable.
  m_标签5 = label(this, "标签5", QStringLiteral("如果该网页要求输入验证码，请验证！！！"), 408, 5, 456, 24);
  m_标签5->setFont(cjk_font(12));
  m_标签5->setAutoFillBackground(true);
  m_标签5->raise();

  QObject::connect(m_按钮_开始解析, &QPushButton::clicked, this, [this] { parse(); });
  QObject::connect(m_按钮1, &QPushButton::clicked, this, [this] { download(); });
  QObject::connect(m_选择框1, &QCheckBox::clicked, this, [this] { on_desktop_box_clicked(); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_标签6 && event->type() == QEvent::MouseButtonRelease) {
    // The release goes to the widget that got the press, wherever it happens.
    const auto* release = static_cast<QMouseEvent*>(event);
    if (release->button() == Qt::LeftButton && m_标签6->rect().contains(release->position().toPoint())) {
      open_picker();
      return true;
    }
  }
  return FixedWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program, the picker with it.
  m_channel->close();
  event->accept();
  QCoreApplication::quit();
}

void MainWindow::on_desktop_box_clicked() {
  m_通用对话框1.initial_folder = m_选择框1->isChecked() ? m_services.shell->desktop_folder() : QString();
}

void MainWindow::parse() {
  const Text input = from_qstring(m_编辑框1->text());
  if (input.empty()) {
    m_services.messages->warning(this, QStringLiteral("警告"), QStringLiteral("请输入一个音乐地址来解析！"));
  } else {
    show_parse_progress();
    m_标签_解析->show();
    set_outer_width(kExpanded.width());
    set_outer_height(kExpanded.height());
    m_Web浏览器->load_address(input);
  }
  open_announcement();
}

void MainWindow::open_announcement() {
  const Text page = m_services.endpoints.announcement_page();
  if (!page.empty()) m_services.shell->open_address(to_qstring(page));
}

void MainWindow::open_picker() {
  if (m_picker) {
    m_picker->showNormal();
    m_picker->raise();
    m_picker->activateWindow();
    return;
  }
  m_picker = new PickerWindow(*this, m_services);
  m_picker->show();
}

void MainWindow::on_load_url_begin(const Text& address, RequestJob& job) {
  job.hook_request();
  if (job.request_method() != RequestJob::kGet) return;
  SongRequest request;
  if (find_folded(address, m_services.endpoints.api_prefix()) != -1) {
    request.url = address;  // the old API is repeated bare, as it always was
  } else if (find_folded(address, m_services.endpoints.songinfo_prefix()) != -1) {
    request = current_request(address);
  } else {
    return;
  }
  m_services.texts->captured_api_url = address;
  // The worker has its own copy: a later capture cannot change it.
  start_song_worker(std::move(request));
}

SongRequest MainWindow::current_request(const Text& address) const {
  SongRequest request;
  request.url = address;
  if (const BrowserCookies* cookies = m_services.engine->cookies())
    request.cookies = cookies->cookie_text(QUrl(to_qstring(address)));
  if (QWebEngineView* view = m_Web浏览器->view()) {
    // A Referer never carries the fragment or credentials.
    const QUrl page = view->url().adjusted(QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    if (page.isValid() && !page.isEmpty())
      request.headers = "Referer: " + from_qstring(page.toString(QUrl::FullyEncoded));
  }
  return request;
}

void MainWindow::start_song_worker(SongRequest request) {
  m_services.workers->start(
      [fetch = m_services.song_fetch, request = std::move(request), channel = m_channel, this] {
        SongReply reply = run_song_worker(fetch, request);
        // Runs on the UI thread, and only while this window lives.
        channel->post([this, reply = std::move(reply)] { apply_song_reply(reply); });
      });
}

void MainWindow::apply_song_reply(const SongReply& reply) {
  if (reply.kind == SongReply::Kind::refused) {
    show_refusal(reply.err_code);
    return;
  }
  if (reply.kind == SongReply::Kind::fields) {
    m_编辑框_album_name->setText(to_qstring(reply.fields.album_name));
    m_编辑框_author_name->setText(to_qstring(reply.fields.author_name));
    m_编辑框_audio_name->setText(to_qstring(reply.fields.audio_name));
    m_编辑框_下载地址->setText(to_qstring(reply.fields.play_url));
    // A song came (a document that did not parse shows nothing) but no address.
    m_song_without_address = reply.fields.play_url.empty() &&
                             !(reply.fields.album_name.empty() && reply.fields.author_name.empty() &&
                               reply.fields.audio_name.empty());
  }
  set_outer_width(kCompact.width());
  set_outer_height(kCompact.height());
  m_标签_解析->hide();
  show_parse_progress();
}

void MainWindow::show_parse_progress() {
  m_标签_解析->setText(kParsing);
  m_标签_解析->setToolTip(QString());
  m_标签_解析->setGeometry(kParseLabel);
}

void MainWindow::show_refusal(const Text& err_code) {
  // The boxes keep the last song; the page stays in view for the user to
  // answer what the service asks.
  const QString code = to_qstring(err_code).left(16);  // it comes from the network
  m_标签_解析->setText(code.isEmpty() ? QStringLiteral("需验证或登录：请在页面中完成后重新解析")
                                      : QStringLiteral("需验证或登录：请在页面中完成后重新解析（%1）").arg(code));
  m_标签_解析->setToolTip(
      (code.isEmpty() ? QStringLiteral("服务要求验证或登录。")
                      : QStringLiteral("服务要求验证或登录（err_code %1）。").arg(code)) +
      QStringLiteral("请在右侧页面中完成验证或登录，然后再点击“点击解析”。"));
  m_标签_解析->setGeometry(kHintLabel);
  m_标签_解析->show();
  set_outer_width(kExpanded.width());
  set_outer_height(kExpanded.height());
}

void MainWindow::download() {
  if (m_downloading) return;
  const QString address = m_编辑框_下载地址->text();
  if (address.isEmpty()) {
    m_services.messages->warning(this, QStringLiteral("警告"),
                                 m_song_without_address
                                     ? QStringLiteral("这首歌没有提供可下载的地址（可能是付费或受保护的歌曲）。")
                                     : QStringLiteral("没有下载地址：请先解析一首歌曲，再开始下载。"));
    return;
  }
  m_通用对话框1.filter = QStringLiteral("MP3文件 (*.mp3)");
  m_通用对话框1.file_name = proposed_file_name(m_编辑框_audio_name->text());
  const std::optional<QString> chosen = m_services.save_dialog->ask(this, m_通用对话框1);
  if (!chosen) return;
  m_通用对话框1.file_name = *chosen;

  m_downloading = true;
  DownloadTask task(m_services.download_fetch, from_qstring(address), *chosen);
  const DownloadResult result = task.run(this);
  m_downloading = false;

  if (result.kind == DownloadResult::Kind::saved) {
    m_services.messages->information(nullptr, QStringLiteral("信息："), QStringLiteral("下载完成！！！"));
  } else if (result.kind != DownloadResult::Kind::cancelled) {
    m_services.messages->error(this, QStringLiteral("错误"), result.message(*chosen));
  }
}

}  // namespace melodrin
