// TWebFileInfo: the update check. It reads the maker's product page (META
// lines with fixed tag names), compares the published version with the
// running one, and with the user's consent at each step shows the release
// notes, downloads the new release and starts it.
#pragma once

#include <QFont>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "net/product_page.h"

class QDialog;
class QIODevice;
class QNetworkAccessManager;
class QTemporaryDir;
class QUrl;
class QWidget;

namespace marlo::net {

class TWebDlProgress;
class TWebWaitWindow;

// The names of the tags read from the page.
struct TWfiTags {
  QString AuthorTag = QStringLiteral("MarloAuthor");
  QString AuthorEMailTag = QStringLiteral("MarloEmail");
  QString DateTag = QStringLiteral("MarloDate");
  QString DownloadTag = QStringLiteral("MarloDl");
  // Optional: the SHA-256 of the download in hexadecimal, checked before the
  // download is kept.
  QString DownloadSHA256Tag = QStringLiteral("MarloDlSha256");
  QString ProductNameTag = QStringLiteral("MarloName");
  QString ReadMeTag = QStringLiteral("MarloReadme");
  QString ReadMeExtTag = QStringLiteral("MarloReadmeExt");
  QString RedirectTag = QStringLiteral("MarloRedirect");
  QString RunParamsTag = QStringLiteral("MarloParms");
  QString VersionTag = QStringLiteral("MarloVersion");
};

// The product page used when the settings name none.
inline constexpr const char* kDefaultProductPage = "http://www.orvane.example/marlo/marlo.html";

class TWebFileInfo : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool Active READ Active WRITE SetActive)
  Q_PROPERTY(QString CurrentVersion READ CurrentVersion WRITE SetCurrentVersion)
  Q_PROPERTY(QString HomeURL READ HomeURL WRITE SetHomeURL)
  Q_PROPERTY(TWfiOptions Options READ Options WRITE SetOptions)
  Q_PROPERTY(TWfiVersionFormat VersionFormat READ VersionFormat WRITE SetVersionFormat)
  Q_PROPERTY(QString ProxyHost READ ProxyHost WRITE SetProxyHost)
  Q_PROPERTY(int ProxyPort READ ProxyPort WRITE SetProxyPort)
  Q_PROPERTY(QFont UIFont READ UIFont WRITE SetUIFont)
  Q_PROPERTY(bool UIOwnerFont READ UIOwnerFont WRITE SetUIOwnerFont)
  Q_PROPERTY(int Timeout READ Timeout WRITE SetTimeout)
  Q_PROPERTY(QString LastError READ LastError)
  Q_PROPERTY(QString ProductName READ ProductName)
  Q_PROPERTY(QString ProductAuthor READ ProductAuthor)
  Q_PROPERTY(QString ProductAuthorEMail READ ProductAuthorEMail)
  Q_PROPERTY(QString ProductDateStr READ ProductDateStr)
  Q_PROPERTY(QString ProductReadMe READ ProductReadMe)
  Q_PROPERTY(QString ProductReadMeExt READ ProductReadMeExt)
  Q_PROPERTY(QString ProductVersion READ ProductVersion)
  Q_PROPERTY(QString DownloadURL READ DownloadURL)
  Q_PROPERTY(QString DownloadSHA256 READ DownloadSHA256)
  Q_PROPERTY(QString RunParams READ RunParams)

 public:
  enum TWfiOption {
    wfioAlwaysOverwrite = 0x1,
    wfioDisplayUI = 0x2,
    wfioDisplayReadMe = 0x4,
    wfioRunUpdate = 0x8,
    wfioExitDuringUpdate = 0x10,
  };
  Q_DECLARE_FLAGS(TWfiOptions, TWfiOption)
  Q_FLAG(TWfiOptions)
  enum TWfiVersionFormat { wfivBuildNumber, wfivSimpleString };
  Q_ENUM(TWfiVersionFormat)

  // Redirect tags followed for one fetch at most.
  static constexpr int kMaxRedirects = 5;
  // A page or read-me larger than this is refused rather than held in memory.
  static constexpr qint64 kMaxPageBytes = 16 * 1024 * 1024;

  // The save dialog: gets the proposed name, returns false on Cancel, else
  // the chosen name and the index of the chosen filter (0 = application,
  // 1 = zipped file, 2 = all files).
  using TSaveFileHook = std::function<bool(const QString& proposed, QString* fileName, int* filterIndex)>;
  // Starts or opens a downloaded file with parameters; false when it failed.
  using TStartHook = std::function<bool(const QString& file, const QString& params)>;
  using TQuitHook = std::function<void()>;

  explicit TWebFileInfo(QObject* owner = nullptr);
  ~TWebFileInfo() override;

  bool Active() const { return active_; }
  // Only false is taken (forces a new fetch).
  void SetActive(bool active);
  QString CurrentVersion() const { return current_version_; }
  void SetCurrentVersion(const QString& version) { current_version_ = version; }
  QString HomeURL() const { return home_url_; }
  // Taken only for an http:// or https:// address; a new address forces a
  // new fetch, the same one does not.
  void SetHomeURL(const QString& url);
  TWfiTags& InfoTags() { return tags_; }
  const TWfiTags& InfoTags() const { return tags_; }
  void SetInfoTags(const TWfiTags& tags) { tags_ = tags; }
  TWfiOptions Options() const { return options_; }
  // The wait and progress windows are always shown.
  void SetOptions(TWfiOptions options) { options_ = options | wfioDisplayUI; }
  TWfiVersionFormat VersionFormat() const { return version_format_; }
  void SetVersionFormat(TWfiVersionFormat format) { version_format_ = format; }
  QString ProxyHost() const { return proxy_host_; }
  void SetProxyHost(const QString& host) { proxy_host_ = host; }
  int ProxyPort() const { return proxy_port_; }
  void SetProxyPort(int port) { proxy_port_ = port; }
  QFont UIFont() const;
  void SetUIFont(const QFont& font) { ui_font_ = font; }
  bool UIOwnerFont() const { return ui_owner_font_; }
  void SetUIOwnerFont(bool follow) { ui_owner_font_ = follow; }
  // Milliseconds a request may go without receiving anything.
  int Timeout() const { return timeout_ms_; }
  void SetTimeout(int ms) { timeout_ms_ = ms; }

  QString LastError() const { return last_error_; }
  QString ProductName() const { return product_name_; }
  QString ProductAuthor() const { return product_author_; }
  QString ProductAuthorEMail() const { return product_author_email_; }
  QString ProductDateStr() const { return product_date_; }
  QString ProductReadMe() const { return product_readme_; }
  QString ProductReadMeExt() const { return product_readme_ext_; }
  QString ProductVersion() const { return product_version_; }
  QString DownloadURL() const { return download_url_; }
  QString DownloadSHA256() const { return download_sha256_; }
  QString RunParams() const { return run_params_; }
  QString DefaultFileName() const { return default_file_name_; }
  QString TargetFile() const { return target_file_; }

  void SetSaveFileHook(TSaveFileHook hook) { save_file_ = std::move(hook); }
  void SetStartHook(TStartHook hook) { start_ = std::move(hook); }
  void SetQuitHook(TQuitHook hook) { quit_ = std::move(hook); }

  bool GetInfo();
  bool CheckForUpdate();
  bool IsNewerVersion() const;
  bool ShowReadMe(bool ask);
  bool DownloadUpdate(const QString& path);
  // Only a complete download that matches `sha256` (when given) is kept in
  // `fileName`; a failed one leaves an existing file as it was.
  bool DownloadToFile(const QString& address, const QString& fileName, const QString& text,
                      const QString& sha256 = QString());

 signals:
  // A modal window of the check has just been shown (wait, progress or
  // read-me window); it closes by itself or through its own buttons.
  void WindowShown(QDialog* window);

 private:
  struct TResponse {
    int status = 0;
    QString reason;
    bool failed = false;  // the request ended with an error of its own
    bool cancelled = false;
    QString error;
    QByteArray body;
    QByteArray contentType;
    QByteArray sha256;  // of what went into the sink
  };

  // One GET, body into `sink` or into the response; shows `window` modally
  // until it has ended. Returns false (with LastError set and the
  // "Exception" box shown) when the request could not run at all.
  bool Fetch(const QString& address, QIODevice* sink, QDialog* window, TWebDlProgress* progress, TResponse* response);
  void ApplyProxy(QNetworkAccessManager* client) const;
  void ClearProductValues();
  void TakeTags(const QByteArray& page, const QByteArray& contentType);
  QWidget* OwnerWidget() const;
  QString AvailableText() const;

  bool active_ = false;
  QString current_version_;
  QString home_url_ = QString::fromLatin1(kDefaultProductPage);
  TWfiTags tags_;
  TWfiOptions options_ = TWfiOptions(wfioDisplayUI | wfioDisplayReadMe | wfioRunUpdate | wfioExitDuringUpdate);
  TWfiVersionFormat version_format_ = wfivBuildNumber;
  QString proxy_host_;
  int proxy_port_ = 80;
  QFont ui_font_;
  bool ui_owner_font_ = true;
  int timeout_ms_ = 30000;

  QString last_error_;
  QString product_name_, product_author_, product_author_email_, product_date_;
  QString product_readme_, product_readme_ext_, product_version_;
  QString download_url_, download_sha256_, run_params_, redirect_url_;
  QString default_file_name_, target_file_;

  // Private to this user, made at the first read-me download; it lives as long
  // as this object, so the program that shows the read-me can still read it.
  std::unique_ptr<QTemporaryDir> readme_dir_;

  TSaveFileHook save_file_;
  TStartHook start_;
  TQuitHook quit_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TWebFileInfo::TWfiOptions)

}  // namespace marlo::net
