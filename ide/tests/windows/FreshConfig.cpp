// Linked into every window test: the windows keep their placement in the
// per-user configuration folder, so each test run gets an empty one of its
// own, before main() starts. A placement left by an earlier run (or by the
// user's own Zelvar) can then never move or resize the windows under test.
#include <QFile>
#include <QTemporaryDir>

namespace {

struct FreshConfig {
    QTemporaryDir dir;
    FreshConfig() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path())); }
};

const FreshConfig freshConfig;

} // namespace
