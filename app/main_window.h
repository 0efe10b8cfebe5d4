// The main window: address box, parse button, the four result boxes, the
// download controls, the picker link, and the embedded browser that comes
// into view in the expanded layout.
#pragma once

#include <memory>

#include <QPointer>

#include "app/app_services.h"
#include "app/fixed_window.h"
#include "app/picker_window.h"
#include "app/save_dialog.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace melodrin {

class RequestJob;
class UiChannel;
class Web浏览器;

class MainWindow : public FixedWindow {
 public:
  static constexpr QSize kCompact{412, 272};
  static constexpr QSize kExpanded{877, 480};

  explicit MainWindow(AppServices& services);
  ~MainWindow() override;

  // Handlers.
  void parse();
  void open_picker();
  void download();
  void on_desktop_box_clicked();
  void on_load_url_begin(const Text& address, RequestJob& job);
  void apply_song_reply(const SongReply& reply);

  const SaveDialogSettings& save_dialog_settings() const { return m_通用对话框1; }
  PickerWindow* picker() const { return m_picker; }

  QLineEdit* 编辑框1() const { return m_编辑框1; }
  QPushButton* 按钮_开始解析() const { return m_按钮_开始解析; }
  QLabel* 标签6() const { return m_标签6; }
  QLabel* 标签_解析() const { return m_标签_解析; }
  QLineEdit* 编辑框_album_name() const { return m_编辑框_album_name; }
  QLineEdit* 编辑框_author_name() const { return m_编辑框_author_name; }
  QLineEdit* 编辑框_audio_name() const { return m_编辑框_audio_name; }
  QLineEdit* 编辑框_下载地址() const { return m_编辑框_下载地址; }
  QPushButton* 按钮1() const { return m_按钮1; }
  QCheckBox* 选择框1() const { return m_选择框1; }
  Web浏览器* browser() const { return m_Web浏览器; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void build();
  void open_announcement();
  void start_song_worker(SongRequest request);
  // The cookies and the Referer that the page's own request had.
  SongRequest current_request(const Text& address) const;
  void show_parse_progress();
  void show_refusal(const Text& err_code);

  AppServices& m_services;
  std::shared_ptr<UiChannel> m_channel;
  SaveDialogSettings m_通用对话框1;
  QPointer<PickerWindow> m_picker;
  bool m_downloading = false;
  bool m_song_without_address = false;  // the last song read came with no play_url

  QLabel* m_标签1 = nullptr;
  QLineEdit* m_编辑框1 = nullptr;
  QPushButton* m_按钮_开始解析 = nullptr;
  QLabel* m_标签6 = nullptr;
  QLabel* m_标签_解析 = nullptr;
  QGroupBox* m_分组框1 = nullptr;
  QLabel* m_标签2 = nullptr;
  QLineEdit* m_编辑框_album_name = nullptr;
  QLabel* m_标签3 = nullptr;
  QLineEdit* m_编辑框_author_name = nullptr;
  QLabel* m_标签4 = nullptr;
  QLineEdit* m_编辑框_audio_name = nullptr;
  QLineEdit* m_编辑框_下载地址 = nullptr;
  QPushButton* m_按钮1 = nullptr;
  QCheckBox* m_选择框1 = nullptr;
  QLabel* m_标签7 = nullptr;
  QLabel* m_标签8 = nullptr;
  QLabel* m_标签5 = nullptr;
  Web浏览器* m_Web浏览器 = nullptr;
};

}  // namespace melodrin
