// Points everything the manager and the service keep on the machine (settings,
// data folders, registry, shared-memory names, temporary files) at a private
// folder, so tests neither read nor change the developer's own state and can
// run in parallel.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Sets BRINDLEWICK_SHM_PREFIX to a prefix no other test process uses and
// returns it; `tag` tells the blocks of one test (or one case) apart.
QByteArray useUniqueShmPrefix(const char* tag);

// Copies every file under `from` to the same place under `to`, making the
// folders on the way; false at the first file that cannot be copied.
bool copyTree(const QString& from, const QString& to);

class TestEnvironment {
public:
    // The private folder is made in the temporary folder the process started
    // with, never inside another environment's (which may go first).
    TestEnvironment();

    // Child processes inherit the environment, so they share the private state.
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
