// An error leaving a command is shown in the error box; the program goes on.
#include <QPushButton>
#include <QTest>

#include "ide/application.h"
#include "ide/reg_ini_plus.h"
#include "tests/support/boxes.h"

using namespace marlo::ide;

class TstApplication : public QObject {
  Q_OBJECT
 private slots:
  void errorLeavingACommandIsShownAndTheProgramGoesOn() {
    marlo::test::BoxRecorder boxes;
    QPushButton failing(QStringLiteral("fails"));
    QPushButton working(QStringLiteral("works"));
    int worked = 0;
    QObject::connect(&failing, &QPushButton::clicked,
                     [] { throw ERegistryError("Cannot write the settings to '/x/Marlo.ini'"); });
    QObject::connect(&working, &QPushButton::clicked, [&] { ++worked; });

    QTest::mouseClick(&failing, Qt::LeftButton);
    QTest::mouseClick(&working, Qt::LeftButton);
    QTest::mouseClick(&failing, Qt::LeftButton);

    QCOMPARE(worked, 1);
    QCOMPARE(boxes.Texts(), QStringList(2, QStringLiteral("Cannot write the settings to '/x/Marlo.ini'")));
    QCOMPARE(boxes.asked[0].icon, QMessageBox::Critical);
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  TstApplication test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
