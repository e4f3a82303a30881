#include "toolrun.h"

ToolRun ToolRun::of(const QString &program, const QStringList &arguments, const QString &folder,
                    int timeoutMs, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        qWarning("%s did not finish", qPrintable(program));
        return run;
    }
    run.exitStatus = process.exitStatus();
    if (run.exitStatus == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.output = process.readAllStandardOutput();
    run.errors = process.readAllStandardError();
    return run;
}
