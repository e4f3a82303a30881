#ifndef TOOLOPTIONS_H
#define TOOLOPTIONS_H

#include <QSize>
#include <QString>

// Parsing and error reporting shared by the companion programs.
namespace ToolOptions {

// "WIDTHxHEIGHT" with each side from 1 to 16384.
bool parseSize(const QString &text, QSize *size);
// A clock in ms: a decimal integer in the range of the pane's 32-bit demo clock.
bool parseClock(const QString &text, int *clock);
// Prints "program: message" on one line to stderr and returns the exit status for failure.
int fail(const QString &message);

} // namespace ToolOptions

#endif
