#pragma once

#include <QChar>
#include <QString>

namespace addresses {

// Repairs a path joined from a folder and a file name, where the folder may already end in a
// separator. A path that does not start with a separator gets every pair of separators replaced by
// one, in one pass from left to right; in a path that does start with one, the leading run of
// separators becomes exactly leadingRun of them and every later pair becomes one.
QString fixDoubledSeparators(const QString& path, QChar separator, int leadingRun);

// The classic repair for backslash paths: a leading run becomes the two backslashes of a network
// share ("\\\host\share\\a.txt" -> "\\host\share\a.txt").
QString FixDoubleBackslashes(const QString& path);

// The same repair for the paths of this platform: "/" is the separator and a leading run stands for
// the root alone, so the folder "/" and the name "a.txt" give "/a.txt".
QString fixJoinedPath(const QString& path);

} // namespace addresses
