#include "fileio/FileUpdateParts_p.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <sys/file.h>

namespace filebytes::parts {

// The lock is the file's own, on its inode: every writer of the file reaches
// that inode, whichever of its names (hard links, symbolic links, bind mounts)
// it opened and whatever it may do in the folder, which a lock on the folder
// left to each writer's rights. A replace gives the file a new inode; a writer
// that waited on the old one finds that the path names another file once it
// is granted, and starts over on the new one.
//
// flock(), not a POSIX record lock: a record lock goes when the process closes
// any descriptor of the file (the in-place write opens one), a flock only with
// its own. On NFS the client turns it into a whole-file lock on the server
// (NLM, or the protocol's own in version 4), which every client sees; the
// server takes an exclusive one only on a file opened for writing, so the file
// is opened for reading and writing. A client that has lost its server's lock
// manager gets ENOLCK, which is reported: writing unlocked could lose entries.
qint64 monotonicMs()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

bool lockFile(int fd, const Wait &wait, qint64 startedMs, FileError *error)
{
    long pauseNs = 200'000;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            *error = FileError::system(errno);
            return false;
        }
        if (monotonicMs() - startedMs >= wait.limitMs || (wait.meanwhile && !wait.meanwhile())) {
            *error = FileError::busy();
            return false;
        }
        // Short pauses first: most writes take milliseconds.
        const timespec pause { 0, pauseNs };
        ::nanosleep(&pause, nullptr);
        pauseNs = std::min<long>(pauseNs * 2, 10'000'000);
    }
}

void lockNew(int fd)
{
    // Nobody else knows the file yet, so this never waits; where locks are
    // not to be had, the writers that come next see the file as it is.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EINTR) { }
}

} // namespace filebytes::parts
