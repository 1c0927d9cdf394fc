// Several managers on one machine: an instance name (BRINDLEWICK_INSTANCE, or
// "--instance NAME" on the command line) from which every per-copy location
// follows unless it is set on its own: the shared-memory prefix (and with it
// the single-instance key and the service's blocks), the data root, the
// registry root, the log folder and the files the manager writes in its
// program folder. Without a name nothing changes.
#pragma once

#include <QString>

namespace instance {

// Letters, digits, '-' and '_', 1 to 32 characters.
bool validName(const QString& name);

// Reads the name (the command line wins over the environment), puts it into
// BRINDLEWICK_INSTANCE so that a restarted copy and the service it starts see
// it too, and sets the per-instance defaults of the variables above that are
// not set. Returns the name, or "" for the default instance; `problem` says
// why a given name was refused (it is then ignored).
QString apply(int argc, char** argv, QString* problem = nullptr);

// The current name ("" for the default instance).
QString name();

// A file the manager keeps in its program folder ("VCIINFO.ini",
// "longTimeCode.ini"): "<folder>/<file>" for the default instance,
// "<folder>/instances/<name>/<file>" otherwise (the folder is made).
QString programFile(const QString& fileName);

} // namespace instance
