#include "cli/dependency_file.h"

namespace marlo::cli {

std::string EscapeForMake(const std::string& name) {
  std::string escaped;
  for (char c : name) {
    if (c == ' ' || c == '\t' || c == '#') escaped += '\\';
    if (c == '$') escaped += '$';
    escaped += c;
  }
  return escaped;
}

std::string DependencyRules(const std::string& target, const std::vector<std::string>& inputs, bool phonyHeaders) {
  std::string rules = EscapeForMake(target) + ":";
  for (const std::string& input : inputs) rules += " " + EscapeForMake(input);
  rules += "\n";
  if (phonyHeaders)
    for (std::size_t i = 1; i < inputs.size(); ++i) rules += "\n" + EscapeForMake(inputs[i]) + ":\n";
  return rules;
}

}  // namespace marlo::cli
