#include "net/web_file_info.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProcess>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include "net/web_dl_progress.h"
#include "net/web_wait_window.h"
#include "ui/message_box.h"

namespace marlo::net {
namespace {

using marlo::ide::ShowBox;

// One client for every instance, made on first use.
QNetworkAccessManager* SharedClient() {
  static QPointer<QNetworkAccessManager> client;
  if (!client) client = new QNetworkAccessManager(QCoreApplication::instance());
  return client;
}

// Set while a request runs: the client takes one at a time.
bool& ClientBusy() {
  static bool busy = false;
  return busy;
}

void Warn(QWidget* parent, const QString& caption, const QString& text) {
  ShowBox(parent, QMessageBox::Warning, text, QMessageBox::Ok, caption);
}

bool AskYes(QWidget* parent, const QString& caption, const QString& text) {
  return ShowBox(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, caption) == QMessageBox::Yes;
}

// "...\rError: "<LastError>."" or "...\rError unknown."
QString ErrorText(const QString& lead, const QString& error) {
  if (error.isEmpty()) return lead + QStringLiteral("\rError unknown.");
  return lead + QStringLiteral("\rError: \"") + error + QStringLiteral(".\"");
}

bool DefaultSaveFile(QWidget* parent, const QString& proposed, QString* fileName, int* filterIndex) {
  const QStringList filters{QStringLiteral("Application (*.EXE)"), QStringLiteral("Zipped File (*.ZIP)"),
                            QStringLiteral("All Files (*.*)")};
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(filters);
  dialog.selectFile(proposed);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  *fileName = dialog.selectedFiles().constFirst();
  *filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
  return true;
}

bool DefaultStart(const QString& file, const QString& params) {
  if (params.trimmed().isEmpty()) return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
  return QProcess::startDetached(file, QProcess::splitCommand(params));
}

}  // namespace

TWebFileInfo::TWebFileInfo(QObject* owner) : QObject(owner) {
  ui_font_ = QFont(QStringLiteral("MS Sans Serif"), 8);
  start_ = DefaultStart;
  quit_ = [] { QCoreApplication::quit(); };
}

TWebFileInfo::~TWebFileInfo() = default;

void TWebFileInfo::SetActive(bool active) {
  if (!active) active_ = false;
}

void TWebFileInfo::SetHomeURL(const QString& url) {
  // The caller sets the address before each use; one fetch per address.
  if (!IsWebAddress(url) || url == home_url_) return;
  home_url_ = url;
  active_ = false;
}

QFont TWebFileInfo::UIFont() const {
  if (ui_owner_font_)
    if (const QWidget* owner = OwnerWidget()) return owner->font();
  return ui_font_;
}

QWidget* TWebFileInfo::OwnerWidget() const { return qobject_cast<QWidget*>(parent()); }

void TWebFileInfo::ApplyProxy(QNetworkAccessManager* client) const {
  if (proxy_host_.isEmpty())
    client->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
  else
    client->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, proxy_host_, static_cast<quint16>(proxy_port_)));
}

bool TWebFileInfo::Fetch(const QString& address, QIODevice* sink, QDialog* window, TWebDlProgress* progress,
                         TResponse* response) {
  *response = TResponse();
  const QUrl url(address);
  QString refusal;
  if (ClientBusy())
    refusal = QStringLiteral("The HTTP client is still busy with another request");
  else if (!IsWebAddress(address) || !url.isValid())
    refusal = QStringLiteral("Not an http or https address: %1").arg(address);
  else if (!proxy_host_.isEmpty() && (proxy_port_ < 1 || proxy_port_ > 65535))
    refusal = QStringLiteral("The proxy port %1 is not between 1 and 65535").arg(proxy_port_);
  if (!refusal.isEmpty()) {
    last_error_ = refusal;
    response->failed = true;
    response->error = last_error_;
    // A missing or odd address from the page is an ordinary failure; only a
    // request that collides with a running one is the client's own error.
    if (ClientBusy())
      Warn(OwnerWidget(), QStringLiteral("Exception"),
           QStringLiteral("Error retrieving update information.\rException: %1.").arg(last_error_));
    return false;
  }
  ClientBusy() = true;
  QNetworkAccessManager* client = SharedClient();
  ApplyProxy(client);
  QNetworkRequest request(url);
  request.setMaximumRedirectsAllowed(kMaxRedirects);
  QNetworkReply* reply = client->get(request);

  QEventLoop loop;
  bool tooLarge = false, timedOut = false, writeFailed = false;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  // Every write is checked, and a short one continued until the device says
  // why it takes no more: a full disk must not pass for a finished download.
  const auto store = [&](const QByteArray& chunk) {
    for (qsizetype done = 0; !writeFailed && done < chunk.size();) {
      const qint64 written = sink->write(chunk.constData() + done, chunk.size() - done);
      if (written <= 0) {
        writeFailed = true;
        reply->abort();
      }
      done += written;
    }
    if (!writeFailed) hash.addData(chunk);
  };
  QTimer idle;
  idle.setSingleShot(true);
  idle.setInterval(timeout_ms_);
  connect(&idle, &QTimer::timeout, reply, [&] {
    timedOut = true;
    reply->abort();
  });
  connect(reply, &QNetworkReply::readyRead, reply, [&] {
    idle.start();
    const QByteArray chunk = reply->readAll();
    if (sink) {
      store(chunk);
    } else if (response->body.size() + chunk.size() > kMaxPageBytes) {
      tooLarge = true;
      reply->abort();
    } else {
      response->body.append(chunk);
    }
  });
  connect(reply, &QNetworkReply::downloadProgress, reply, [&](qint64 received, qint64 total) {
    idle.start();
    if (progress) progress->SetProgress(received, total);
  });
  connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  if (progress) connect(progress, &TWebDlProgress::CancelRequested, reply, &QNetworkReply::abort);
  if (auto* wait = qobject_cast<TWebWaitWindow*>(window))
    connect(wait, &TWebWaitWindow::CancelRequested, reply, &QNetworkReply::abort);
  idle.start();
  if (window) {
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    emit WindowShown(window);
  }
  if (!reply->isFinished()) loop.exec();
  idle.stop();

  if (sink && reply->isOpen()) store(reply->readAll());
  response->status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  response->reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
  response->contentType = reply->rawHeader("Content-Type");
  response->cancelled = progress && progress->Cancelled();
  response->sha256 = hash.result();
  if (writeFailed) {
    response->failed = true;
    response->error = QStringLiteral("Could not write the download: %1").arg(sink->errorString());
  } else if (reply->error() == QNetworkReply::TooManyRedirectsError) {
    // The last answer was just another redirect, not the page.
    response->failed = true;
    response->status = 0;
    response->error = QStringLiteral("Too many redirects (more than %1)").arg(kMaxRedirects);
  } else if (reply->error() != QNetworkReply::NoError) {
    response->failed = true;
    if (tooLarge)
      response->error = QStringLiteral("The answer is larger than %1 bytes").arg(kMaxPageBytes);
    else if (timedOut)
      response->error = QStringLiteral("Nothing received from the server for %1 ms").arg(timeout_ms_);
    else
      response->error = response->status > 200 && !response->reason.isEmpty() ? response->reason : reply->errorString();
  }
  reply->disconnect();
  reply->deleteLater();
  if (window) window->hide();
  ClientBusy() = false;
  return true;
}

void TWebFileInfo::ClearProductValues() {
  for (QString* value :
       {&download_url_, &download_sha256_, &product_name_, &product_author_, &product_author_email_, &product_date_,
        &product_readme_, &product_readme_ext_, &product_version_, &redirect_url_, &run_params_})
    value->clear();
}

void TWebFileInfo::TakeTags(const QByteArray& page, const QByteArray& contentType) {
  const QHash<QString, QString> found = ParseProductPage(page, contentType);
  const std::pair<const QString*, QString*> targets[] = {
      {&tags_.AuthorTag, &product_author_},
      {&tags_.AuthorEMailTag, &product_author_email_},
      {&tags_.DateTag, &product_date_},
      {&tags_.DownloadTag, &download_url_},
      {&tags_.DownloadSHA256Tag, &download_sha256_},
      {&tags_.ProductNameTag, &product_name_},
      {&tags_.ReadMeTag, &product_readme_},
      {&tags_.ReadMeExtTag, &product_readme_ext_},
      {&tags_.RedirectTag, &redirect_url_},
      {&tags_.RunParamsTag, &run_params_},
      {&tags_.VersionTag, &product_version_},
  };
  for (const auto& [tag, value] : targets)
    if (!tag->isEmpty() && found.contains(*tag)) *value = found.value(*tag);
  default_file_name_ = FileNameOfUrl(download_url_);
}

bool TWebFileInfo::GetInfo() {
  if (active_) return true;
  QWidget* owner = OwnerWidget();
  if (home_url_.isEmpty()) {
    Warn(owner, QStringLiteral("Missing Home URL"),
         QStringLiteral("Can not retrieve version information\rbecause no home url was provided."));
    return false;
  }
  const TWfiTags& t = tags_;
  if (t.AuthorTag.isEmpty() && t.DateTag.isEmpty() && t.DownloadTag.isEmpty() && t.ProductNameTag.isEmpty() &&
      t.ReadMeTag.isEmpty() && t.ReadMeExtTag.isEmpty() && t.RedirectTag.isEmpty() && t.RunParamsTag.isEmpty() &&
      t.VersionTag.isEmpty()) {
    Warn(owner, QStringLiteral("Missing Tag Information"),
         QStringLiteral("Can not retrieve version information\rbecause no tag information was provided."));
    return false;
  }

  TWebWaitWindow wait(QStringLiteral("Checking For Update..."), UIFont(), owner);
  QSet<QString> visited;
  QString address = home_url_;
  bool result = false;
  for (int redirects = 0;; ++redirects) {
    visited.insert(address);
    last_error_.clear();
    TResponse response;
    if (!Fetch(address, nullptr, &wait, nullptr, &response)) {
      ClearProductValues();
      result = false;
      break;
    }
    if (response.failed) last_error_ = response.error;
    if (response.status > 200) {
      last_error_ = response.reason.isEmpty() ? response.error : response.reason;
      ShowBox(owner, QMessageBox::NoIcon, QString::number(response.status));
    }
    ClearProductValues();
    result = last_error_.isEmpty();
    if (result) TakeTags(response.body, response.contentType);
    if (redirect_url_.isEmpty()) break;
    // Pages that send each other round, or on and on, end the check.
    QString problem;
    if (visited.contains(redirect_url_))
      problem = QStringLiteral("The product page redirects in a loop (back to %1)").arg(redirect_url_);
    else if (redirects >= kMaxRedirects)
      problem = QStringLiteral("The product page redirects more than %1 times").arg(kMaxRedirects);
    else if (!IsWebAddress(redirect_url_))
      problem =
          QStringLiteral("The product page redirects to an address that is not http or https: %1").arg(redirect_url_);
    if (!problem.isEmpty()) {
      last_error_ = problem;
      ClearProductValues();
      result = false;
      break;
    }
    address = redirect_url_;
  }
  active_ = result;
  return result;
}

bool TWebFileInfo::IsNewerVersion() const {
  return net::IsNewerVersion(
      current_version_, product_version_,
      version_format_ == wfivSimpleString ? TVersionFormat::SimpleString : TVersionFormat::BuildNumber);
}

QString TWebFileInfo::AvailableText() const {
  return QStringLiteral("Current version is %1.\rVersion %2 is available.").arg(current_version_, product_version_);
}

bool TWebFileInfo::CheckForUpdate() {
  QWidget* owner = OwnerWidget();
  if (!GetInfo()) {
    Warn(owner, QStringLiteral("Connection Error"),
         ErrorText(QStringLiteral("Could not retrieve version information from the Internet."), last_error_));
    return false;
  }
  if (!IsNewerVersion()) {
    ShowBox(owner, QMessageBox::Information, QStringLiteral("There is no update available."), QMessageBox::Ok,
            QStringLiteral("No Update Found"));
    return false;
  }
  if (options_ & wfioDisplayReadMe) ShowReadMe(true);
  if (!AskYes(owner, QStringLiteral("Update Available"), AvailableText() + QStringLiteral("\rDownload the update?")))
    return false;

  QString fileName;
  int filter = -1;
  for (;;) {
    const bool chosen = save_file_ ? save_file_(default_file_name_, &fileName, &filter)
                                   : DefaultSaveFile(owner, default_file_name_, &fileName, &filter);
    if (!chosen || fileName.isEmpty()) return false;
    const QString folder = QFileInfo(fileName).absolutePath();
    if (QFileInfo(folder).isDir()) break;
    // The dialog lets a typed name through whose folder is missing.
    Warn(owner, QStringLiteral("Save Update"),
         QStringLiteral("The folder %1 does not exist.\rChoose an existing folder.")
             .arg(QDir::toNativeSeparators(folder)));
  }
  if (QFileInfo(fileName).suffix().isEmpty()) {
    if (filter == 0) fileName += QStringLiteral(".EXE");
    if (filter == 1) fileName += QStringLiteral(".ZIP");
  }

  if (!DownloadUpdate(fileName)) {
    Warn(owner, QStringLiteral("Download Error"),
         ErrorText(QStringLiteral("Error occurred while downloading update."), last_error_));
    return false;
  }
  if (options_ & wfioRunUpdate) {
    QString question = QStringLiteral("Do you want to install the update now?");
    if (options_ & wfioExitDuringUpdate) {
      QString title = QGuiApplication::applicationDisplayName();
      if (title.isEmpty()) title = QStringLiteral("Marlo");
      question += QStringLiteral("\rThis will close %1.").arg(title);
    }
    // The downloaded program runs only after this Yes.
    if (AskYes(owner, QStringLiteral("Install Update"), question)) {
      if (!start_ || !start_(target_file_, run_params_))
        Warn(owner, QStringLiteral("Error"), QStringLiteral("Can not start program."));
      else if ((options_ & wfioExitDuringUpdate) && quit_)
        quit_();
    }
  }
  return true;
}

bool TWebFileInfo::ShowReadMe(bool ask) {
  if (!GetInfo()) return false;
  if (product_readme_.isEmpty() && product_readme_ext_.isEmpty()) return false;
  QWidget* owner = OwnerWidget();
  if (ask && !AskYes(owner, QStringLiteral("Update Available"),
                     AvailableText() + QStringLiteral("\rWould you like to view the ReadMe file?")))
    return false;

  // A downloaded read-me is handed to the desktop only after the user's Yes
  // above; unasked, only the built-in viewer is used.
  if (ask && !product_readme_ext_.isEmpty()) {
    QString name = FileNameOfUrl(product_readme_ext_);
    if (name.isEmpty() || name == QLatin1String("..") || name == QLatin1String(".")) name = QStringLiteral("ReadMe");
    // Not a name in the shared temporary folder, which others could claim first.
    if (!readme_dir_) readme_dir_ = std::make_unique<QTemporaryDir>();
    const QString target = readme_dir_->filePath(name);
    if (readme_dir_->isValid() && DownloadToFile(product_readme_ext_, target, QStringLiteral("Downloading ReadMe")) &&
        start_ && start_(target, QString()))
      return true;
    Warn(owner, QStringLiteral("Error"), QStringLiteral("Can not start program."));
  }

  if (!product_readme_.isEmpty()) {
    TWebWaitWindow wait(QStringLiteral("Retrieving ReadMe..."), UIFont(), owner);
    TResponse response;
    if (Fetch(product_readme_, nullptr, &wait, nullptr, &response)) {
      if (response.status <= 200 && !response.failed) {
        TWebReadMeViewer viewer(QString::fromUtf8(response.body), owner);
        viewer.setFont(UIFont());
        QEventLoop loop;
        connect(&viewer, &QDialog::finished, &loop, &QEventLoop::quit);
        viewer.setWindowModality(Qt::ApplicationModal);
        viewer.show();
        emit WindowShown(&viewer);
        if (viewer.isVisible()) loop.exec();
      } else {
        last_error_ = response.failed ? response.error : response.reason;
      }
    }
  }
  return true;
}

bool TWebFileInfo::DownloadUpdate(const QString& path) {
  if (!GetInfo()) return false;
  target_file_ = path.endsWith(QLatin1Char('\\')) || path.endsWith(QLatin1Char('/')) ? path + default_file_name_ : path;
  return DownloadToFile(download_url_, target_file_, QStringLiteral("Downloading Update"), download_sha256_);
}

bool TWebFileInfo::DownloadToFile(const QString& address, const QString& fileName, const QString& text,
                                  const QString& sha256) {
  last_error_.clear();
  // Written beside the target and put in its place only when complete, so a
  // broken, short or cancelled download never stands where it could be started.
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) {
    last_error_ = file.errorString();
    return false;
  }
  TWebDlProgress progress(text, OwnerWidget());
  progress.setFont(UIFont());
  TResponse response;
  bool ok = Fetch(address, &file, &progress, &progress, &response);
  if (ok) {
    ok = response.status <= 200 && !response.cancelled && !response.failed;
    if (!ok) last_error_ = response.failed ? response.error : response.reason;
  }
  if (ok && !sha256.isEmpty() && response.sha256.toHex() != sha256.trimmed().toLower().toLatin1()) {
    ok = false;
    last_error_ = QStringLiteral("The download does not match the SHA-256 checksum on the product page");
  }
  // The last writes and the flush can fail too.
  if (ok && !file.commit()) {
    ok = false;
    last_error_ = QStringLiteral("Could not write the download: %1").arg(file.errorString());
  }
  if (!ok) file.cancelWriting();
  return ok;
}

}  // namespace marlo::net
