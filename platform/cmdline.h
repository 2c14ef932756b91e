// Command lines travel as single strings, as the job builds them, and are
// split into arguments only when a program starts. The splitting follows the
// Microsoft C runtime rules so that every command template keeps its meaning.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits a command line into arguments: white space outside quotes separates;
// '"' toggles quoting; '""' inside quotes is one literal quote; 2n backslashes
// before a quote give n backslashes and the quote acts; 2n+1 backslashes give
// n backslashes and a literal quote; other backslashes are literal.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The text to place between a pair of double quotes in a command line so
// that SplitCommandLine gives `value` back unchanged. Text without '"' and
// without a trailing backslash is returned as it is, so ordinary paths stay
// byte for byte what the templates show.
std::string EscapeForQuotes(std::string_view value);

// '"' + EscapeForQuotes(value) + '"'.
std::string Quote(std::string_view value);

// Splits a command-file line at '|' characters that stand outside quotes.
// The parts keep their surrounding white space.
std::vector<std::string> SplitPipeline(std::string_view line);

}  // namespace platform
