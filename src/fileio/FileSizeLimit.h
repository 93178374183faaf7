#pragma once

namespace filebytes {

// A write beyond the file size limit (ulimit -f) ends the process with
// SIGXFSZ unless the signal is ignored; ignored, the write fails with EFBIG,
// and the file engine reports it and removes what it wrote, as on a full disk.
// Called once at the start of the program (and of programs that stand in for
// it); nothing else of the process changes.
void ignoreFileSizeSignal();

} // namespace filebytes
