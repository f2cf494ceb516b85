// The update check against real servers on 127.0.0.1: the HTTP server of
// tests/ide/test_servers.py started here (the cases of
// tests/data/net/update_check.txt) and, for the proxy setting, tinyproxy.
// The message boxes are answered through the box handler and the save dialog
// and program start through the component's hooks.
#include <sys/resource.h>

#include <QDir>
#include <QGuiApplication>
#include <QPushButton>
#include <QRegularExpression>
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
#include "tests/support/qt_table.h"
#include "tests/support/test_server.h"

using marlo::net::TWebDlProgress;
using marlo::net::TWebFileInfo;
using marlo::net::TWebReadMeViewer;
using marlo::test::Items;
using marlo::test::YesNo;

namespace {

constexpr const char* kTable = "net/update_check.txt";

// A loopback port that nobody listens on right now.
quint16 FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

// Records every box; those with more than OK are answered in turn, then No.
struct TBoxes : marlo::test::BoxRecorder {
  TBoxes() : BoxRecorder({}, QMessageBox::No) {}
  // Each box as "caption: text".
  QStringList Shown() const {
    QStringList shown;
    for (const auto& box : asked) shown << box.caption + ": " + box.text;
    return shown;
  }
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
  marlo::test::TestServer server_;
  QTemporaryDir dir_;

  // A path on the server, or an address on a port nobody listens on.
  void Prepare(TWebFileInfo& info, QString path) {
    info.SetHomeURL(path.startsWith("http") ? path.replace("<free>", QString::number(FreePort())) : server_.Url(path));
    info.SetCurrentVersion(QStringLiteral("1.0.5.180"));
    info.SetTimeout(10000);
  }
  int Requests() { return server_.Lines("SEEN ").size(); }
  // Calls `shown` with each window of `info` of type W.
  template <typename W, typename F>
  void OnWindow(TWebFileInfo& info, F shown) {
    connect(&info, &TWebFileInfo::WindowShown, this, [shown](QDialog* window) {
      if (auto* w = qobject_cast<W*>(window)) shown(w);
    });
  }

 private slots:
  void initTestCase() {
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Marlo"));
    const QString why = server_.Start({"http"});
    if (why.startsWith("SKIP ")) QSKIP(qPrintable(why.mid(5)));
    QVERIFY2(why.isEmpty(), qPrintable(why));
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
    QCOMPARE(info.InfoTags().VersionTag + ' ' + info.InfoTags().RunParamsTag, QString("MarloVersion MarloParms"));
    QCOMPARE(info.HomeURL(), QString::fromLatin1(marlo::net::kDefaultProductPage));
    for (const char* rejected : {"", "ftp://127.0.0.1/x", "http:/", "127.0.0.1/page"}) {
      info.SetHomeURL(rejected);
      QCOMPARE(info.HomeURL(), QString::fromLatin1(marlo::net::kDefaultProductPage));
    }
    info.SetHomeURL("HTTPS://127.0.0.1/page");
    QCOMPARE(info.property("HomeURL").toString(), QString("HTTPS://127.0.0.1/page"));
  }

  void getInfoFillsProperties() {
    TBoxes boxes;
    TWebFileInfo info;
    Prepare(info, "/page?version=1.0.6.0");
    QStringList waitTexts;
    OnWindow<marlo::net::TWebWaitWindow>(info, [&](auto* wait) { waitTexts << wait->Text(); });
    const int before = Requests();
    QVERIFY(info.GetInfo());
    QVERIFY(info.Active());
    QCOMPARE(QStringList({info.LastError(), info.ProductVersion(), info.ProductName(), info.ProductAuthor(),
                          info.ProductAuthorEMail(), info.ProductDateStr(), info.DownloadURL(), info.ProductReadMe(),
                          info.RunParams(), info.DefaultFileName()}),
             QStringList({"", "1.0.6.0", "Marlo", "Test Maker", "maker@127.0.0.1", "2026-12-01",
                          server_.Url("/files/update.bin"), server_.Url("/readme.txt"), "--quiet", "update.bin"}));
    QCOMPARE(waitTexts, QStringList{"Checking For Update..."});
    QVERIFY(info.IsNewerVersion());
    // Fetched once per address until something sets Active to false.
    QVERIFY(info.GetInfo());
    info.SetHomeURL(info.HomeURL());
    QVERIFY(info.GetInfo());
    QCOMPARE(Requests(), before + 1);
    info.SetActive(true);
    info.SetActive(false);
    QVERIFY(!info.Active());
    QVERIFY(info.GetInfo());
    QCOMPARE(Requests(), before + 2);
    QCOMPARE(boxes.Texts(), QStringList{});
  }

  void getInfoPages_data() { marlo::test::TableRows(kTable, "info"); }
  void getInfoPages() {
    auto [path, proxy, ok, version, error, shown] = marlo::test::Cells<6>();
    TBoxes boxes;
    TWebFileInfo info;
    Prepare(info, path);
    const int proxyPort = proxy == "<wrap>" ? 65536 + server_.port : proxy.toInt();
    if (!proxy.isEmpty()) {
      info.SetProxyHost("127.0.0.1");
      info.SetProxyPort(proxyPort);
    }
    const int before = Requests();
    QCOMPARE(YesNo(info.GetInfo()), ok);
    QCOMPARE(YesNo(info.Active()), ok);
    QCOMPARE(info.ProductVersion(), version);
    QCOMPARE(info.LastError(),
             error.replace("<server>", server_.Url("")).replace("<proxy>", QString::number(proxyPort)));
    QCOMPARE(boxes.Shown().join(u'|'), shown);
    // A proxy port out of range sends nothing anywhere.
    if (!proxy.isEmpty()) QCOMPARE(Requests(), before);
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
  void checkForUpdate_data() { marlo::test::TableRows(kTable, "update"); }
  void checkForUpdate() {
    const auto [path, options, answers, chosen, filter, startFails, cancel, result, shown, saved, started] =
        marlo::test::Cells<11>();
    TBoxes boxes;
    for (const QString& answer : answers.split(u' ', Qt::SkipEmptyParts))
      boxes.answers << (answer == "Yes" ? QMessageBox::Yes : QMessageBox::No);
    TWebFileInfo info;
    Prepare(info, path);
    if (options == "run") info.SetOptions(TWebFileInfo::wfioRunUpdate);
    QTemporaryDir target;
    QString proposed;
    QStringList names = Items(chosen);
    info.SetSaveFileHook([&](const QString& name, QString* file, int* index) {
      proposed = name;
      if (names.isEmpty()) return false;
      *file = target.filePath(names.takeFirst());
      *index = filter.toInt();
      return true;
    });
    QStringList starts;
    int quits = 0;
    info.SetStartHook([&](const QString& file, const QString& params) {
      starts << file + ' ' + params;
      return startFails == "no";
    });
    info.SetQuitHook([&] { ++quits; });
    OnWindow<TWebDlProgress>(info, [&](TWebDlProgress* progress) {
      connect(progress, &TWebDlProgress::Progressed, progress, [&, progress](qint64 received, qint64) {
        if (cancel == "yes" && received > 0) progress->Cancel();
      });
    });
    QCOMPARE(YesNo(info.CheckForUpdate()), result);
    QCOMPARE(boxes.Shown().replaceInStrings(target.path(), "<dir>").join(u'|'), shown);
    if (!saved.isEmpty()) {
      QCOMPARE(proposed, QString("update.bin"));
      QCOMPARE(info.TargetFile(), target.filePath(saved));
      QVERIFY(HasPattern(target.filePath(saved), 300000));
    }
    // Nothing else is left behind, not even a part of a download.
    QCOMPARE(QDir(target.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), Items(saved));
    QCOMPARE(starts, started == "yes" ? QStringList{target.filePath(saved) + " --quiet"} : QStringList{});
    QCOMPARE(quits, started == "yes" && startFails == "no" ? 1 : 0);
  }

  // Asked, the read-me the page names for the desktop is opened after the
  // user's Yes, in a folder of its own that only this user can enter;
  // unasked, or with only the one to show, the built-in viewer shows it.
  void readMe_data() { marlo::test::TableRows(kTable, "readme"); }
  void readMe() {
    const auto [path, askFirst] = marlo::test::Cells<2>();
    const bool ask = askFirst == "yes";
    TBoxes boxes;
    boxes.answers = {QMessageBox::Yes};
    TWebFileInfo info;
    Prepare(info, path);
    QStringList opened;
    info.SetStartHook([&](const QString& file, const QString& params) {
      opened << file + '|' + params;
      return true;
    });
    QString shown;
    OnWindow<TWebReadMeViewer>(info, [&](TWebReadMeViewer* viewer) {
      shown = viewer->windowTitle() + ": " + viewer->Text();
      QTimer::singleShot(0, viewer, &QDialog::accept);
    });
    QVERIFY(info.ShowReadMe(ask));
    QCOMPARE(boxes.Texts(), ask ? QStringList{kAvailable + "Would you like to view the ReadMe file?"} : QStringList());
    const bool desktop = ask && path.contains("ext");
    QCOMPARE(opened.size(), desktop ? 1 : 0);
    if (!desktop) {
      QVERIFY2(shown.startsWith("Read Me: Release notes") && shown.contains("Fixed everything."), qPrintable(shown));
      return;
    }
    QCOMPARE(shown, QString());
    const QFileInfo file(opened[0].chopped(1));
    QCOMPARE(file.fileName(), QString("readme.txt"));
    QVERIFY(file.size() > 0);
    QVERIFY(QFileInfo(file.path()) != QFileInfo(QDir::tempPath()));
    const QFile::Permissions others = QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QCOMPARE(QFileInfo(file.path()).permissions() & others, QFile::Permissions());
  }

  // A request started while another one runs is refused with the
  // "Exception" box.
  void busy() {
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
  }

  void downloadProgress_data() { marlo::test::TableRows(kTable, "download"); }
  void downloadProgress() {
    const auto [query, timeout, cancel, unknownSize, error] = marlo::test::Cells<5>();
    TBoxes boxes;
    TWebFileInfo info;
    info.SetTimeout(timeout.toInt());
    QStringList texts;
    QList<int> positions;
    bool busy = false;
    QString caption;
    OnWindow<TWebDlProgress>(info, [&](TWebDlProgress* progress) {
      caption = progress->windowTitle();
      connect(progress, &TWebDlProgress::Progressed, this, [&, progress](qint64 received, qint64) {
        texts << progress->CountText();
        positions << progress->Position();
        busy = busy || progress->Busy();
        if (cancel == "yes" && received >= 300000) progress->CancelButton()->click();
      });
    });
    const QString file = dir_.filePath("big.bin");
    marlo::test::WriteBytes(file, "old");
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit saved = limit;
    if (error.startsWith("Could not write")) {
      std::signal(SIGXFSZ, SIG_IGN);
      limit.rlim_cur = 1000000;
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    QElapsedTimer timer;
    timer.start();
    const bool result = info.DownloadToFile(server_.Url("/files/big?" + query), file, "Downloading Update");
    setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY2(timer.elapsed() < timeout.toInt() + 2200, "the time limit did not end the request");
    QCOMPARE(info.LastError(), error);
    QCOMPARE(result, error.isEmpty());
    QCOMPARE(caption, QString("Download Progress"));
    QVERIFY(!texts.isEmpty());
    QVERIFY2(std::is_sorted(positions.begin(), positions.end()), "the bar moved back");
    QCOMPARE(YesNo(busy), unknownSize);
    // While the size is unknown only the bytes so far are shown.
    QCOMPARE(texts.filter(QRegularExpression("^[0-9,]+ bytes received\\.$")).isEmpty(), !busy);
    if (result) {
      QCOMPARE(texts.last(), QString("2,000,000 of 2,000,000 bytes received."));
      QVERIFY(HasPattern(file, QUrlQuery(query).queryItemValue("size").toLongLong()));
    } else {
      // The file that was there before is kept, and nothing else is left.
      QCOMPARE(marlo::test::ReadBytes(file), QByteArray("old"));
      QCOMPARE(QDir(dir_.path()).entryList({"big.bin*"}, QDir::Files | QDir::Hidden), QStringList{"big.bin"});
    }
    QCOMPARE(boxes.Texts(), QStringList{});
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
    const QStringList seen = server_.Lines("SEEN ");
    QVERIFY2(!seen.isEmpty() && seen.last().startsWith("/page VIA=") && seen.last().contains("tinyproxy"),
             qPrintable(seen.join(u'|')));

    // Without the proxy the request goes straight to the server again.
    info.SetProxyHost(QString());
    info.SetActive(false);
    QVERIFY(info.GetInfo());
    QCOMPARE(server_.Lines("SEEN ").last(), QString("/page VIA="));
    proxy.terminate();
    if (!proxy.waitForFinished(3000)) proxy.kill();
  }
};

QTEST_MAIN(TstWebFileInfo)
#include "tst_web_file_info.moc"
