// The compile of one large script inside a real source window, against
// marloc on the same file: how long each takes, and how long the window
// went without handling events (a timer asks every 10 ms).
//
//   marlo_ide_bench MAIN.bos INCLUDE_DIR MARLOC [RUNS]
//
// Runs offscreen. Prints one line per measurement and the ratio; exits 1
// when a compile fails.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "ide/main_window.h"
#include "ide/message_window.h"
#include "ide/reg_ini_plus.h"
#include "ide/source_window.h"
#include "ui/message_box.h"

using namespace marlo::ide;

namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: marlo_ide_bench MAIN.bos INCLUDE_DIR MARLOC [RUNS]\n");
    return 2;
  }
  const QString source = QString::fromLocal8Bit(argv[1]);
  const QString includeDir = QString::fromLocal8Bit(argv[2]) + "/";
  const QString marloc = QString::fromLocal8Bit(argv[3]);
  const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
  QTemporaryDir scratch;
  SetBoxHandler([](const TBoxRequest&) { return QMessageBox::Ok; });

  TForm1 form(std::make_unique<TRegIniPlus>(scratch.filePath("settings.ini")));
  TRegIniPlus& store = form.Store();
  store.WriteString("Marlo", "output dir", scratch.path());
  store.WriteString("Marlo", "Include dirs", includeDir);
  store.WriteBool("Marlo", "Auto save source on compile", false);
  form.show();
  form.OpenSourceFile(source);
  TSourceWindow* window = form.ActiveSourceWindow();

  std::vector<double> windowTimes;
  double longestGap = 0;
  for (int run = 0; run < runs; ++run) {
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestGap = std::max(longestGap, static_cast<double>(sinceTick.restart())); });
    ticker.start();
    sinceTick.start();
    QElapsedTimer clock;
    clock.start();
    window->CompileFile();
    windowTimes.push_back(clock.nsecsElapsed() / 1e9);
    ticker.stop();
    if (form.Messages().Lines().last() != "Compile completed successfully") {
      std::fprintf(stderr, "compile in the window failed: %s\n", qPrintable(form.Messages().Lines().last()));
      return 1;
    }
  }

  std::vector<double> marlocTimes;
  for (int run = 0; run < runs; ++run) {
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(marloc, {"-I", includeDir, "-o", scratch.path(), source});
    process.waitForFinished(-1);
    marlocTimes.push_back(clock.nsecsElapsed() / 1e9);
    if (process.exitCode() != 0) {
      std::fprintf(stderr, "marloc failed: %s\n", process.readAllStandardOutput().constData());
      return 1;
    }
  }

  const double inWindow = Median(windowTimes);
  const double byMarloc = Median(marlocTimes);
  std::printf("file: %s (%lld bytes)\n", argv[1], static_cast<long long>(QFileInfo(source).size()));
  std::printf("compile in the source window: %.3f s (median of %d)\n", inWindow, runs);
  std::printf("marloc on the same file:      %.3f s (median of %d)\n", byMarloc, runs);
  std::printf("ratio: %.2f (target <= 1.5)\n", inWindow / byMarloc);
  std::printf("longest time without events during the window's compiles: %.0f ms\n", longestGap);
  return 0;
}
