// Telling whether two open files are one and the same file, however each was named: by a
// link, by another path, or on Windows by a name that differs only in letter case.
#pragma once

#include <string>

// True when the descriptors are open on the same file, and also when the identity of
// either cannot be read: callers use it to refuse writing over an input, and a doubt must
// not let them.
bool same_file(int fd_a, int fd_b);

// Whether path names the file open on fd, told without opening path (opening a named pipe
// would wait for a writer). False when path names nothing.
bool same_file_as_path(int fd, const std::string& path);
