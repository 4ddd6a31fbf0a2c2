// kvd_cd as a script meets it: a separate process, its exit status, its standard output and error.
#pragma once

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <string>

namespace kvd_cd_test {

struct Outcome {
    int status = -1; // -1: the program did not end by itself
    std::string out;
    std::string err;
};

inline Outcome RunProgram(const QString& program, const QStringList& arguments, int timeoutMs = 180000) {
    QProcess process;
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(timeoutMs)) << arguments.join(' ').toStdString();
    Outcome run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

} // namespace kvd_cd_test
