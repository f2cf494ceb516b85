#include "tests/support/qt_table.h"

#include <stdexcept>

#include "tests/support/files.h"

namespace marlo::test {

void TableRows(const char* file, const char* section) {
  QTest::addColumn<QByteArrayList>("cells");
  std::string current;
  for (auto [number, text] : TableLines(std::string(MARLO_TEST_DATA_DIR "/") + file)) {
    if (text.front() == '[' && text.back() == ']') {
      current = text.substr(1, text.size() - 2);
      continue;
    }
    if (current != section) continue;
    QByteArrayList cells;
    std::string_view rest = text, comment;
    try {
      while (true) {
        while (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
        if (rest.empty()) break;
        if (rest[0] == '#') {  // a comment: the row's name
          comment = rest.substr(std::min(rest.find_first_not_of("# "), rest.size()));
          break;
        }
        if (rest[0] == '"') {
          cells << QByteArray::fromStdString(TakeQuoted(rest));
          continue;
        }
        const std::size_t end = std::min(rest.find(' '), rest.size());
        cells << QByteArray(rest.data(), qsizetype(end));
        rest.remove_prefix(end);
      }
    } catch (const std::runtime_error& error) {
      qFatal("%s:%d: %s", file, number, error.what());
    }
    QTest::addRow("%s:%d %s", file, number, std::string(comment).c_str()) << cells;
  }
}

}  // namespace marlo::test
