// The hand-over between a later start and the first one, both in this
// process: the first start on the test's thread, later ones on threads of
// their own (HandOver blocks).
#include <QLocalServer>
#include <QLocalSocket>
#include <QtTest>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "ide/single_instance.h"
#include "tests/support/qt_table.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)  // the sanitizer sees such faults itself
#include <malloc.h>

// Deleted objects are overwritten and their memory is never reused, so
// that an object used after its deletion makes the test crash at once
// instead of by chance.
void operator delete(void* block) noexcept {
  if (block) std::memset(block, 0xa5, malloc_usable_size(block));
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
#endif

using marlo::ide::TSingleInstance;
using THandOver = TSingleInstance::THandOver;

namespace {

QTemporaryDir& Folder() {
  static QTemporaryDir folder;
  return folder;
}

QString UniqueName() {
  static int count = 0;
  return Folder().filePath(QStringLiteral("sockets/Marloiac-%1").arg(++count));
}

// A later start on a thread of its own.
struct LaterStart {
  std::atomic<bool> finished = false;
  std::atomic<THandOver> result = THandOver::NoFirstStart;
  std::unique_ptr<QThread> thread;

  LaterStart(const QString& name, const QString& text, int timeoutMs = 2000,
             int doneTimeoutMs = TSingleInstance::kDoneTimeoutMs) {
    thread.reset(QThread::create([this, name, text, timeoutMs, doneTimeoutMs] {
      result = TSingleInstance(name).HandOver(text, timeoutMs, doneTimeoutMs);
      finished = true;
    }));
    thread->start();
  }
  ~LaterStart() { thread->wait(); }
};

// A listening first start that keeps what it is given, with the answers it
// still owes.
struct FirstStart {
  TSingleInstance instance{UniqueName()};
  QStringList texts;
  QList<TSingleInstance::Reply> replies;

  FirstStart() {
    if (!instance.Listen()) qFatal("cannot listen on %s", qPrintable(instance.Name()));
    QObject::connect(&instance, &TSingleInstance::commandLineReceived, &instance,
                     [this](const QString& text, const TSingleInstance::Reply& reply) {
                       texts << text;
                       replies << reply;
                     });
  }
};

QByteArray Header(quint64 size) {
  QByteArray header(8, '\0');
  qToBigEndian<quint64>(size, header.data());
  return header;
}

}  // namespace

class TstSingleInstance : public QObject {
  Q_OBJECT
 private slots:
  void waitsUntilProcessed() {
    FirstStart received;
    const QString text = "marlo \"a b.bos\" -c " + QString(100 * 1024, u'\u00e9');  // 100 kB and more in UTF-8
    LaterStart later(received.instance.Name(), text);
    QTRY_COMPARE(received.texts.size(), 1);
    QCOMPARE(received.texts.first(), text);
    QTest::qWait(300);  // compiling...
    QVERIFY(!later.finished);
    received.replies.first()();
    QTRY_VERIFY(later.finished);
    QCOMPARE(later.result, THandOver::Done);
    received.replies.first()();  // a second answer is harmless
  }

  void oneAtATime() {
    FirstStart received;
    LaterStart one(received.instance.Name(), "one");
    QTRY_COMPARE(received.texts.size(), 1);
    LaterStart two(received.instance.Name(), "two");
    QTest::qWait(300);
    QCOMPARE(received.texts, QStringList{"one"});  // the second waits for the first's answer
    received.replies[0]();
    QTRY_COMPARE(received.texts, (QStringList{"one", "two"}));
    QTRY_VERIFY(one.finished);
    QVERIFY(!two.finished);
    received.replies[1]();
    QTRY_VERIFY(two.finished);
    QCOMPARE(one.result, THandOver::Done);
    QCOMPARE(two.result, THandOver::Done);
  }

  void noFirstStart() {
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(TSingleInstance(UniqueName()).HandOver("marlo a.bos", 500), THandOver::NoFirstStart);
    QVERIFY(clock.elapsed() < 2000);
  }

  // A crashed start leaves its socket file behind.
  void staleSocketIsReplaced() {
    const QString name = UniqueName();
    TSingleInstance(name).Listen();  // makes the folder
    QFile::remove(name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(name).constData(), sizeof address.sun_path - 1);
    const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    QCOMPARE(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(stale);
    TSingleInstance first(name);
    QCOMPARE(first.Start("marlo"), TSingleInstance::TRole::First);
  }

  // A start that holds the name but never answers: a later one neither
  // hangs nor listens in its place, and says why.
  void nameHeldBySilentStart() {
    const QString name = UniqueName();
    TSingleInstance(name).Listen();  // makes the folder
    QLocalServer silent;
    QVERIFY(silent.listen(name));
    TSingleInstance later(name);
    QCOMPARE(later.Start("marlo a.bos", 200), TSingleInstance::TRole::Alone);
    QVERIFY2(later.ErrorString().contains(name), qPrintable(later.ErrorString()));
  }

  void handOverHasATimeLimit() {
    FirstStart received;  // never answers
    LaterStart later(received.instance.Name(), "text", 2000, 300);
    QTRY_VERIFY(later.finished);
    QCOMPARE(later.result, THandOver::Unconfirmed);
  }

  // Only the user may enter the socket's folder; a folder that is not the
  // user's own (here a link to one) is never used.
  void socketFolderIsPrivate() {
    const QString folder = Folder().filePath("loose");
    QVERIFY(QDir().mkpath(folder));
    QFile::setPermissions(folder, QFile::Permissions(0x7755));
    TSingleInstance first(folder + "/Marloiac");
    QVERIFY(first.Listen());
    QCOMPARE(QFileInfo(folder).permissions() & 0x0077, QFile::Permissions());

    const QString link = Folder().filePath("link");
    QVERIFY(QFile::link(folder, link));
    TSingleInstance through(link + "/Marloiac");
    QCOMPARE(through.HandOver("text", 500), THandOver::NoFirstStart);
    QVERIFY(!through.Listen());
    QVERIFY2(through.ErrorString().contains(link), qPrintable(through.ErrorString()));
  }

  void defaultNameIsPerUserAndDisplay_data() { marlo::test::TableRows("ide/single_instance.txt", "defaultName"); }
  void defaultNameIsPerUserAndDisplay() {
    const auto [hasRuntime, wayland, x11, name] = marlo::test::Cells<4>();
    const bool runtime = hasRuntime == "1";
    const QByteArray saved[] = {qgetenv("XDG_RUNTIME_DIR"), qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY")};
    qputenv("XDG_RUNTIME_DIR", runtime ? Folder().path().toLocal8Bit() : QByteArray());
    qputenv("WAYLAND_DISPLAY", wayland.toLocal8Bit());
    qputenv("DISPLAY", x11.toLocal8Bit());
    const QString folder =
        runtime ? Folder().filePath("marlo") : QDir::tempPath() + QStringLiteral("/marlo-%1").arg(getuid());
    QCOMPARE(TSingleInstance::DefaultName(), folder + "/" + name);
    qputenv("XDG_RUNTIME_DIR", saved[0]);
    qputenv("WAYLAND_DISPLAY", saved[1]);
    qputenv("DISPLAY", saved[2]);
  }

  void firstStartGoesAway() {
    auto received = std::make_unique<FirstStart>();
    LaterStart later(received->instance.Name(), "text");
    QTRY_COMPARE(received->texts.size(), 1);
    const TSingleInstance::Reply reply = received->replies.first();
    received.reset();  // quits without answering
    QTRY_VERIFY(later.finished);
    QCOMPARE(later.result, THandOver::NoFirstStart);
    reply();  // too late: nothing left to answer
  }

  // The later start is killed while its text is processed (the first start
  // shows a box meanwhile): the first start lives on.
  void laterStartGoesAwayWhileProcessed() {
    TSingleInstance first(UniqueName());
    QVERIFY(first.Listen());
    QLocalSocket later;
    connect(&first, &TSingleInstance::commandLineReceived, this,
            [&](const QString&, const TSingleInstance::Reply& reply) {
              later.abort();
              QEventLoop box;
              QTimer::singleShot(200, &box, &QEventLoop::quit);
              box.exec();
              reply();
            });
    later.connectToServer(first.Name());
    QVERIFY(later.waitForConnected(1000));
    QTest::qWait(50);  // the text comes after the connection was taken
    later.write(Header(4) + "text");
    QTRY_COMPARE(later.state(), QLocalSocket::UnconnectedState);
    QTest::qWait(300);
    LaterStart next(first.Name(), "next");
    QTRY_VERIFY(next.finished);
    QCOMPARE(next.result, THandOver::Done);
  }

  // A live start holds its name; one that nobody listens to answers anyway.
  void nobodyListensToTheSignal() {
    TSingleInstance first(UniqueName());
    QVERIFY(first.Listen());
    QVERIFY(!TSingleInstance(first.Name()).Listen());
    LaterStart later(first.Name(), "text");
    QTRY_VERIFY(later.finished);
    QCOMPARE(later.result, THandOver::Done);
  }

  // Bad clients are dropped, and a good one after them is served.
  void garbage_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("disconnect");
    QTest::newRow("short header, gone") << QByteArray("hi") << true;
    QTest::newRow("huge length") << Header(~0ull) + "x" << false;
    QTest::newRow("text cut off, stays") << Header(1000) + "only some" << false;
    QTest::newRow("invalid UTF-8") << Header(3) + "\xff\xfe\xfd" << true;
  }
  void garbage() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, disconnect);
    TSingleInstance first(UniqueName());
    QVERIFY(first.Listen());
    QStringList texts;
    connect(&first, &TSingleInstance::commandLineReceived, this,
            [&texts](const QString& text, const TSingleInstance::Reply& reply) {
              texts << text;
              reply();
            });

    QLocalSocket bad;
    bad.connectToServer(first.Name());
    QVERIFY(bad.waitForConnected(1000));
    bad.write(bytes);
    QVERIFY(bad.waitForBytesWritten(1000));
    if (disconnect) bad.disconnectFromServer();
    QTest::qWait(100);

    LaterStart later(first.Name(), "good");
    QTRY_VERIFY(later.finished);
    QVERIFY(texts.contains("good"));
    QCOMPARE(later.result, THandOver::Done);
  }
};

QTEST_MAIN(TstSingleInstance)
#include "tst_single_instance.moc"
