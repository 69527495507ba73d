#include "platform/CommandLines.h"

namespace velkor::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The program name: quoted up to the next quote, else up to the next blank.
std::string TakeProgramName(std::string_view cmd, std::size_t& i) {
  std::string name;
  if (i < cmd.size() && cmd[i] == '"') {
    ++i;
    while (i < cmd.size() && cmd[i] != '"') name += cmd[i++];
    if (i < cmd.size()) ++i;
  } else {
    while (i < cmd.size() && !IsBlank(cmd[i])) name += cmd[i++];
  }
  return name;
}

std::string TakeArgument(std::string_view cmd, std::size_t& i) {
  std::string arg;
  bool quoted = false;
  while (i < cmd.size()) {
    const char c = cmd[i];
    if (!quoted && IsBlank(c)) break;
    if (c == '\\') {
      std::size_t n = 0;
      while (i < cmd.size() && cmd[i] == '\\') ++n, ++i;
      if (i < cmd.size() && cmd[i] == '"') {
        arg.append(n / 2, '\\');
        if (n % 2 == 1) {
          arg += '"';
          ++i;
        }
      } else {
        arg.append(n, '\\');
      }
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < cmd.size() && cmd[i + 1] == '"') {
        arg += '"';
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
      continue;
    }
    arg += c;
    ++i;
  }
  return arg;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view cmd) {
  std::vector<std::string> args;
  std::size_t i = 0;
  while (i < cmd.size() && IsBlank(cmd[i])) ++i;
  if (i == cmd.size()) return args;
  args.push_back(TakeProgramName(cmd, i));
  for (;;) {
    while (i < cmd.size() && IsBlank(cmd[i])) ++i;
    if (i == cmd.size()) break;
    args.push_back(TakeArgument(cmd, i));
  }
  return args;
}

}  // namespace velkor::platform
