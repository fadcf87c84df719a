// File deletion that ignores failures.
#pragma once

// Deletes the file at path; a missing file or any other failure is ignored.
void remove_file(const char *path);
