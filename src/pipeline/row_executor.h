// Splitting the rows of one picture operation between the calling thread and
// one shared helper thread.
#pragma once

// Processes rows [begin, end) of the operation described by arg.
using RowsFn = void (*)(const void *arg, int begin, int end);

// Runs fn over rows 0 .. rows - 1 in chunks of `chunk` rows (keep it even
// where row pairs belong together), taken in turn by the calling thread and,
// when it is free, the process's one helper thread; returns when all rows are
// done. When the helper is busy with another caller (several jobs at once) or
// cannot be started, the calling thread does all rows itself: no caller ever
// waits for another's work.
void run_rows_split(RowsFn fn, const void *arg, int rows, int chunk);
