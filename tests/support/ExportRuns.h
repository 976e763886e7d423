#pragma once
// The export commands' tests run the programs as a user's script does: a
// folder of the test's own holding the colour recording, and a program run
// to its end with what it printed.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace testsupport {

struct ProgramRun
{
    int exitCode = -1; // -1 when the program crashed or did not finish
    QString out;
    QString err;
};

// `program` started with `arguments` in `environment`; hand it to finish().
QProcess* startProgram(const QString& program, const QStringList& arguments,
                       const QProcessEnvironment& environment);
// Waits up to `seconds` for the program to end (killing it after that),
// collects what it printed and deletes it.
ProgramRun finish(QProcess* process, int seconds = 120);

// A temporary folder holding the colour recording (tests/support/ColourReplay.h).
class ColourReplayFolder : public ::testing::Test
{
protected:
    void SetUp() override;
    QString path(const char* name) const { return _folder.filePath(name); }

    QTemporaryDir _folder;
    const QString _replay = _folder.filePath("colours.dat");
};

} // namespace testsupport
