// palaverlink-botcheck: checks a companion bot against what the plug-in relies on.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "botcheck/checks.h"
#include "botcheck/options.h"
#include "botcheck/report.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const botcheck::ParsedOptions parsed = botcheck::ParseOptions(arguments);
  if (!parsed.options) {
    std::fprintf(stderr, "palaverlink-botcheck: %s\n%s", parsed.error.c_str(), botcheck::UsageText().c_str());
    return botcheck::kBadCommand;
  }
  if (parsed.options->help) {
    std::fputs((botcheck::UsageText() + botcheck::ChecksText()).c_str(), stdout);
    return botcheck::kAllOk;
  }
  return botcheck::RunChecks(*parsed.options, std::cout);
}
