#include "fileio/FileUpdateParts_p.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace filebytes::parts {

// The lock is the folder's, whose inode stays while the file itself is
// replaced: a lock on the file would be left behind on the old inode, and its
// waiters would have to start over after every update. A folder that cannot
// be opened for reading leaves the file's own lock.
bool lockUpdates(const Target &target, int file, Fd *folder, FileError *error)
{
    folder->reset(::open(target.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const int fd = *folder ? folder->get() : file;
    if (fd < 0)
        return true;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            *error = FileError::system(errno);
            return false;
        }
    }
    return true;
}

} // namespace filebytes::parts
