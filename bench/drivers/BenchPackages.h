// The driver packages the drivers benchmarks serve: the cloud emulator's own
// packages with one of them grown by incompressible data, and a runner for
// the external tools the benchmarks compare against.
#pragma once

#include <QString>
#include <QStringList>

// Runs a program with arguments (no shell); true when it exits with 0.
bool runTool(const QString& program, const QStringList& args);

// Copies the emulator's packages into `dir` and rebuilds J2534_0500's zip
// with `megabytes` of incompressible data added, zipped the way the
// catalogue serves it. False when a tool or a file fails.
bool makeDriverPackages(const QString& dir, int megabytes);
