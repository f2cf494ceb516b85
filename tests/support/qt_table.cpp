#include "tests/support/qt_table.h"

#include <stdexcept>

#include "tests/support/files.h"

namespace marlo::test {

void TableRows(const char* file, const char* section) {
  QTest::addColumn<QStringList>("cells");
  std::string current;
  for (auto [number, text] : TableLines(std::string(MARLO_TEST_DATA_DIR "/") + file)) {
    if (text.front() == '[' && text.back() == ']') {
      current = text.substr(1, text.size() - 2);
      continue;
    }
    if (current != section) continue;
    QStringList cells;
    std::string_view rest = text;
    try {
      while (true) {
        while (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
        if (rest.empty() || rest[0] == '#') break;  // the rest is a comment
        if (rest[0] == '"') {
          cells << QString::fromStdString(TakeQuoted(rest));
          continue;
        }
        const std::size_t end = std::min(rest.find(' '), rest.size());
        cells << QString::fromUtf8(rest.substr(0, end));
        rest.remove_prefix(end);
      }
    } catch (const std::runtime_error& error) {
      qFatal("%s:%d: %s", file, number, error.what());
    }
    QTest::addRow("%s:%d", file, number) << cells;
  }
}

}  // namespace marlo::test
