#include "tests/support/ExportRuns.h"

#include "tests/support/ColourReplay.h"

namespace testsupport {

QProcess* startProgram(const QString& program, const QStringList& arguments,
                       const QProcessEnvironment& environment)
{
    auto* process = new QProcess;
    process->setProcessEnvironment(environment);
    process->start(program, arguments);
    return process;
}

ProgramRun finish(QProcess* process, int seconds)
{
    ProgramRun run;
    if (!process->waitForFinished(seconds * 1000)) {
        process->kill();
        process->waitForFinished();
        run.err = "did not finish in " + QString::number(seconds) + " s";
    } else {
        run.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    }
    run.out = QString::fromUtf8(process->readAllStandardOutput());
    run.err += QString::fromUtf8(process->readAllStandardError());
    delete process;
    return run;
}

void ColourReplayFolder::SetUp()
{
    ASSERT_TRUE(_folder.isValid());
    ASSERT_EQ(writeColourReplay(_replay.toStdString()), "");
}

} // namespace testsupport
