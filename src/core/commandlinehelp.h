#pragma once

#include "core/exitcode.h"

#include <QString>

#include <optional>

// `kivrel --help`, `-h` and `--version`: answered before anything else starts,
// with or without a display. Only these exact arguments are taken; every other
// argument is left to the start-mode matching of the whole command line.
namespace CommandLineHelp {

enum class Request { Help, Version };

// The first argument that is exactly "--help", "-h" or "--version".
std::optional<Request> requestOf(int argc, char **argv);

QString helpText();
QString versionText();

// Prints the text the request asks for on standard output.
ExitCode answer(Request request);

} // namespace CommandLineHelp
