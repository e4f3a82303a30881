#ifndef TOOLRUN_H
#define TOOLRUN_H

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A program run to its end in a folder: how it ended and everything it printed.
struct ToolRun
{
    // The exit code of a normal exit; -1 for a crash or a run killed at its time limit.
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray output;
    QByteArray errors;

    QString outputText() const { return QString::fromLocal8Bit(output); }
    QString errorText() const { return QString::fromLocal8Bit(errors); }

    static ToolRun
    of(const QString &program, const QStringList &arguments, const QString &folder, int timeoutMs,
       const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
};

#endif
