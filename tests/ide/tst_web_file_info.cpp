// The update check against real servers on 127.0.0.1: a Python HTTP server
// started here (tests/ide/http_test_server.py) and, for the proxy setting,
// tinyproxy. The message boxes are answered through the box handler and the
// save dialog and program start through the component's hooks.
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <csignal>

#include "net/web_dl_progress.h"
#include "net/web_file_info.h"
#include "net/web_wait_window.h"
#include "tests/support/boxes.h"
#include "tests/support/qt_files.h"
#include "tests/support/rows.h"

using marlo::net::TWebDlProgress;
using marlo::net::TWebFileInfo;
using marlo::net::TWebReadMeViewer;
using marlo::test::Row;

namespace {

// A child process that prints its port first and ends when stdin closes.
struct TServer {
  QProcess process;
  QByteArray output;
  quint16 port = 0;

  bool Start() {
    process.start(QStringLiteral("python3"), {QStringLiteral(MARLO_SOURCE_DIR "/tests/ide/http_test_server.py")});
    if (!process.waitForStarted(5000)) return false;
    QElapsedTimer timer;
    timer.start();
    while (!output.contains('\n') && timer.elapsed() < 10000)
      if (process.waitForReadyRead(200)) output += process.readAllStandardOutput();
    if (!output.startsWith("PORT ")) return false;
    port = static_cast<quint16>(output.mid(5, output.indexOf('\n') - 5).trimmed().toUInt());
    output.clear();
    return port != 0;
  }
  // The requests seen so far, as "path VIA=<Via header>".
  QStringList Seen() {
    while (process.waitForReadyRead(100)) {
    }
    output += process.readAllStandardOutput();
    QStringList seen;
    for (const QByteArray& line : output.split('\n'))
      if (line.startsWith("SEEN ")) seen << QString::fromLatin1(line.mid(5).trimmed());
    return seen;
  }
  QString Url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path); }
  ~TServer() {
    if (process.state() == QProcess::NotRunning) return;
    process.closeWriteChannel();
    if (!process.waitForFinished(3000)) process.kill();
    process.waitForFinished(1000);
  }
};

// A loopback port that nobody listens on right now.
quint16 FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

// Records every box; those with more than OK are answered in turn, then No.
struct TBoxes : marlo::test::BoxRecorder {
  TBoxes() : BoxRecorder({}, QMessageBox::No) {}
};

const QString kAvailable = QStringLiteral("Current version is 1.0.5.180.\nVersion 1.0.6.0 is available.\n");

bool HasPattern(const QString& file, qint64 size) {
  const QByteArray data = marlo::test::ReadBytes(file);
  if (data.size() != size) return false;
  for (qint64 i = 0; i < size; ++i)
    if (static_cast<unsigned char>(data[i]) != i % 251) return false;
  return true;
}

}  // namespace

class TstWebFileInfo : public QObject {
  Q_OBJECT
  TServer server_;
  QTemporaryDir dir_;

  void Prepare(TWebFileInfo& info, const QString& path) {
    info.SetHomeURL(server_.Url(path));
    info.SetCurrentVersion(QStringLiteral("1.0.5.180"));
    info.SetTimeout(10000);
  }

 private slots:
  void initTestCase() {
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Marlo"));
    if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty()) QSKIP("python3 is not installed");
    QVERIFY(server_.Start());
    QVERIFY(dir_.isValid());
  }

  void defaultsAndAddress() {
    TWebFileInfo info;
    QCOMPARE(info.Options(),
             TWebFileInfo::TWfiOptions(TWebFileInfo::wfioDisplayUI | TWebFileInfo::wfioDisplayReadMe |
                                       TWebFileInfo::wfioRunUpdate | TWebFileInfo::wfioExitDuringUpdate));
    info.SetOptions(TWebFileInfo::wfioAlwaysOverwrite);
    QVERIFY(info.Options() & TWebFileInfo::wfioDisplayUI);
    QCOMPARE(info.ProxyPort(), 80);
    QCOMPARE(info.VersionFormat(), TWebFileInfo::wfivBuildNumber);
    QCOMPARE(info.InfoTags().VersionTag, QString("MarloVersion"));
    QCOMPARE(info.InfoTags().RunParamsTag, QString("MarloParms"));
    QCOMPARE(info.HomeURL(), QString::fromLatin1(marlo::net::kDefaultProductPage));
    for (const char* rejected : {"", "ftp://127.0.0.1/x", "http:/", "127.0.0.1/page"}) {
      info.SetHomeURL(rejected);
      QCOMPARE(info.HomeURL(), QString::fromLatin1(marlo::net::kDefaultProductPage));
    }
    info.SetHomeURL("HTTPS://127.0.0.1/page");
    QCOMPARE(info.HomeURL(), QString("HTTPS://127.0.0.1/page"));
    QCOMPARE(info.property("HomeURL").toString(), QString("HTTPS://127.0.0.1/page"));
  }

  void getInfoFillsProperties() {
    TBoxes boxes;
    TWebFileInfo info;
    Prepare(info, "/page?version=1.0.6.0");
    QList<QString> waitTexts;
    connect(&info, &TWebFileInfo::WindowShown, this, [&](QDialog* window) {
      if (auto* wait = qobject_cast<marlo::net::TWebWaitWindow*>(window)) waitTexts << wait->Text();
    });
    const int before = server_.Seen().size();
    QVERIFY(info.GetInfo());
    QVERIFY(info.Active());
    QCOMPARE(info.LastError(), QString());
    QCOMPARE(info.ProductVersion(), QString("1.0.6.0"));
    QCOMPARE(info.ProductName(), QString("Marlo"));
    QCOMPARE(info.ProductAuthor(), QString("Test Maker"));
    QCOMPARE(info.ProductAuthorEMail(), QString("maker@127.0.0.1"));
    QCOMPARE(info.ProductDateStr(), QString("2026-12-01"));
    QCOMPARE(info.DownloadURL(), server_.Url("/files/update.bin"));
    QCOMPARE(info.ProductReadMe(), server_.Url("/readme.txt"));
    QCOMPARE(info.RunParams(), QString("--quiet"));
    QCOMPARE(info.DefaultFileName(), QString("update.bin"));
    QCOMPARE(waitTexts, QList<QString>{"Checking For Update..."});
    QVERIFY(info.IsNewerVersion());
    // Fetched once per address until something sets Active to false.
    QVERIFY(info.GetInfo());
    info.SetHomeURL(info.HomeURL());
    QVERIFY(info.GetInfo());
    QCOMPARE(server_.Seen().size(), before + 1);
    info.SetActive(true);
    info.SetActive(false);
    QVERIFY(!info.Active());
    QVERIFY(info.GetInfo());
    QCOMPARE(server_.Seen().size(), before + 2);
    QCOMPARE(boxes.Texts(), QStringList{});
  }

  void getInfoPages_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("error");  // a part of LastError
    QTest::addColumn<QStringList>("boxes");
    Row("no tags", "/notags", true, "", "", QStringList{});
    Row("binary junk", "/junk", true, "", "", QStringList{});
    Row("404", "/missing", false, "", "File not found", QStringList{"404"});
    Row("redirect chain", "/hop/3", true, "1.0.7.0", "", QStringList{});
    Row("five redirects", "/hop/5", true, "1.0.7.0", "", QStringList{});
    Row("six redirects", "/hop/6", false, "", "redirects more than 5 times", QStringList{});
    Row("page too large", "/files/page?size=17000000&len=0", false, "", "larger than 16777216 bytes", QStringList{});
    Row("redirect loop", "/loop/a", false, "", "redirects in a loop", QStringList{});
    Row("HTTP redirect loop", "/r302", false, "", "Too many redirects (more than 5)", QStringList{});
    const QString version = QString::fromUtf8("1.0.7 Jürgen");
    const QString query = "/page?version=" + QUrl::toPercentEncoding(version);
    Row("UTF-8 page", query + "&charset=utf-8", true, version, "", QStringList{});
    Row("Latin-1 page, said in the header", query + "&declare=header", true, version, "", QStringList{});
    Row("Latin-1 page, said in a META line", query + "&declare=meta", true, version, "", QStringList{});
  }
  void getInfoPages() {
    QFETCH(QString, path);
    QFETCH(bool, ok);
    QFETCH(QString, error);
    TBoxes boxes;
    TWebFileInfo info;
    Prepare(info, path);
    QCOMPARE(info.GetInfo(), ok);
    QCOMPARE(info.Active(), ok);
    QTEST(info.ProductVersion(), "version");
    if (error.isEmpty())
      QCOMPARE(info.LastError(), QString());
    else
      QVERIFY2(info.LastError().contains(error), qPrintable(info.LastError()));
    QTEST(boxes.Texts(), "boxes");
  }

  void unreachableServer() {
    TBoxes boxes;
    TWebFileInfo info;
    info.SetHomeURL(QStringLiteral("http://127.0.0.1:%1/page").arg(FreePort()));
    info.SetCurrentVersion("1.0.5.180");
    QVERIFY(!info.CheckForUpdate());
    QVERIFY(!info.LastError().isEmpty());
    QCOMPARE(boxes.Texts(), QStringList{"Could not retrieve version information from the Internet.\nError: \"" +
                                        info.LastError() + ".\""});
  }

  // A proxy port beyond 65535 would wrap round, here to the server itself.
  void proxyPortOutOfRange() {
    for (const int port : {0, -1, 65536 + server_.port}) {
      TBoxes boxes;
      TWebFileInfo info;
      Prepare(info, "/page");
      info.SetProxyHost("127.0.0.1");
      info.SetProxyPort(port);
      const int before = server_.Seen().size();
      QVERIFY(!info.GetInfo());
      QCOMPARE(info.LastError(), QString("The proxy port %1 is not between 1 and 65535").arg(port));
      QCOMPARE(server_.Seen().size(), before);
      QCOMPARE(boxes.Texts(), QStringList{});
    }
  }

  void missingTags() {
    TBoxes boxes;
    TWebFileInfo info;
    Prepare(info, "/page");
    marlo::net::TWfiTags none;
    for (QString* tag : {&none.AuthorTag, &none.DateTag, &none.DownloadTag, &none.ProductNameTag, &none.ReadMeTag,
                         &none.ReadMeExtTag, &none.RedirectTag, &none.RunParamsTag, &none.VersionTag})
      tag->clear();
    info.SetInfoTags(none);
    QVERIFY(!info.GetInfo());
    QCOMPARE(boxes.Texts(),
             QStringList{"Can not retrieve version information\nbecause no tag information was provided."});
  }

  // The whole dialogue: the boxes in order, the file saved, the start.
  void checkForUpdate_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QList<QMessageBox::StandardButton>>("answers");
    QTest::addColumn<QString>("chosen");  // names the save dialog gives in turn, split by '|'; then Cancel
    QTest::addColumn<int>("filter");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("saved");  // file that must hold the download
    QTest::addColumn<bool>("started");
    using B = QMessageBox;
    const QString readMe = kAvailable + "Would you like to view the ReadMe file?";
    const QString download = kAvailable + "Download the update?";
    const QString install = "Do you want to install the update now?\nThis will close Marlo.";
    Row("no update", "/page?version=1.0.5.99", QList<B::StandardButton>{}, "", 0, false,
        QStringList{"There is no update available."}, "", false);
    Row("page without tags", "/notags", QList<B::StandardButton>{}, "", 0, false,
        QStringList{"There is no update available."}, "", false);
    Row("404", "/missing", QList<B::StandardButton>{}, "", 0, false,
        QStringList{"404",
                    "Could not retrieve version information from the Internet.\nError: \"File not "
                    "found.\""},
        "", false);
    Row("download declined", "/page", QList<B::StandardButton>{B::No, B::No}, "", 0, false,
        QStringList{readMe, download}, "", false);
    Row("save cancelled", "/page", QList<B::StandardButton>{B::No, B::Yes}, "", 0, false, QStringList{readMe, download},
        "", false);
    Row("installed, .EXE added", "/page", QList<B::StandardButton>{B::No, B::Yes, B::Yes}, "update", 0, true,
        QStringList{readMe, download, install}, "update.EXE", true);
    Row("not installed, .ZIP added", "/page", QList<B::StandardButton>{B::No, B::Yes, B::No}, "update", 1, true,
        QStringList{readMe, download, install}, "update.ZIP", false);
    Row("all files: name kept", "/page", QList<B::StandardButton>{B::No, B::Yes, B::No}, "update", 2, true,
        QStringList{readMe, download, install}, "update", false);
    Row("no download address", "/page?dl=none", QList<B::StandardButton>{B::No, B::Yes}, "x.bin", 2, false,
        QStringList{readMe, download,
                    "Error occurred while downloading update.\nError: \"Not an http or https address: .\""},
        "", false);
    Row("checksum fits", "/page?sha=good", QList<B::StandardButton>{B::No, B::Yes, B::Yes}, "update", 0, true,
        QStringList{readMe, download, install}, "update.EXE", true);
    Row("checksum differs", "/page?sha=bad", QList<B::StandardButton>{B::No, B::Yes}, "update", 0, false,
        QStringList{readMe, download,
                    "Error occurred while downloading update.\nError: \"The download does not match the SHA-256 "
                    "checksum on the product page.\""},
        "", false);
    Row("missing folder: asked again", "/page", QList<B::StandardButton>{B::No, B::Yes, B::Yes},
        "missing/update|update", 0, true,
        QStringList{readMe, download, "The folder <dir>/missing does not exist.\nChoose an existing folder.", install},
        "update.EXE", true);
    Row("download fails", "/page?dl=/nothing.bin", QList<B::StandardButton>{B::No, B::Yes}, "x.bin", 2, false,
        QStringList{readMe, download,
                    "Error occurred while downloading update.\nError: \"File not "
                    "found.\""},
        "", false);
  }
  void checkForUpdate() {
    QFETCH(QString, path);
    QFETCH(QString, chosen);
    QFETCH(int, filter);
    QFETCH(QString, saved);
    TBoxes boxes;
    QFETCH(QList<QMessageBox::StandardButton>, answers);
    boxes.answers = answers;
    TWebFileInfo info;
    Prepare(info, path);
    QTemporaryDir target;
    QString proposed;
    QStringList names = chosen.isEmpty() ? QStringList() : chosen.split('|');
    info.SetSaveFileHook([&](const QString& name, QString* file, int* index) {
      proposed = name;
      if (names.isEmpty()) return false;
      *file = target.filePath(names.takeFirst());
      *index = filter;
      return true;
    });
    QStringList starts;
    int quits = 0;
    info.SetStartHook([&](const QString& file, const QString& params) {
      starts << file + ' ' + params;
      return true;
    });
    info.SetQuitHook([&] { ++quits; });
    QTEST(info.CheckForUpdate(), "result");
    QTEST(boxes.Texts().replaceInStrings(target.path(), "<dir>"), "boxes");
    if (!saved.isEmpty()) {
      QCOMPARE(proposed, QString("update.bin"));
      QCOMPARE(info.TargetFile(), target.filePath(saved));
      QVERIFY(HasPattern(target.filePath(saved), 300000));
    }
    // Nothing else is left behind, not even a part of a download.
    QCOMPARE(QDir(target.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             saved.isEmpty() ? QStringList() : QStringList{saved});
    QFETCH(bool, started);
    QCOMPARE(starts, started ? QStringList{target.filePath(saved) + " --quiet"} : QStringList{});
    QCOMPARE(quits, started ? 1 : 0);
  }

  void startFailure() {
    TBoxes boxes;
    boxes.answers = {QMessageBox::Yes, QMessageBox::Yes};
    TWebFileInfo info;
    Prepare(info, "/page");
    info.SetOptions(TWebFileInfo::wfioRunUpdate);
    info.SetSaveFileHook([&](const QString& name, QString* file, int* index) {
      *file = dir_.filePath(name);
      *index = 2;
      return true;
    });
    int quits = 0;
    info.SetStartHook([](const QString&, const QString&) { return false; });
    info.SetQuitHook([&] { ++quits; });
    QVERIFY(info.CheckForUpdate());
    QCOMPARE(boxes.Texts(), (QStringList{kAvailable + "Download the update?", "Do you want to install the update now?",
                                         "Can not start program."}));
    QStringList captions;
    for (const auto& box : boxes.asked) captions << box.caption;
    QCOMPARE(captions, (QStringList{"Update Available", "Install Update", "Error"}));
    QCOMPARE(quits, 0);
  }

  void readMeViewer() {
    TBoxes boxes;
    boxes.answers = {QMessageBox::Yes};
    TWebFileInfo info;
    Prepare(info, "/page");
    QString shown;
    connect(&info, &TWebFileInfo::WindowShown, this, [&](QDialog* window) {
      if (auto* viewer = qobject_cast<TWebReadMeViewer*>(window)) {
        shown = viewer->windowTitle() + ": " + viewer->Text();
        QTimer::singleShot(0, viewer, &QDialog::accept);
      }
    });
    QVERIFY(info.ShowReadMe(true));
    QVERIFY2(shown.startsWith("Read Me: Release notes") && shown.contains("Fixed everything."), qPrintable(shown));
    QCOMPARE(boxes.Texts(), QStringList{kAvailable + "Would you like to view the ReadMe file?"});
  }

  // The desktop gets a downloaded read-me only after the user's Yes; unasked,
  // the built-in viewer shows the notes instead.
  void readMeOpenedOnlyAfterYes() {
    for (const bool ask : {true, false}) {
      TBoxes boxes;
      boxes.answers = {QMessageBox::Yes};
      TWebFileInfo info;
      Prepare(info, "/page?ext=1");
      QStringList opened;
      info.SetStartHook([&](const QString& file, const QString& params) {
        opened << file + '|' + params;
        return true;
      });
      int viewers = 0;
      connect(&info, &TWebFileInfo::WindowShown, this, [&](QDialog* window) {
        if (qobject_cast<TWebReadMeViewer*>(window)) {
          ++viewers;
          QTimer::singleShot(0, window, &QDialog::accept);
        }
      });
      QVERIFY(info.ShowReadMe(ask));
      QCOMPARE(opened.size(), ask ? 1 : 0);
      QCOMPARE(viewers, ask ? 0 : 1);
      QCOMPARE(boxes.Texts().size(), ask ? 1 : 0);
      if (!ask) continue;
      // In a folder of its own that only this user can enter.
      const QFileInfo file(opened[0].chopped(1));
      QCOMPARE(file.fileName(), QString("readme.txt"));
      QVERIFY(file.size() > 0);
      QVERIFY(QFileInfo(file.path()) != QFileInfo(QDir::tempPath()));
      const QFile::Permissions others = QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
      QCOMPARE(QFileInfo(file.path()).permissions() & others, QFile::Permissions());
    }
  }

  // A request started while another one runs is refused with the
  // "Exception" box; a stalled server ends in the time limit.
  void busyAndStalled() {
    TBoxes boxes;
    TWebFileInfo outer, inner;
    Prepare(outer, "/page");
    Prepare(inner, "/page?version=2");
    bool innerResult = true;
    connect(&outer, &TWebFileInfo::WindowShown, this, [&](QDialog*) { innerResult = inner.GetInfo(); });
    QVERIFY(outer.GetInfo());
    QVERIFY(!innerResult);
    QCOMPARE(boxes.Texts(), QStringList{"Error retrieving update information.\nException: " + inner.LastError() + "."});
    QVERIFY(inner.LastError().contains("busy"));

    TWebFileInfo stalled;
    stalled.SetTimeout(300);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!stalled.DownloadToFile(server_.Url("/files/slow?size=200000&chunk=1000&delay=3000"),
                                    dir_.filePath("stalled.bin"), "Downloading Update"));
    QVERIFY2(timer.elapsed() < 2500, "the time limit did not end the request");
    QCOMPARE(stalled.LastError(), QString("Nothing received from the server for 300 ms"));
  }

  void downloadProgress_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("lastText");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("error");
    Row("announced size", "size=2000000&chunk=100000&delay=20&len=1", false, true,
        "2,000,000 of 2,000,000 bytes received.", false, "");
    Row("no size announced", "size=2000000&chunk=100000&delay=20&len=0", false, true,
        "2,000,000 of 2,000,000 bytes received.", true, "");
    Row("cancelled", "size=3000000&chunk=100000&delay=50&len=1", true, false, "", false, "Operation canceled");
    // Files may grow to 1 MB here, as if the disk were full then.
    Row("disk full", "size=2000000&chunk=100000&delay=20&len=1", false, false, "", false,
        "Could not write the download: File too large");
  }
  void downloadProgress() {
    QFETCH(QString, query);
    QFETCH(bool, cancel);
    QFETCH(bool, ok);
    QFETCH(QString, error);
    TBoxes boxes;
    TWebFileInfo info;
    info.SetTimeout(10000);
    QStringList texts;
    QList<int> positions;
    bool busy = false;
    QString caption;
    connect(&info, &TWebFileInfo::WindowShown, this, [&](QDialog* window) {
      auto* progress = qobject_cast<TWebDlProgress*>(window);
      if (!progress) return;
      caption = progress->windowTitle();
      connect(progress, &TWebDlProgress::Progressed, this, [&, progress](qint64 received, qint64) {
        texts << progress->CountText();
        positions << progress->Position();
        busy = busy || progress->Busy();
        if (cancel && received >= 300000) progress->CancelButton()->click();
      });
    });
    const QString file = dir_.filePath("big.bin");
    const qint64 size = QUrlQuery(query).queryItemValue("size").toLongLong();
    marlo::test::WriteBytes(file, "old");
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit saved = limit;
    if (QTest::currentDataTag() == QLatin1String("disk full")) {
      std::signal(SIGXFSZ, SIG_IGN);
      limit.rlim_cur = 1000000;
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    const bool result = info.DownloadToFile(server_.Url("/files/big?" + query), file, "Downloading Update");
    setrlimit(RLIMIT_FSIZE, &saved);
    QCOMPARE(result, ok);
    QCOMPARE(caption, QString("Download Progress"));
    QVERIFY(!texts.isEmpty());
    QVERIFY2(std::is_sorted(positions.begin(), positions.end()), "the bar moved back");
    QTEST(busy, "busy");
    // While the size is unknown only the bytes so far are shown.
    QCOMPARE(texts.filter(QRegularExpression("^[0-9,]+ bytes received\\.$")).isEmpty(), !busy);
    if (ok) {
      QTEST(texts.last(), "lastText");
      QVERIFY(HasPattern(file, size));
      QCOMPARE(info.LastError(), QString());
    } else {
      QCOMPARE(info.LastError(), error);
      // The file that was there before is kept, and nothing else is left.
      QCOMPARE(marlo::test::ReadBytes(file), QByteArray("old"));
      QCOMPARE(QDir(dir_.path()).entryList({"big.bin*"}, QDir::Files | QDir::Hidden), QStringList{"big.bin"});
    }
    QCOMPARE(boxes.Texts(), QStringList{});
  }

  // Cancel in the middle of the update's download: the error box, no offer
  // to install.
  void cancelledUpdate() {
    TBoxes boxes;
    boxes.answers = {QMessageBox::Yes};
    TWebFileInfo info;
    Prepare(info, "/page?dl=" + QUrl::toPercentEncoding("/files/big?size=3000000&chunk=100000&delay=50"));
    info.SetOptions(TWebFileInfo::wfioRunUpdate);
    info.SetSaveFileHook([&](const QString&, QString* file, int* index) {
      *file = dir_.filePath("cancelled.bin");
      *index = 2;
      return true;
    });
    int starts = 0;
    info.SetStartHook([&](const QString&, const QString&) { return ++starts, true; });
    connect(&info, &TWebFileInfo::WindowShown, this, [&](QDialog* window) {
      if (auto* progress = qobject_cast<TWebDlProgress*>(window))
        connect(progress, &TWebDlProgress::Progressed, progress, [progress](qint64 received, qint64) {
          if (received > 0) progress->Cancel();
        });
    });
    QVERIFY(!info.CheckForUpdate());
    QCOMPARE(boxes.Texts().size(), 2);
    QCOMPARE(boxes.Texts()[1], QString("Error occurred while downloading update.\nError: \"Operation canceled.\""));
    QCOMPARE(starts, 0);
    QVERIFY(!QFile::exists(dir_.filePath("cancelled.bin")));
  }

  void throughProxy() {
    const QString tinyproxy = QStandardPaths::findExecutable(QStringLiteral("tinyproxy"));
    if (tinyproxy.isEmpty()) QSKIP("tinyproxy is not installed");
    QTemporaryDir work;
    const quint16 port = FreePort();
    const QString conf = marlo::test::WriteBytes(
        work.filePath("tinyproxy.conf"),
        QStringLiteral(
            "Port %1\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\nMaxClients 5\nLogLevel Info\nLogFile \"%2\"\n")
            .arg(port)
            .arg(work.filePath("tinyproxy.log"))
            .toUtf8());
    QProcess proxy;
    proxy.setProcessChannelMode(QProcess::MergedChannels);
    proxy.start(tinyproxy, {"-d", "-c", conf});
    QVERIFY(proxy.waitForStarted(5000));
    // Ready once it takes connections.
    bool up = false;
    for (int i = 0; i < 50 && !up; ++i) {
      QTcpSocket probe;
      probe.connectToHost(QHostAddress::LocalHost, port);
      up = probe.waitForConnected(100);
      if (!up) QTest::qWait(100);
    }
    QVERIFY2(up, proxy.readAll().constData());

    TBoxes boxes;
    TWebFileInfo info;
    Prepare(info, "/page?version=3.0.proxy");
    info.SetProxyHost("127.0.0.1");
    info.SetProxyPort(port);
    QVERIFY2(info.GetInfo(), qPrintable(info.LastError()));
    QCOMPARE(info.ProductVersion(), QString("3.0.proxy"));
    const QStringList seen = server_.Seen();
    QVERIFY(!seen.isEmpty());
    QVERIFY2(seen.last().startsWith("/page VIA=") && seen.last().contains("tinyproxy"), qPrintable(seen.last()));

    // Without the proxy the request goes straight to the server again.
    info.SetProxyHost(QString());
    info.SetActive(false);
    QVERIFY(info.GetInfo());
    QCOMPARE(server_.Seen().last(), QString("/page VIA="));
    proxy.terminate();
    if (!proxy.waitForFinished(3000)) proxy.kill();
  }
};

QTEST_MAIN(TstWebFileInfo)
#include "tst_web_file_info.moc"
