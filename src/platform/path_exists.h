// Whether anything stands at a path.
#pragma once

// True when a directory entry of any type exists at path; a symbolic link
// counts by itself, whether or not its target exists.
bool path_exists(const char *path);
