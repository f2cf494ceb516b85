#include "tests/support/boxes.h"

namespace marlo::test {

BoxRecorder::BoxRecorder(QList<QMessageBox::StandardButton> answersInTurn, QMessageBox::StandardButton answer)
    : answers(std::move(answersInTurn)), otherwise(answer) {
  ide::SetBoxHandler([this](const ide::TBoxRequest& request) {
    asked << request;
    if (request.buttons == QMessageBox::Ok) return QMessageBox::Ok;
    return answers.isEmpty() ? otherwise : answers.takeFirst();
  });
}

BoxRecorder::~BoxRecorder() { ide::SetBoxHandler({}); }

QStringList BoxRecorder::Texts() const {
  QStringList texts;
  for (const ide::TBoxRequest& request : asked) texts << request.text;
  return texts;
}

}  // namespace marlo::test
