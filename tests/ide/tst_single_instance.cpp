// The hand-over between a later start and the first one, both in this
// process: the first start on the test's thread, later ones on threads of
// their own (HandOver blocks).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QTest>
#include <QThread>
#include <QtEndian>
#include <atomic>
#include <memory>
#include <optional>

#include "ide/single_instance.h"

using marlo::ide::TSingleInstance;

namespace {

QString UniqueName() {
  static int count = 0;
  return QStringLiteral("MarloTest%1-%2").arg(QCoreApplication::applicationPid()).arg(++count);
}

// A later start on a thread of its own.
struct LaterStart {
  std::atomic<bool> finished = false;
  std::atomic<bool> result = false;
  std::unique_ptr<QThread> thread;

  LaterStart(const QString& name, const QString& text, int timeoutMs = 2000) {
    thread.reset(QThread::create([this, name, text, timeoutMs] {
      result = TSingleInstance(name).HandOver(text, timeoutMs);
      finished = true;
    }));
    thread->start();
  }
  ~LaterStart() { thread->wait(); }
};

// What the first start was given, with the answers it still owes.
struct Received {
  QStringList texts;
  QList<TSingleInstance::Reply> replies;
};

void Record(TSingleInstance& first, Received& received) {
  QObject::connect(&first, &TSingleInstance::commandLineReceived, &first,
                   [&received](const QString& text, const TSingleInstance::Reply& reply) {
                     received.texts << text;
                     received.replies << reply;
                   });
}

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
    TSingleInstance first(UniqueName());
    QVERIFY(first.Listen());
    Received received;
    Record(first, received);

    const QString text = "marlo \"a b.bos\" -c " + QString(100 * 1024, u'\u00e9');  // 100 kB and more in UTF-8
    LaterStart later(first.Name(), text);
    QTRY_COMPARE(received.texts.size(), 1);
    QCOMPARE(received.texts.first(), text);
    QTest::qWait(300);  // compiling...
    QVERIFY(!later.finished);
    received.replies.first()();
    QTRY_VERIFY(later.finished);
    QVERIFY(later.result);
    received.replies.first()();  // a second answer is harmless
  }

  void oneAtATime() {
    TSingleInstance first(UniqueName());
    QVERIFY(first.Listen());
    Received received;
    Record(first, received);

    LaterStart one(first.Name(), "one");
    QTRY_COMPARE(received.texts.size(), 1);
    LaterStart two(first.Name(), "two");
    QTest::qWait(300);
    QCOMPARE(received.texts, QStringList{"one"});  // the second waits for the first's answer
    received.replies[0]();
    QTRY_COMPARE(received.texts, (QStringList{"one", "two"}));
    QTRY_VERIFY(one.finished);
    QVERIFY(!two.finished);
    received.replies[1]();
    QTRY_VERIFY(two.finished);
    QVERIFY(one.result && two.result);
  }

  void noFirstStart() {
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!TSingleInstance(UniqueName()).HandOver("marlo a.bos", 500));
    QVERIFY(clock.elapsed() < 2000);
  }

  void nameTakenByLiveStart() {
    TSingleInstance first(UniqueName());
    QVERIFY(first.Listen());
    QVERIFY(!TSingleInstance(first.Name()).Listen());
  }

  void firstStartGoesAway() {
    auto first = std::make_unique<TSingleInstance>(UniqueName());
    QVERIFY(first->Listen());
    Received received;
    Record(*first, received);
    LaterStart later(first->Name(), "text");
    QTRY_COMPARE(received.texts.size(), 1);
    first.reset();  // quits without answering
    QTRY_VERIFY(later.finished);
    QVERIFY(!later.result);
    received.replies.first()();  // too late: nothing left to answer
  }

  void nobodyListensToTheSignal() {
    TSingleInstance first(UniqueName());
    QVERIFY(first.Listen());
    LaterStart later(first.Name(), "text");
    QTRY_VERIFY(later.finished);
    QVERIFY(later.result);
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
#ifdef Q_OS_LINUX
    bad.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
#endif
    bad.connectToServer(first.Name());
    QVERIFY(bad.waitForConnected(1000));
    bad.write(bytes);
    QVERIFY(bad.waitForBytesWritten(1000));
    if (disconnect) bad.disconnectFromServer();
    QTest::qWait(100);

    LaterStart later(first.Name(), "good");
    QTRY_VERIFY(later.finished);
    QVERIFY(texts.contains("good"));
    QVERIFY(later.result);
  }
};

QTEST_MAIN(TstSingleInstance)
#include "tst_single_instance.moc"
